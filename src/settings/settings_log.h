#pragma once

#include <QLoggingCategory>

/// lectern.settings: the settings file not read or not written. A failed save is also shown to the user.
Q_DECLARE_LOGGING_CATEGORY(lcSettings)
