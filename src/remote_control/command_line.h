#pragma once

#include "remote_control/start_options.h"

#include <QtGlobal>

#include <optional>

class QGuiApplication;

/// Answers --help and --version before any window system is touched, so both work without a display.
/// Returns the exit status when the program has answered and should end.
std::optional<int> answerCommandLine(int argc, char* argv[]);

/// Rejects what the program does not understand, once the application has taken the window system's own
/// options (-display, -platform ...) out of the arguments; an unknown option ends the program with status 1.
/// Returns how the windows should come up. A --screen that names no screen is said in one line on stderr, and
/// the main window opens where the window system puts it.
StartOptions checkCommandLine(const QGuiApplication& app);
