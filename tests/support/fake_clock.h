#pragma once

#include "platform/clock.h"

class FakeClock final : public Clock {
public:
    double now() const override { return m_now; }
    void advance(double seconds) { m_now += seconds; }
    void set(double seconds) { m_now = seconds; }

private:
    double m_now = 1000.0;
};
