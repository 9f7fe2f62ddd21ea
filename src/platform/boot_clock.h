#pragma once

#include "platform/clock.h"

/// CLOCK_BOOTTIME: steady, and counting while the machine sleeps.
class BootClock final : public Clock {
public:
    double now() const override;
};
