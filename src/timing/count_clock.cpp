#include "timing/count_clock.h"

#include <algorithm>
#include <limits>

double CountClock::now() const
{
    return m_held ? m_heldAt : running();
}

double CountClock::running() const
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

double CountClock::realAt(double reading) const
{
    if (m_held)
        return std::numeric_limits<double>::infinity();
    if (!m_rehearsing)
        return reading - m_offset;
    const double into = reading - m_beginCount;
    if (into <= m_fastSeconds)
        return m_beginReal + into / m_speed;
    return m_beginReal + m_fastSeconds / m_speed + (into - m_fastSeconds);
}

void CountClock::begin(double fastSeconds, double realSeconds)
{
    release();
    const double count = now();
    m_beginReal = m_real.now();
    m_beginCount = count;
    m_fastSeconds = std::max(fastSeconds, 0.0);
    m_speed = realSeconds > 0.0 ? std::max(m_fastSeconds / realSeconds, 1.0) : 1.0;
    m_rehearsing = true;
}

void CountClock::end()
{
    if (!m_rehearsing)
        return;
    release();
    const double count = now();
    m_rehearsing = false;
    m_offset = count - m_real.now();
}

double CountClock::realElapsed() const
{
    if (!m_rehearsing)
        return 0.0;
    return (m_held ? m_heldSince : m_real.now()) - m_beginReal;
}

void CountClock::hold()
{
    if (m_held)
        return;
    m_heldAt = running();
    m_heldSince = m_real.now();
    m_held = true;
}

void CountClock::release()
{
    if (!m_held)
        return;
    // The time held is taken out: a rehearsal's fast stretch goes on where it stood, and outside one the reading
    // goes on from the held value.
    const double held = m_real.now() - m_heldSince;
    m_held = false;
    m_heldSeconds += held;
    if (m_rehearsing)
        m_beginReal += held;
    else
        m_offset = m_heldAt - m_real.now();
}

void CountClock::shift(double seconds)
{
    m_shifted += seconds;
    if (m_rehearsing)
        m_beginCount += seconds;
    else
        m_offset += seconds;
    if (m_held)
        m_heldAt += seconds;
}

void CountClock::clearTally()
{
    m_heldSeconds = 0.0;
    m_shifted = 0.0;
}

void CountClock::takeUpTally(double heldSeconds, double heldSince, double shiftSeconds)
{
    release();
    m_heldSeconds = heldSeconds;
    m_shifted = shiftSeconds;
    if (!(heldSince >= 0.0))
        return;
    hold();
    m_heldSince = std::min(heldSince, m_heldSince);
}
