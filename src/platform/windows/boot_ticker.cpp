#include "platform/boot_ticker.h"

#include "platform/boot_clock.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

/// A precise Qt timer, armed afresh from the boot clock each time it fires. Windows' timers wait on a clock that
/// may stand still while the machine sleeps; never waiting more than a second at a time, the ticker sees within a
/// second of a resume that the instant has passed, and still wakes no more than once a shown second.
struct BootTicker::Waker {
    QTimer timer;
    BootClock clock;
};

namespace {

constexpr double longestWaitSeconds = 1.0;

} // namespace

BootTicker::BootTicker() : m_waker(std::make_unique<Waker>())
{
    m_waker->timer.setSingleShot(true);
    m_waker->timer.setTimerType(Qt::PreciseTimer);
    connect(&m_waker->timer, &QTimer::timeout, this, &BootTicker::expired);
}

BootTicker::~BootTicker() = default;

void BootTicker::arm()
{
    if (!m_enabled || std::isinf(m_instant)) {
        m_waker->timer.stop();
        return;
    }
    // Rounded up, so that the timer never comes before the instant only to be armed again for nothing.
    const double wait = std::clamp(m_instant - m_waker->clock.now(), 0.0, longestWaitSeconds);
    m_waker->timer.start(int(std::ceil(wait * 1000.0)));
}

void BootTicker::expired()
{
    // Woken by the longest wait, or a little early by the timer's own reckoning: wait on for the rest.
    if (m_waker->clock.now() < m_instant) {
        arm();
        return;
    }
    // One tick per instant asked for: the owner asks for the next one while it ticks.
    m_instant = never;
    if (m_enabled)
        emit ticked();
}
