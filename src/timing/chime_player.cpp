#include "timing/chime_player.h"

ChimePlayer::ChimePlayer(ChimeDevice& device) : m_device(device) {}

void ChimePlayer::reopen(const QString& wavePath)
{
    // Closing whatever is open (idle or playing) cuts a sounding chime of the old count and lets a new
    // wave file take effect.
    if (m_device.mode() != ChimeDevice::Mode::NotOpen)
        m_device.close();
    m_device.setFileName(wavePath);
    m_device.open();
}

bool ChimePlayer::ringStep(int& chimeCount)
{
    // The mode is read on every tick; a chime starts only when the device is idle, so the chimes of one
    // phase change are whole playbacks that follow one another. A device that never opened never reads
    // idle, and the pending chimes simply wait for the next reset or phase change.
    const ChimeDevice::Mode mode = m_device.mode();
    if (chimeCount > 0 && mode == ChimeDevice::Mode::Idle) {
        m_device.rewind();
        m_device.play();
        --chimeCount;
        return chimeCount > 0;
    }
    return chimeCount > 0 && mode == ChimeDevice::Mode::Busy;
}
