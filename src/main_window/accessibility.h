#pragma once

/// Makes the main window and its rows readable by assistive technology: the window is a frame named by its
/// caption, each row a static text whose name and text are the row's text. Qt asks for these descriptions only
/// while assistive technology listens, and keeps the first one it made for a widget: call this before any
/// window is made.
void installAccessibility();
