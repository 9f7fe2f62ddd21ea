#pragma once

#include <QString>

/// What the start of the program needs of its system, first thing: on Linux, output to a pipe whose reader is gone
/// fails instead of ending the program; on Windows, a program started from a console writes its lines there.
void prepareSystemStart();

/// Chooses the window system's plug-in where the system's own choice would not do, just before it is opened.
void chooseWindowSystem();

/// Why no display could be opened, when the window system said nothing more precise; empty when it has no reason
/// of its own to give.
QString missingDisplayReason();
