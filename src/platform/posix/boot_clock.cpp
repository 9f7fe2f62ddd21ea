#include "platform/boot_clock.h"

#include <ctime>

double BootClock::now() const
{
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}
