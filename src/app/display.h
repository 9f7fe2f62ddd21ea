#pragma once

#include <QApplication>

#include <memory>

/// Opens the window system and makes the application. A program that cannot open a display says so in one line
/// on stderr and ends with status 1, instead of the window system's abort.
///
/// In a Wayland session that offers XWayland the program runs through it unless QT_QPA_PLATFORM says otherwise:
/// a native Wayland window is never told that it was minimised, and the minimised caption shows the count.
std::unique_ptr<QApplication> openDisplay(int& argc, char* argv[]);
