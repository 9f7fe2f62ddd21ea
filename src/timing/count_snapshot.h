#pragma once

#include "settings/talk_times.h"

#include <QString>
#include <QtGlobal>

/// A count as it stands: enough to carry it over a restart of the program, and to record it in the day's list
/// when it ends. Instants are on the boot clock (seconds, counting through suspend) and, for a start after a
/// reboot, when the boot clock has begun again, also on the wall clock (milliseconds since the epoch).
/// "Count seconds" are what the upper row shows: real seconds since the start, less the pauses, plus the
/// chair's adjustments.
struct CountSnapshot {
    /// The boot that the boot-clock instants belong to.
    QString bootId;
    double startBoot = 0.0;
    qint64 startWallMs = 0;
    /// Completed pauses, in real seconds.
    double pausedSeconds = 0.0;
    /// The current pause's start; negative while the count runs.
    double pauseBeganBoot = -1.0;
    qint64 pauseBeganWallMs = 0;
    /// The sum of the chair's adjustments: positive when the count was moved on.
    double adjustSeconds = 0.0;
    /// The count seconds at which the presentation and the discussion end; a skip moves them.
    double presenEnd = 0.0;
    double discussEnd = 0.0;
    /// The times in force when the count started, in minutes.
    TalkTimes times;
    bool rehearsal = false;
    /// Started by the chair's restart, not with the program or after a rehearsal.
    bool startedByRestart = false;
    /// The chair paused, moved, skipped or rang it, or took it up again after the program stopped.
    bool used = false;
    /// Ended on purpose (a restart): never offered to be resumed.
    bool ended = false;
    qint64 savedWallMs = 0;

    bool operator==(const CountSnapshot&) const = default;
};
