#pragma once

#include "platform/chime_device.h"

/// Rings the bell through the sound device: reopened at every reset, stepped at the end of every tick.
class ChimePlayer {
public:
    explicit ChimePlayer(ChimeDevice& device);

    /// Closes the device if it is open (cutting a sounding chime), names the file and opens it.
    void reopen(const QString& wavePath);
    /// Starts one chime when some are pending and the device is idle, and counts it off. True while chimes wait
    /// for a playback to end: the device tells of that only when asked, so the caller asks again shortly.
    bool ringStep(int& chimeCount);

private:
    ChimeDevice& m_device;
};
