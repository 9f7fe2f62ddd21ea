#pragma once

// Drives a chime device the way the chime player does and reads what reached SDL's disk driver.

#include "platform/chime_device.h"

#include <QElapsedTimer>
#include <QList>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace chime_output {

/// Rings like the chime player: polls the mode every 100 ms, whether or not a chime is pending, and starts the
/// next chime (rewind, play) on a poll that reads idle. The first chime starts at once, as on a phase change.
class RingDriver {
public:
    RingDriver(ChimeDevice& device, int chimes) : m_device(device), m_pending(chimes)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(100);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { step(); });
        m_clock.start();
        step();
        m_timer.start();
    }

    /// All chimes started and the last one heard to its end.
    bool done() const { return m_pending == 0 && m_lastMode == ChimeDevice::Mode::Idle; }
    int pending() const { return m_pending; }
    /// The mode read right after each play(): playback runs in the background, so it must read busy.
    QList<ChimeDevice::Mode> modesAfterPlay() const { return m_modesAfterPlay; }
    /// For every chime after the first: milliseconds from the last poll that read busy to the play().
    QList<double> pollSpansMs() const { return m_pollSpansMs; }

private:
    void step()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_lastMode = m_device.mode();
        if (m_lastMode == ChimeDevice::Mode::Busy)
            m_lastBusy = now;
        if (m_pending > 0 && m_lastMode == ChimeDevice::Mode::Idle) {
            m_device.rewind();
            m_device.play();
            if (m_lastBusy >= 0)
                m_pollSpansMs << double(now - m_lastBusy) / 1e6;
            m_lastMode = m_device.mode();
            m_modesAfterPlay << m_lastMode;
            --m_pending;
        }
    }

    ChimeDevice& m_device;
    int m_pending;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_lastBusy = -1;
    ChimeDevice::Mode m_lastMode = ChimeDevice::Mode::NotOpen;
    QList<ChimeDevice::Mode> m_modesAfterPlay;
    QList<double> m_pollSpansMs;
};

/// Where whole or partial copies of a sound lie in an output, in frames.
struct Copy {
    qsizetype start;
    qsizetype frames;
};

struct Output {
    QList<Copy> copies;
    qsizetype strayFrame = -1; // the first sound that belongs to no copy
};

/// Reads an output as copies of the sound separated by silence. The sound holds no silent frame, so every
/// non-silent stretch must begin with the sound's first frame and follow it for as long as it lasts.
inline Output findCopies(const std::vector<std::int16_t>& out, const std::vector<std::int16_t>& sound, int channels)
{
    const auto frame = [channels](const std::vector<std::int16_t>& samples, qsizetype index) {
        return samples.cbegin() + index * channels;
    };
    const qsizetype outFrames = qsizetype(out.size()) / channels;
    const qsizetype soundFrames = qsizetype(sound.size()) / channels;
    Output result;
    qsizetype i = 0;
    while (i < outFrames) {
        if (std::all_of(frame(out, i), frame(out, i) + channels, [](std::int16_t s) { return s == 0; })) {
            ++i;
            continue;
        }
        qsizetype matched = 0;
        while (matched < soundFrames && i + matched < outFrames &&
               std::equal(frame(out, i + matched), frame(out, i + matched) + channels, frame(sound, matched)))
            ++matched;
        if (matched == 0) {
            result.strayFrame = i;
            return result;
        }
        result.copies << Copy{i, matched};
        i += matched;
    }
    return result;
}

/// Milliseconds of silence between one whole copy and the next.
inline QList<double> gapsMs(const Output& out, qsizetype soundFrames, int sampleRate)
{
    QList<double> gaps;
    for (qsizetype k = 1; k < out.copies.size(); ++k)
        gaps << 1000.0 * double(out.copies[k].start - (out.copies[k - 1].start + soundFrames)) / sampleRate;
    return gaps;
}

} // namespace chime_output
