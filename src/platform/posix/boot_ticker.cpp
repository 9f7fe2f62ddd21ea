#include "platform/boot_ticker.h"

#include <QSocketNotifier>

#include <sys/timerfd.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>

/// A timer descriptor on CLOCK_BOOTTIME: to the tenth of a millisecond, and at once on waking from suspend when the
/// instant fell inside it.
struct BootTicker::Waker {
    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
};

BootTicker::BootTicker() : m_waker(std::make_unique<Waker>())
{
    m_waker->fd = timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    // Without a descriptor (the process is out of them) the count is never woken; Q_ASSERT would say nothing in a
    // release build, and a count that stands still is what the user would then see.
    if (m_waker->fd < 0)
        qFatal("lectern: no timer descriptor for the count");
    m_waker->notifier = std::make_unique<QSocketNotifier>(m_waker->fd, QSocketNotifier::Read);
    connect(m_waker->notifier.get(), &QSocketNotifier::activated, this, &BootTicker::expired);
}

BootTicker::~BootTicker()
{
    m_waker->notifier.reset();
    ::close(m_waker->fd);
}

void BootTicker::arm()
{
    itimerspec when{};
    if (m_enabled && !std::isinf(m_instant)) {
        // An instant already past (or zero, which would disarm) comes at once: one nanosecond after boot.
        const double at = std::max(m_instant, 1e-9);
        when.it_value.tv_sec = time_t(std::floor(at));
        when.it_value.tv_nsec = long(std::ceil((at - std::floor(at)) * 1e9));
        if (when.it_value.tv_nsec >= 1000000000L) {
            ++when.it_value.tv_sec;
            when.it_value.tv_nsec -= 1000000000L;
        }
    }
    timerfd_settime(m_waker->fd, TFD_TIMER_ABSTIME, &when, nullptr);
}

void BootTicker::expired()
{
    std::uint64_t expirations = 0;
    if (::read(m_waker->fd, &expirations, sizeof expirations) != sizeof expirations)
        return;
    // One tick per instant asked for: the owner asks for the next one while it ticks.
    m_instant = never;
    if (m_enabled)
        emit ticked();
}
