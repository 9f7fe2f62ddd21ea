#include "platform/boot_ticker.h"

// The system's timer is armed in posix/ or windows/boot_ticker.cpp; what is asked of it is the same on both.

void BootTicker::setEnabled(bool enabled)
{
    m_enabled = enabled;
    arm();
}

void BootTicker::wakeAt(double instant)
{
    m_instant = instant;
    arm();
}
