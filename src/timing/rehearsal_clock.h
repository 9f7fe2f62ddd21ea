#pragma once

#include "platform/clock.h"

/// The clock a count reads, able to run a rehearsal: from begin(), a stretch of count time passes faster, so
/// that a whole talk plays through in a short real span, and after it time runs at its own pace again. Outside
/// a rehearsal it reads the clock it wraps. A reading never goes back, in or out of a rehearsal.
class RehearsalClock final : public Clock {
public:
    explicit RehearsalClock(const Clock& real) : m_real(real) {}

    double now() const override;

    /// From now, `fastSeconds` of count time pass in `realSeconds` (never slower than real time).
    void begin(double fastSeconds, double realSeconds);
    void end();
    bool isRehearsing() const { return m_rehearsing; }
    /// Real seconds since begin().
    double realElapsed() const;

private:
    const Clock& m_real;
    double m_offset = 0.0; // added to the real clock outside a rehearsal, so that ending one does not go back
    bool m_rehearsing = false;
    double m_beginReal = 0.0;
    double m_beginCount = 0.0;
    double m_fastSeconds = 0.0;
    double m_speed = 1.0;
};
