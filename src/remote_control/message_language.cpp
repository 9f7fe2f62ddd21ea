#include "remote_control/message_language.h"

#include <QByteArray>

#include <cstdio>

bool messagesInJapanese()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QByteArray locale = qgetenv(name);
        if (locale.isEmpty())
            continue;
        // language[_territory][.codeset][@modifier]
        QByteArray language = locale;
        for (const char separator : {'_', '.', '@'}) {
            if (const qsizetype at = language.indexOf(separator); at >= 0)
                language.truncate(at);
        }
        return language == "ja" || language == "C" || language == "POSIX";
    }
    return true;
}

QString localisedMessage(const QString& japanese, const QString& english)
{
    return messagesInJapanese() ? japanese : english;
}

void sayOnStderr(const QString& japanese, const QString& english)
{
    std::fprintf(stderr, "lectern: %s\n", localisedMessage(japanese, english).toUtf8().constData());
}
