#pragma once

#include "platform/colour_value.h"
#include "timing/count.h"

#include <QString>
#include <QtGlobal>

class SettingsRecord;
struct RowsView;

/// What the views made for a reader at a distance (the speaker's window, the browser page) show of a count: the
/// lower row's period, reduced to what is read at a glance. The seconds are those the main window shows, rounded
/// as the count rounds them.
struct PhaseReading {
    /// The heading of the period the lower row counts (the presentation, the discussion or the overtime).
    QString heading;
    /// The heading of the upper row, for the time since the start.
    QString elapsedHeading;
    /// Seconds left in the period, or past the discussion's end in the overtime; never negative.
    qint64 remainingSeconds = 0;
    qint64 elapsedSeconds = 0;
    bool overtime = false;
    /// How much of the period is used, 0 to 1; 1 in the overtime.
    double used = 0.0;
    /// The lower row's colours, which are the phase's.
    ColourValue foreground = 0;
    ColourValue background = 0;
    bool paused = false;

    bool operator==(const PhaseReading&) const = default;
};

/// Reads the count as it stands: `ends` is the count's snapshot, whose presenEnd and discussEnd say where the
/// periods end; the colours are the lower row's as last written.
PhaseReading readPhase(const CountState& state, const CountSnapshot& ends, const RowsView& rows,
                       const SettingsRecord& settings);

/// Seconds as the reading views write them: minutes (all of them, not within the hour), a colon and two-digit
/// seconds, "+" before an overrun: "9:58", "75:00", "+0:07".
QString clockText(qint64 seconds, bool overrun = false);
