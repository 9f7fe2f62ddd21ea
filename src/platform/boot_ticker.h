#pragma once

#include "platform/ticker.h"

#include <memory>

/// Ticks at instants of the boot clock, and on waking from sleep soon after when the instant fell inside it (a
/// timer on a clock that stands still in sleep would wait out the time slept as well).
class BootTicker final : public Ticker {
    Q_OBJECT
public:
    BootTicker();
    ~BootTicker() override;
    Q_DISABLE_COPY_MOVE(BootTicker)

    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }
    void wakeAt(double instant) override;

private:
    void arm();
    void expired();

    /// The system's timer.
    struct Waker;
    std::unique_ptr<Waker> m_waker;
    bool m_enabled = false;
    double m_instant = never;
};
