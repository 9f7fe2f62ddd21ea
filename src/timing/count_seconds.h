#pragma once

#include "timing/count_snapshot.h"

#include <QtGlobal>

/// The count seconds of `count` at the boot instant `bootNow`: the real seconds since its start, less the pauses
/// (a pause in progress holds it where it stopped), plus the adjustments.
double countSecondsAt(const CountSnapshot& count, double bootNow);

/// The count seconds of `count` at a wall-clock instant, for a count no boot clock can speak for any more.
double countSecondsAtWall(const CountSnapshot& count, qint64 wallMs);
