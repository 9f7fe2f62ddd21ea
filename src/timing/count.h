#pragma once

#include "platform/colour_value.h"
#include "timing/chime_player.h"
#include "timing/count_clock.h"
#include "timing/count_command.h"
#include "timing/count_pattern.h"
#include "timing/count_snapshot.h"

#include <QObject>
#include <QString>

#include <array>

class ChimeDevice;
class Clock;
class Rows;
class SettingsRecord;
class Ticker;
class WallClock;

/// What a count is doing, as the window shows it and the record keeps it.
struct CountState {
    /// Count seconds: what the upper row counts (real seconds since the start, less the pauses, plus the
    /// chair's adjustments).
    double elapsed = 0.0;
    /// 1 presentation, 2 warning, 3 discussion, 4 overtime.
    int phase = 1;
    bool paused = false;
    bool rehearsal = false;
    /// The sum of the chair's adjustments: positive when the count was moved on.
    double adjustSeconds = 0.0;

    bool operator==(const CountState&) const = default;
};

/// The one owner of the count: counts a talk from a restart (the elapsed time in the upper row, the time left or
/// over in the lower row, the four phases with their colours and bells, the caption while the window is
/// minimised), runs the rehearsal, and is the one place where the chair's commands act on the count. The
/// settings, clocks, ticker, rows and device are borrowed and must outlive it; the device, which the count
/// opens, is closed again when the count goes.
class Count final : public QObject {
    Q_OBJECT
public:
    Count(const SettingsRecord& settings, const Clock& clock, const WallClock& wall, Ticker& ticker, Rows& rows,
          ChimeDevice& device, QObject* parent = nullptr);
    ~Count() override;
    Q_DISABLE_COPY_MOVE(Count)

    CountState state() const;
    /// The count as it stands, to be carried over a restart of the program.
    CountSnapshot snapshot() const;
    /// Takes up a saved count in place of the one running, as if the program had never stopped: its instants
    /// must be on this boot's clock. A count saved while paused comes back paused at its values. It comes back
    /// in the colours of its phase, without bells; the count it replaces is dropped without ending. A rehearsal
    /// is never taken up.
    void resume(const CountSnapshot& saved);

    int phase() const { return m_phase; }
    /// Count seconds left in the period the lower row counts: the presentation (warning included) or the
    /// discussion; in the overtime, the seconds past the discussion's end, negative.
    double remaining() const;
    int chimeCount() const { return m_chimeCount; }

    /// Starts the program's first count, as restart() does; a count no one asked for, so no talk until used.
    void begin();

public slots:
    /// Starts a new count with the settings as they stand now, at the chair's word; a rehearsal or a pause ends.
    void restart();
    /// Plays the current settings through as a rehearsal: the presentation and the discussion in about 25 s,
    /// then 5 s of overtime, with the colours and the bells at their places; then a new count starts.
    void startRehearsal();
    /// Stops both rows where they stand, or goes on from there. No bell rings while paused; the bells still
    /// due ring after.
    void togglePause();
    /// Moves the count by `seconds` (never below zero). The colours follow at once; the bells wait until the
    /// moves have stopped for moveSettleSeconds, then ring those of the phase the count is in if that is later
    /// than the one the moves began in (none when moved back), so that a run of presses rings once.
    void adjust(double seconds);
    /// Ends the presentation or the discussion now: the next period starts whole, with its bells. Nothing in
    /// the overtime.
    void skip();
    /// Rings the chime once now (or when the one sounding ends), leaving the count and its bells alone.
    void ringBell();
    /// Runs `command` by the slot above that bears its name.
    void apply(const CountCommand& command);
    /// The program closes: a count under way ends, as a restart would end it.
    void finish();
    /// Shows at once what changed around a running count: the window minimised or restored, the rows' display
    /// form (which the rows hold) changed.
    void refresh();
    /// The tick: runs when the shown second turns, once at the end of every reset and once after every command,
    /// and every few hundredths of a second while bells wait for the one sounding to end.
    void Timer1_Timer();

signals:
    /// At every command and every change of phase; not with the passing seconds.
    void stateChanged(const CountState& state);
    /// A count under way (not a rehearsal) ended by a restart, a rehearsal or finish(). `last.ended` is true for
    /// a restart or a rehearsal, false when the program closes.
    void ended(const CountSnapshot& last, double elapsedCountSeconds, qint64 endWallMs);

private:
    /// Reads the headings and pair 1 for a new count, puts both rows in pair 1 and clears phase and bells.
    void takeSettings();
    void resettimer();
    /// Starts a count, at the chair's word or not.
    void startCount(bool byChair);
    /// Emits ended() for a real count under way, once.
    void endCount(bool onPurpose);
    /// Recolours the lower row with pair `phase` as the settings hold it now, and sets the chimes to ring.
    void enterPhase(int phase, int chimes);
    /// The phase the count is in at `now` on the count clock, by where it stands rather than where it came from.
    int phaseAt(double now) const;
    /// Runs the tick at once with the rows rewritten, then tells of the new state once.
    void commandDone();
    void notify();
    /// Asks the ticker for the next instant at which a row, a colour, a bell or the caption changes.
    void scheduleNext(bool bellsWait);

    const SettingsRecord& m_settings;
    const Clock& m_real;
    const WallClock& m_wall;
    Ticker& m_ticker;
    Rows& m_rows;
    ChimeDevice& m_device;
    ChimePlayer m_chime;
    CountClock m_clock;

    std::array<std::array<CountPattern, 2>, 4> m_rowPattern;
    // Instants on m_clock, which stands still in a pause and moves with an adjustment.
    double m_startTime = 0.0;
    double m_presenEnd = 0.0;
    double m_warnSpan = 0.0;
    double m_discussEnd = 0.0;
    double m_discussSpan = 0.0;
    ColourValue m_pair1Foreground = 0;
    ColourValue m_pair1Background = 0;
    int m_phase = 1;
    int m_chimeCount = 0;
    int m_handBells = 0;
    bool m_rewriteDue = false;
    bool m_phaseByTime = false;
    bool m_inCommand = false;
    /// A real count was started and has not ended yet.
    bool m_underWay = false;
    /// The count on the boot and wall clocks; presenEnd and discussEnd, and its pauses and moves, which the clock
    /// keeps, are filled in by snapshot().
    CountSnapshot m_record;

    QString m_upperShown;
    qint64 m_elapsedShown = -1;
    /// When, on the real clock, the bells of a run of moves ring; negative when no move waits.
    double m_movesSettleAt = -1.0;
    /// The phase the run of moves began in.
    int m_phaseBeforeMoves = 1;
    /// Since when, on the real clock, bells have waited for a sounding one to end; negative when none wait.
    double m_bellsWaitSince = -1.0;
    QString m_captionShown;
    const QString m_plainCaption;
    const CountPattern m_minimisedCaption;
};
