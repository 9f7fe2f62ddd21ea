#pragma once

#include "platform/ticker.h"

#include <QSocketNotifier>

#include <memory>

/// Ticks at instants of CLOCK_BOOTTIME through a timer descriptor: to the tenth of a millisecond, and at once on
/// waking from suspend when the instant fell inside it (a monotonic timer would wait out the time slept as well).
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

    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_enabled = false;
    double m_instant = never;
};
