#pragma once

#include <QIcon>

/// The program's stopwatch icon for both windows, at the window sizes only (16, 32 and 48 pixels); the larger
/// drawings in icons/ are for a desktop launcher and are not built in.
QIcon lecternIcon();
