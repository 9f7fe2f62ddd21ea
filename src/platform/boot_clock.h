#pragma once

#include "platform/clock.h"

/// Seconds since the machine started: steady, deaf to changes of the calendar clock, and counting while the
/// machine sleeps or hibernates.
class BootClock final : public Clock {
public:
    double now() const override;
};
