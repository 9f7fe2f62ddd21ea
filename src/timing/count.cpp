#include "timing/count.h"

#include "build_info.h"

#include "platform/chime_device.h"
#include "platform/clock.h"
#include "platform/log_categories.h"
#include "platform/ticker.h"
#include "platform/wall_clock.h"
#include "settings/settings_record.h"
#include "timing/count_seconds.h"
#include "timing/rows.h"

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

using Text = SettingsRecord::Text;

namespace {

// A rehearsal: the presentation and the discussion in this many real seconds, then as many of overtime as make
// up the whole, time enough for the three bells of its start.
constexpr double rehearsalFastSeconds = 25.0;
constexpr double rehearsalSeconds = 30.0;
// Bells rung by hand wait at most this many deep behind a sounding chime.
constexpr int handBellsQueued = 3;
// While bells wait for the one sounding to end, the device is asked this often whether it has: the next bell
// follows within this span, and only while a group of bells rings. A device busy for longer (a long bell, a file
// that does not answer) is asked less often.
constexpr double bellPollSeconds = 0.02;
constexpr double bellPollLongSeconds = 0.1;
constexpr double bellWaitLong = 5.0;
// The device is told this long before a phase change that bells follow, so it can make its output ready.
constexpr double bellNoticeSeconds = 10.0;
// A move of the count within this many real seconds of the one before belongs to the same run.
constexpr double moveSettleSeconds = 1.5;
// The tick comes this much after the instant the shown second turns, so that the clock read in it is surely past
// the turn whatever the rounding of the instant on the way to the ticker.
constexpr double turnMargin = 1e-6;

} // namespace

Count::Count(const SettingsRecord& settings, const Clock& clock, const WallClock& wall, Ticker& ticker, Rows& rows,
             ChimeDevice& device, QObject* parent)
    : QObject(parent), m_settings(settings), m_real(clock), m_wall(wall), m_ticker(ticker), m_rows(rows),
      m_device(device), m_chime(device), m_clock(clock), m_captionShown(QString::fromUtf16(programName)),
      m_plainCaption(m_captionShown), m_minimisedCaption(u"nn:ss/"_s + m_plainCaption)
{
    connect(&m_ticker, &Ticker::ticked, this, &Count::Timer1_Timer);
}

Count::~Count()
{
    // The ticker outlives the count; the connection goes with this object, the timer is stopped here.
    m_ticker.setEnabled(false);
    m_device.close();
}

void Count::refresh()
{
    // Before the first count, and inside a reset, there is nothing to show yet.
    if (m_ticker.isEnabled())
        Timer1_Timer();
}

CountState Count::state() const
{
    return {m_clock.now() - m_startTime, m_phase, m_clock.isHeld(), m_clock.isRehearsing(), m_clock.shifted()};
}

double Count::remaining() const
{
    const double now = m_clock.now();
    // The period the lower row counts: it turns a second early, as the tick writes it.
    return (now < m_presenEnd - 1.0 ? m_presenEnd : m_discussEnd) - now;
}

CountSnapshot Count::snapshot() const
{
    CountSnapshot out = m_record;
    out.presenEnd = m_presenEnd - m_startTime;
    out.discussEnd = m_discussEnd - m_startTime;
    const qint64 wallNow = m_wall.nowMs();
    out.savedWallMs = wallNow;
    out.pausedSeconds = m_clock.heldSeconds();
    out.adjustSeconds = m_clock.shifted();
    out.pauseBeganBoot = -1.0;
    out.pauseBeganWallMs = 0;
    if (m_clock.isHeld()) {
        const double heldFor = m_real.now() - m_clock.heldSince();
        out.pauseBeganBoot = m_clock.heldSince();
        out.pauseBeganWallMs = wallNow - qint64(std::llround(heldFor * 1000.0));
    }
    return out;
}

void Count::takeSettings()
{
    for (int k = 1; k <= 4; ++k) {
        const QString heading = m_settings.heading(k);
        m_rowPattern[std::size_t(k - 1)][0] = CountPattern::oneLine(heading);
        m_rowPattern[std::size_t(k - 1)][1] = CountPattern::twoLine(heading);
    }
    // Pair 1 is kept for the whole count: a count moved back into its presentation shows it again.
    m_pair1Foreground = m_settings.foreground(1);
    m_pair1Background = m_settings.background(1);
    m_rows.setUpperColours(m_pair1Foreground, m_pair1Background);
    m_rows.setLowerColours(m_pair1Foreground, m_pair1Background);
    m_chimeCount = 0;
    m_handBells = 0;
    m_phase = 1;
    m_phaseByTime = false;
    m_movesSettleAt = -1.0;
}

void Count::resettimer()
{
    takeSettings();

    // No periodic tick may fall between reopening the device and taking the new start instant.
    m_ticker.setEnabled(false);
    m_chime.reopen(m_settings.text(Text::wavefile));

    // Taken after the device has opened, so the time spent opening the file is not counted.
    m_startTime = m_clock.now();
    const TalkTimes times = m_settings.times();
    m_presenEnd = m_startTime + times.presentation * 60.0;
    m_warnSpan = times.warning * 60.0;
    m_discussSpan = times.discussion * 60.0;
    m_discussEnd = m_presenEnd + m_discussSpan;

    m_record = CountSnapshot{};
    m_clock.clearTally();
    m_record.bootId = m_wall.bootId();
    m_record.startBoot = m_real.now();
    m_record.startWallMs = m_wall.nowMs();
    m_record.times = times;
    m_record.rehearsal = m_clock.isRehearsing();
    m_underWay = !m_record.rehearsal;

    // The upper row may still show the same text as the new count's first second (00分00秒, or the old count
    // at a whole hour); the first tick rewrites both rows anyway so nothing of the old count stays on screen.
    m_rewriteDue = true;
    Timer1_Timer();
    m_ticker.setEnabled(true);
}

void Count::resume(const CountSnapshot& saved)
{
    if (saved.rehearsal)
        return;
    m_inCommand = true;
    m_clock.release();
    m_clock.end();
    m_ticker.setEnabled(false);
    takeSettings();

    // The device stays open on the file of the count being replaced, which is the one the settings name now.
    double count = countSecondsAt(saved, m_real.now());
    if (!(count > 0.0) || !std::isfinite(count))
        count = 0.0;
    m_startTime = m_clock.now() - count;
    m_presenEnd = m_startTime + saved.presenEnd;
    m_discussEnd = m_startTime + saved.discussEnd;
    m_warnSpan = saved.times.warning * 60.0;
    m_discussSpan = saved.times.discussion * 60.0;
    m_record = saved;
    m_record.ended = false;
    m_record.used = true;
    m_underWay = true;
    m_clock.takeUpTally(saved.pausedSeconds, saved.pauseBeganBoot, saved.adjustSeconds);

    // Its bells rang before the program stopped; in its presentation the rows already have the colours of it.
    if (const int phase = phaseAt(m_clock.now()); phase != m_phase)
        enterPhase(phase, 0);
    m_rewriteDue = true;
    Timer1_Timer();
    m_ticker.setEnabled(true);
    m_inCommand = false;
    notify();
}

void Count::Timer1_Timer()
{
    // A rehearsal ends on the first tick past its span (time held in a pause is no part of it), and a fresh
    // count starts.
    if (m_clock.isRehearsing() && m_clock.realElapsed() >= rehearsalSeconds) {
        m_clock.end();
        resettimer();
        notify();
        return;
    }

    const double now = m_clock.now();
    const qint64 elapsed = roundHalfEven(now - m_startTime);

    if (m_rows.isMinimised()) {
        m_captionShown = m_minimisedCaption.render(elapsed);
        m_rows.setCaption(m_captionShown);
    } else if (m_captionShown != m_plainCaption) {
        m_captionShown = m_plainCaption;
        m_rows.setCaption(m_captionShown);
    }

    const int fmtIndex = m_rows.fmtIndex();
    Q_ASSERT_X(fmtIndex == 0 || fmtIndex == 1, "Count::Timer1_Timer", "the display form is 0 or 1");
    const std::size_t form = fmtIndex == 1 ? 1 : 0;
    QString up = m_rowPattern[0][form].render(elapsed);

    // The rows, the phase and the colours move only when the shown elapsed second (or the display form)
    // changes, about once a second; the one-second offsets below are tuned to that moment, half a second
    // past each whole second, so the lower row never shows 00分00秒 of a period that is about to end.
    if (m_rewriteDue || up != m_upperShown) {
        const bool turned = !m_rewriteDue && elapsed == m_elapsedShown + 1;
        m_rewriteDue = false;
        if (turned && !m_clock.isRehearsing())
            qCDebug(lcFlip, "second %lld shown %.3f ms after its instant", elapsed,
                    (m_real.now() - m_clock.realAt(m_startTime + double(elapsed) - 0.5)) * 1e3);
        m_elapsedShown = elapsed;
        m_upperShown = std::move(up);
        m_rows.setUpperText(m_upperShown);
        // Running on, a count climbs one phase at a time; moved by a command, it takes the phase where it
        // lands, ringing only that phase's bells, or going back silently.
        if (m_phaseByTime) {
            m_phaseByTime = false;
            const int target = phaseAt(now);
            if (target != m_phase)
                enterPhase(target, target > m_phase && m_movesSettleAt < 0.0 ? target - 1 : 0);
        }
        if (now < m_presenEnd - 1.0) {
            if (m_phase == 1 && (m_presenEnd - now) < m_warnSpan + 1.0)
                enterPhase(2, 1);
            m_rows.setLowerText(m_rowPattern[1][form].render(roundHalfEven(m_presenEnd - now)));
        } else if (now < m_discussEnd - 1.0) {
            if (m_phase == 2)
                enterPhase(3, 2);
            m_rows.setLowerText(m_rowPattern[2][form].render(roundHalfEven(m_discussEnd - now)));
        } else {
            if (m_phase == 3)
                enterPhase(4, 3);
            m_rows.setLowerText(m_rowPattern[3][form].render(roundHalfEven(now - m_discussEnd)));
        }
    }

    if (m_movesSettleAt >= 0.0 && m_real.now() >= m_movesSettleAt) {
        m_movesSettleAt = -1.0;
        if (m_phase > m_phaseBeforeMoves)
            m_chimeCount = m_phase - 1;
    }

    // On every tick, so the first chime of a phase change sounds on the tick of the change itself; in a pause
    // the bells due wait.
    bool bellsWait = false;
    if (!m_clock.isHeld() && phaseAt(now + bellNoticeSeconds) > m_phase)
        m_device.prepare();
    if (!m_clock.isHeld())
        bellsWait = m_chime.ringStep(m_chimeCount);
    if (m_handBells > 0)
        bellsWait = m_chime.ringStep(m_handBells) || bellsWait;
    scheduleNext(bellsWait);
}

void Count::scheduleNext(bool bellsWait)
{
    double at = Ticker::never;
    // A paused count shows nothing new until a command.
    if (!m_clock.isHeld()) {
        // Everything the count shows changes only when the shown second turns, half a second past each whole one
        // (an exact half rounds to even, so the turn falls at or just after it).
        const double now = m_clock.now();
        const double turn = m_startTime + double(roundHalfEven(now - m_startTime)) + 0.5;
        at = m_clock.realAt(turn) + turnMargin;
        if (m_clock.isRehearsing())
            at = std::min(at, m_real.now() + (rehearsalSeconds - m_clock.realElapsed()));
    }
    const double realNow = m_real.now();
    if (m_movesSettleAt >= 0.0)
        at = std::min(at, m_movesSettleAt);
    if (!bellsWait) {
        m_bellsWaitSince = -1.0;
    } else {
        if (m_bellsWaitSince < 0.0)
            m_bellsWaitSince = realNow;
        at =
            std::min(at, realNow + (realNow - m_bellsWaitSince < bellWaitLong ? bellPollSeconds : bellPollLongSeconds));
    }
    m_ticker.wakeAt(at);
}

int Count::phaseAt(double now) const
{
    // A count without a warning time never leaves its first colours when it runs on (its warning can never
    // begin, and each phase follows only the one before); moving it keeps it so.
    if (!(m_warnSpan > 0.0))
        return 1;
    if (now < m_presenEnd - 1.0)
        return (m_presenEnd - now) < m_warnSpan + 1.0 ? 2 : 1;
    return now < m_discussEnd - 1.0 ? 3 : 4;
}

void Count::enterPhase(int phase, int chimes)
{
    // The colours are read now, so a pair edited in the settings during the count is the one used.
    if (phase == 1)
        m_rows.setLowerColours(m_pair1Foreground, m_pair1Background);
    else
        m_rows.setLowerColours(m_settings.foreground(phase), m_settings.background(phase));
    m_phase = phase;
    // Replaced, not added to: chimes still pending from the phase before are dropped.
    m_chimeCount = chimes;
    // Rung now (running on, a skip): a run of moves under way rings only for a phase past this one.
    if (chimes > 0)
        m_phaseBeforeMoves = phase;
    notify();
}

void Count::notify()
{
    if (!m_inCommand)
        emit stateChanged(state());
}

void Count::commandDone()
{
    m_rewriteDue = true;
    Timer1_Timer();
    m_inCommand = false;
    notify();
}

void Count::endCount(bool onPurpose)
{
    if (!m_underWay)
        return;
    m_underWay = false;
    CountSnapshot last = snapshot();
    last.ended = onPurpose;
    emit ended(last, state().elapsed, m_wall.nowMs());
}

void Count::begin()
{
    startCount(false);
}

void Count::restart()
{
    startCount(true);
}

void Count::startCount(bool byChair)
{
    m_inCommand = true;
    endCount(true);
    m_clock.release();
    m_clock.end();
    resettimer();
    m_record.startedByRestart = byChair;
    m_inCommand = false;
    notify();
}

void Count::startRehearsal()
{
    m_inCommand = true;
    endCount(true);
    m_clock.release();
    const TalkTimes times = m_settings.times();
    m_clock.begin((times.presentation + times.discussion) * 60.0, rehearsalFastSeconds);
    resettimer();
    m_inCommand = false;
    notify();
}

void Count::togglePause()
{
    m_inCommand = true;
    m_record.used = true;
    if (m_clock.isHeld())
        m_clock.release();
    else
        m_clock.hold();
    commandDone();
}

void Count::adjust(double seconds)
{
    if (!std::isfinite(seconds))
        return;
    m_inCommand = true;
    const double by = std::max(seconds, -std::max(m_clock.now() - m_startTime, 0.0));
    m_clock.shift(by);
    m_record.used = true;
    if (m_movesSettleAt < 0.0)
        m_phaseBeforeMoves = m_phase;
    m_movesSettleAt = m_real.now() + moveSettleSeconds;
    m_phaseByTime = true;
    commandDone();
}

void Count::skip()
{
    // The period that ends does so at the second the upper row shows, so the two rows still turn together.
    const double now = m_clock.now();
    const double shown = m_startTime + double(roundHalfEven(now - m_startTime));
    if (now < m_presenEnd - 1.0) {
        m_presenEnd = shown;
        m_discussEnd = m_presenEnd + m_discussSpan;
    } else if (now < m_discussEnd - 1.0) {
        m_discussEnd = shown;
    } else {
        return;
    }
    m_inCommand = true;
    m_record.used = true;
    // Its bells ring at once, and end a run of moves.
    m_movesSettleAt = -1.0;
    m_phaseByTime = true;
    commandDone();
}

void Count::ringBell()
{
    m_inCommand = true;
    m_record.used = true;
    m_handBells = std::min(m_handBells + 1, handBellsQueued);
    commandDone();
}

void Count::finish()
{
    endCount(false);
}

void Count::apply(const CountCommand& command)
{
    switch (command.name) {
    case CountCommand::Name::Restart:
        restart();
        break;
    case CountCommand::Name::Rehearsal:
        startRehearsal();
        break;
    case CountCommand::Name::Pause:
        togglePause();
        break;
    case CountCommand::Name::Adjust:
        adjust(command.seconds);
        break;
    case CountCommand::Name::Skip:
        skip();
        break;
    case CountCommand::Name::Bell:
        ringBell();
        break;
    }
}
