#pragma once

/// Seconds on a steady scale that keeps counting through suspend and ignores changes of the wall-clock time,
/// so a count runs on across midnight.
class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;
};
