#pragma once

#include "platform/clock.h"

/// The clock a count reads, able to run a rehearsal: from begin(), a stretch of count time passes faster, so
/// that a whole talk plays through in a short real span, and after it time runs at its own pace again. Outside
/// a rehearsal it reads the clock it wraps. It can also be held (a pause: the reading stands still, and the held
/// real time is no part of a rehearsal's span) and moved (a chair's adjustment). Without a move, a reading never
/// goes back, in or out of a rehearsal. It keeps the count's one tally of its pauses and moves, from which the
/// count's record is made.
class CountClock final : public Clock {
public:
    explicit CountClock(const Clock& real) : m_real(real) {}

    double now() const override;
    /// The instant of the wrapped clock at which now() reaches `reading` (never while held); an instant past is
    /// given as it was.
    double realAt(double reading) const;

    /// From now, `fastSeconds` of count time pass in `realSeconds` (never slower than real time).
    void begin(double fastSeconds, double realSeconds);
    void end();
    bool isRehearsing() const { return m_rehearsing; }
    /// Real seconds since begin(), less the time held.
    double realElapsed() const;

    /// The reading stands still until release(), which goes on from where it stood.
    void hold();
    void release();
    bool isHeld() const { return m_held; }
    /// Moves the reading by `seconds`, held or not.
    void shift(double seconds);

    /// A new count: the tally of completed holds and of moves starts again at zero.
    void clearTally();
    /// Outside a rehearsal, takes up the tally of a count saved earlier, leaving the reading where it is:
    /// `heldSeconds` of completed holds, `shiftSeconds` moved, and held since `heldSince` on the wrapped clock when
    /// that is not negative (an instant still to come is taken as now), running otherwise.
    void takeUpTally(double heldSeconds, double heldSince, double shiftSeconds);
    /// Real seconds of the holds completed since the tally began.
    double heldSeconds() const { return m_heldSeconds; }
    /// The instant, on the wrapped clock, the hold under way began; meaningful only while held.
    double heldSince() const { return m_heldSince; }
    /// The sum of the moves since the tally began.
    double shifted() const { return m_shifted; }

private:
    double running() const;

    const Clock& m_real;
    double m_offset = 0.0; // added to the real clock outside a rehearsal, so that ending one does not go back
    bool m_rehearsing = false;
    double m_beginReal = 0.0;
    double m_beginCount = 0.0;
    double m_fastSeconds = 0.0;
    double m_speed = 1.0;
    bool m_held = false;
    double m_heldAt = 0.0;    // the reading while held
    double m_heldSince = 0.0; // on the real clock
    double m_heldSeconds = 0.0;
    double m_shifted = 0.0;
};
