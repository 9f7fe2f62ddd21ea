#include "platform/log_categories.h"

// Warnings only by default: a normal run prints nothing. QT_LOGGING_RULES="lectern.*.debug=true" shows more.
Q_LOGGING_CATEGORY(lcSound, "lectern.sound", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFiles, "lectern.files", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFlip, "lectern.flip", QtWarningMsg)
Q_LOGGING_CATEGORY(lcFont, "lectern.font", QtWarningMsg)
