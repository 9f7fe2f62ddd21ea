#include "timing/count_seconds.h"

double countSecondsAt(const CountSnapshot& count, double bootNow)
{
    const double until = count.pauseBeganBoot >= 0 ? count.pauseBeganBoot : bootNow;
    return until - count.startBoot - count.pausedSeconds + count.adjustSeconds;
}

double countSecondsAtWall(const CountSnapshot& count, qint64 wallMs)
{
    const qint64 until = count.pauseBeganBoot >= 0 ? count.pauseBeganWallMs : wallMs;
    return double(until - count.startWallMs) / 1000.0 - count.pausedSeconds + count.adjustSeconds;
}
