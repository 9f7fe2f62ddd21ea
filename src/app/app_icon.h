#pragma once

#include <QIcon>

/// The program's stopwatch icon, at every size it was drawn in, for both windows and the launcher.
QIcon lecternIcon();
