#pragma once

#include "platform/ticker.h"

/// A ticker the test fires by hand; counts how often it was enabled and disabled and keeps the instant asked for.
class FakeTicker final : public Ticker {
public:
    void setEnabled(bool enabled) override
    {
        m_enabled = enabled;
        ++(enabled ? m_enables : m_disables);
    }
    bool isEnabled() const override { return m_enabled; }
    void wakeAt(double instant) override { m_instant = instant; }

    /// Ticks as the timer would, only while enabled (at whatever instant the test chooses).
    void fire()
    {
        if (m_enabled)
            emit ticked();
    }
    int enables() const { return m_enables; }
    int disables() const { return m_disables; }
    /// The instant of the next tick asked for, or `never`.
    double instant() const { return m_instant; }

private:
    bool m_enabled = false;
    int m_enables = 0;
    int m_disables = 0;
    double m_instant = never;
};
