#pragma once

#include <QApplication>

#include <memory>

/// Opens the window system and makes the application. A program that cannot open a display says so in one line
/// on stderr and ends with status 1, instead of the window system's abort. prepareSystemStart() comes first.
std::unique_ptr<QApplication> openDisplay(int& argc, char* argv[]);
