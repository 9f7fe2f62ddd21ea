#pragma once

#include "platform/chime_device.h"

/// The count's chime device, which a sound check started from the settings must never keep from ringing: the
/// check stops the moment a bell of the count starts. Everything else goes to the count's device unchanged.
class CountFirstChime final : public ChimeDevice {
public:
    CountFirstChime(ChimeDevice& count, ChimeDevice& check) : m_count(count), m_check(check) {}

    Mode mode() override { return m_count.mode(); }
    void close() override { m_count.close(); }
    void setFileName(const QString& path) override { m_count.setFileName(path); }
    void open() override { m_count.open(); }
    void rewind() override { m_count.rewind(); }
    void play() override
    {
        m_check.close();
        m_count.play();
    }
    void prepare() override { m_count.prepare(); }
    Failure failure() const override { return m_count.failure(); }
    QString outputError() const override { return m_count.outputError(); }

private:
    ChimeDevice& m_count;
    ChimeDevice& m_check;
};
