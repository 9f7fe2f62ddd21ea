#pragma once

#include "platform/wall_clock.h"

/// The system's calendar clock, and an identity of the running boot.
class SystemWallClock final : public WallClock {
public:
    SystemWallClock();
    qint64 nowMs() const override;
    QString bootId() const override { return m_bootId; }

private:
    QString m_bootId;
};
