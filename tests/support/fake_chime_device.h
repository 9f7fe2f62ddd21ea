#pragma once

#include "platform/chime_device.h"

#include <QStringList>

/// A sound device whose playbacks last until the test ends them; logs every command in order.
class FakeChimeDevice final : public ChimeDevice {
public:
    Mode mode() override
    {
        ++m_modeQueries;
        return m_mode;
    }
    void close() override
    {
        m_log << QStringLiteral("close");
        m_mode = Mode::NotOpen;
    }
    void setFileName(const QString& path) override
    {
        m_log << QStringLiteral("file:") + path;
        m_fileName = path;
    }
    void open() override
    {
        m_log << QStringLiteral("open");
        m_mode = m_fileOpens ? Mode::Idle : Mode::NotOpen;
        m_failure = m_fileOpens ? Failure::None : m_refusal;
    }
    void rewind() override { m_log << QStringLiteral("prev"); }
    void play() override
    {
        m_log << QStringLiteral("play");
        ++m_plays;
        if (m_mode == Mode::Idle)
            m_mode = m_outputOpens ? Mode::Busy : Mode::NotOpen;
        if (!m_outputOpens)
            m_failure = Failure::NoOutput;
    }
    void prepare() override { ++m_prepares; }
    Failure failure() const override { return m_failure; }
    QString outputError() const override { return m_outputOpens ? QString() : QStringLiteral("no audio device"); }

    /// The running playback reaches the end of the file.
    void finishPlayback()
    {
        if (m_mode == Mode::Busy)
            m_mode = Mode::Idle;
    }
    /// Whether the next open() succeeds, as it would for a missing or broken file.
    void setFileOpens(bool opens, Failure why = Failure::NotSound)
    {
        m_fileOpens = opens;
        m_refusal = why;
    }
    /// The file, read in the background, turns out unplayable: the device falls back to not open.
    void refuseNow(Failure why)
    {
        m_mode = Mode::NotOpen;
        m_failure = why;
    }
    /// Whether play() finds an output, as it would not on a machine without sound.
    void setOutputOpens(bool opens) { m_outputOpens = opens; }

    QStringList log() const { return m_log; }
    void clearLog() { m_log.clear(); }
    int plays() const { return m_plays; }
    int prepares() const { return m_prepares; }
    int modeQueries() const { return m_modeQueries; }
    QString fileName() const { return m_fileName; }

private:
    Mode m_mode = Mode::NotOpen;
    bool m_fileOpens = true;
    bool m_outputOpens = true;
    Failure m_refusal = Failure::NotSound;
    Failure m_failure = Failure::None;
    QStringList m_log;
    QString m_fileName;
    int m_plays = 0;
    int m_prepares = 0;
    int m_modeQueries = 0;
};
