#pragma once

#include <QString>

/// Whether the program's messages on the terminal are in Japanese: the first of LC_ALL, LC_MESSAGES and LANG that
/// is set and not empty decides, as it does for any program's messages. A Japanese locale and the locales that name
/// no language (C, POSIX), or none set, give the program's own language; any other language gets English, which its
/// reader is more likely to read than Japanese.
bool messagesInJapanese();

/// `japanese` or `english`, by messagesInJapanese().
QString localisedMessage(const QString& japanese, const QString& english);

/// Prints one line on stderr, "lectern: " and the message in the terminal's language.
void sayOnStderr(const QString& japanese, const QString& english);
