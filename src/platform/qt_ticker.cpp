#include "platform/qt_ticker.h"

QtTicker::QtTicker(int periodMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(periodMs);
    connect(&m_timer, &QTimer::timeout, this, &Ticker::ticked);
}

void QtTicker::setEnabled(bool enabled)
{
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}

bool QtTicker::isEnabled() const
{
    return m_timer.isActive();
}
