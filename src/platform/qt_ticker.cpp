#include "platform/qt_ticker.h"

QtTicker::QtTicker(int periodMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(periodMs);
    QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] {
        if (m_handler)
            m_handler();
    });
}

void QtTicker::setHandler(std::function<void()> handler)
{
    m_handler = std::move(handler);
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
