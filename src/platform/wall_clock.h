#pragma once

#include <QString>
#include <QtGlobal>

/// The calendar time and the identity of the running boot: what carries a count over a restart of the program
/// (the boot clock begins again after a reboot) and dates the day's record.
class WallClock {
public:
    virtual ~WallClock() = default;
    /// Milliseconds since the epoch, as the system's calendar clock says.
    virtual qint64 nowMs() const = 0;
    /// Different for every boot of the machine; the same throughout one.
    virtual QString bootId() const = 0;
};
