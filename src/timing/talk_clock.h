#pragma once

#include "timing/chime_player.h"
#include "timing/count_pattern.h"

#include <QString>

#include <array>

class Clock;
class Rows;
class SettingsRecord;
class Ticker;

/// Counts one talk from a reset: the elapsed time in the upper row, the time left or over in the lower row,
/// the four phases with their colours and chimes, and the caption while the window is minimised.
/// The settings, clock, ticker, rows and device are borrowed and must outlive it.
class TalkClock {
public:
    TalkClock(const SettingsRecord& settings, Clock& clock, Ticker& ticker, Rows& rows, ChimeDevice& device);
    ~TalkClock();
    Q_DISABLE_COPY_MOVE(TalkClock)

    /// Starts a new count with the settings as they stand now.
    void resettimer();
    /// The tick: runs every 100 ms and once at the end of every reset.
    void Timer1_Timer();

    /// 0 one-line form, 1 two-line form; written by the layout pass, read by the tick.
    int fmtIndex() const { return m_fmtIndex; }
    void setFmtIndex(int index);

    int phase() const { return m_phase; }
    int chimeCount() const { return m_chimeCount; }

private:
    /// Recolours the lower row with pair `phase` as the settings hold it now, and sets the chimes to ring.
    void enterPhase(int phase, int chimes);

    const SettingsRecord& m_settings;
    Clock& m_clock;
    Ticker& m_ticker;
    Rows& m_rows;
    ChimePlayer m_chime;

    std::array<std::array<CountPattern, 2>, 4> m_rowPattern;
    double m_startTime = 0.0;
    double m_presenEnd = 0.0;
    double m_warnSpan = 0.0;
    double m_discussEnd = 0.0;
    int m_phase = 1;
    int m_chimeCount = 0;
    int m_fmtIndex = 0;
    bool m_rewriteDue = false;

    const QString m_plainCaption;
    const CountPattern m_minimisedCaption;
};
