#pragma once

#include "platform/ticker.h"

/// A ticker the test fires by hand; counts how often it was enabled and disabled.
class FakeTicker final : public Ticker {
public:
    void setHandler(std::function<void()> handler) override { m_handler = std::move(handler); }
    void setEnabled(bool enabled) override
    {
        m_enabled = enabled;
        ++(enabled ? m_enables : m_disables);
    }
    bool isEnabled() const override { return m_enabled; }

    /// Runs the handler as the timer would, only while enabled.
    void fire()
    {
        if (m_enabled && m_handler)
            m_handler();
    }
    int enables() const { return m_enables; }
    int disables() const { return m_disables; }

private:
    std::function<void()> m_handler;
    bool m_enabled = false;
    int m_enables = 0;
    int m_disables = 0;
};
