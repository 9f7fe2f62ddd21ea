#pragma once

#include <QLoggingCategory>

/// lectern.sound: a sound file refused, a sound output that cannot open. The user hears only silence there;
/// this tells a developer why.
Q_DECLARE_LOGGING_CATEGORY(lcSound)

/// lectern.files: a file that is there but cannot be read as the program needs it.
Q_DECLARE_LOGGING_CATEGORY(lcFiles)

/// lectern.flip (debug): each second the count shows, with how long after its instant it was written to the rows.
Q_DECLARE_LOGGING_CATEGORY(lcFlip)

/// lectern.font (debug): the face the rows were given, so that a comparison can draw the same one.
Q_DECLARE_LOGGING_CATEGORY(lcFont)
