#include "timing/rehearsal_clock.h"

#include <algorithm>

double RehearsalClock::now() const
{
    const double real = m_real.now();
    if (!m_rehearsing)
        return real + m_offset;
    const double elapsed = real - m_beginReal;
    const double fastReal = m_fastSeconds / m_speed;
    if (elapsed <= fastReal)
        return m_beginCount + elapsed * m_speed;
    return m_beginCount + m_fastSeconds + (elapsed - fastReal);
}

void RehearsalClock::begin(double fastSeconds, double realSeconds)
{
    const double count = now();
    m_beginReal = m_real.now();
    m_beginCount = count;
    m_fastSeconds = std::max(fastSeconds, 0.0);
    m_speed = realSeconds > 0.0 ? std::max(m_fastSeconds / realSeconds, 1.0) : 1.0;
    m_rehearsing = true;
}

void RehearsalClock::end()
{
    if (!m_rehearsing)
        return;
    const double count = now();
    m_rehearsing = false;
    m_offset = count - m_real.now();
}

double RehearsalClock::realElapsed() const
{
    return m_rehearsing ? m_real.now() - m_beginReal : 0.0;
}
