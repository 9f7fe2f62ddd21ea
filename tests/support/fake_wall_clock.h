#pragma once

#include "platform/wall_clock.h"

class FakeWallClock final : public WallClock {
public:
    qint64 nowMs() const override { return m_nowMs; }
    QString bootId() const override { return m_bootId; }
    void advance(double seconds) { m_nowMs += qint64(seconds * 1000.0); }
    void setBootId(const QString& id) { m_bootId = id; }

private:
    qint64 m_nowMs = 1796000000000; // 2026-11-30, 00:53 UTC
    QString m_bootId = QStringLiteral("boot-1");
};
