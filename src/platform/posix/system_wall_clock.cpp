#include "platform/system_wall_clock.h"

#include <QDateTime>
#include <QFile>

using namespace Qt::StringLiterals;

SystemWallClock::SystemWallClock()
{
    // A small file of the kernel's, read once: nothing that can stall.
    QFile id(u"/proc/sys/kernel/random/boot_id"_s);
    if (id.open(QIODevice::ReadOnly))
        m_bootId = QString::fromLatin1(id.read(64).trimmed());
}

qint64 SystemWallClock::nowMs() const
{
    return QDateTime::currentMSecsSinceEpoch();
}
