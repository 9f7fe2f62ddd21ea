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
    }
    void rewind() override { m_log << QStringLiteral("prev"); }
    void play() override
    {
        m_log << QStringLiteral("play");
        ++m_plays;
        if (m_mode == Mode::Idle)
            m_mode = Mode::Busy;
    }

    /// The running playback reaches the end of the file.
    void finishPlayback()
    {
        if (m_mode == Mode::Busy)
            m_mode = Mode::Idle;
    }
    /// Whether the next open() succeeds, as it would for a missing or broken file.
    void setFileOpens(bool opens) { m_fileOpens = opens; }

    QStringList log() const { return m_log; }
    void clearLog() { m_log.clear(); }
    int plays() const { return m_plays; }
    int modeQueries() const { return m_modeQueries; }
    QString fileName() const { return m_fileName; }

private:
    Mode m_mode = Mode::NotOpen;
    bool m_fileOpens = true;
    QStringList m_log;
    QString m_fileName;
    int m_plays = 0;
    int m_modeQueries = 0;
};
