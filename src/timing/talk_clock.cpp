#include "timing/talk_clock.h"

#include "build_info.h"

#include "platform/clock.h"
#include "platform/ticker.h"
#include "settings/settings_record.h"
#include "timing/rows.h"

using namespace Qt::StringLiterals;

using Text = SettingsRecord::Text;

TalkClock::TalkClock(const SettingsRecord& settings, Clock& clock, Ticker& ticker, Rows& rows, ChimeDevice& device)
    : m_settings(settings), m_clock(clock), m_ticker(ticker), m_rows(rows), m_chime(device),
      m_plainCaption(QString::fromUtf16(programName)), m_minimisedCaption(u"nn:ss/"_s + m_plainCaption)
{
    m_ticker.setHandler([this] { Timer1_Timer(); });
}

TalkClock::~TalkClock()
{
    // The ticker outlives the count; a tick after this point must not reach a destroyed object.
    m_ticker.setEnabled(false);
    m_ticker.setHandler({});
}

void TalkClock::setFmtIndex(int index)
{
    Q_ASSERT_X(index == 0 || index == 1, "TalkClock::setFmtIndex", "the display form is 0 or 1");
    if (index == 0 || index == 1)
        m_fmtIndex = index;
}

void TalkClock::resettimer()
{
    for (int k = 1; k <= 4; ++k) {
        const QString heading = m_settings.heading(k);
        m_rowPattern[std::size_t(k - 1)][0] = CountPattern::oneLine(heading);
        m_rowPattern[std::size_t(k - 1)][1] = CountPattern::twoLine(heading);
    }

    const ColourValue foreground = m_settings.foreground(1);
    const ColourValue background = m_settings.background(1);
    m_rows.setUpperColours(foreground, background);
    m_rows.setLowerColours(foreground, background);

    m_chimeCount = 0;
    m_phase = 1;

    // No periodic tick may fall between reopening the device and taking the new start instant.
    m_ticker.setEnabled(false);
    m_chime.reopen(m_settings.text(Text::wavefile));

    // Taken after the device has opened, so the time spent opening the file is not counted.
    m_startTime = m_clock.now();
    const TalkTimes times = m_settings.times();
    m_presenEnd = m_startTime + times.presentation * 60.0;
    m_warnSpan = times.warning * 60.0;
    m_discussEnd = m_presenEnd + times.discussion * 60.0;

    // The upper row may still show the same text as the new count's first second (00分00秒, or the old count
    // at a whole hour); the first tick rewrites both rows anyway so nothing of the old count stays on screen.
    m_rewriteDue = true;
    Timer1_Timer();
    m_ticker.setEnabled(true);
}

void TalkClock::Timer1_Timer()
{
    const double now = m_clock.now();
    const qint64 elapsed = roundHalfEven(now - m_startTime);

    if (m_rows.isMinimised())
        m_rows.setCaption(m_minimisedCaption.render(elapsed));
    else if (m_rows.caption() != m_plainCaption)
        m_rows.setCaption(m_plainCaption);

    Q_ASSERT_X(m_fmtIndex == 0 || m_fmtIndex == 1, "TalkClock::Timer1_Timer", "the display form is 0 or 1");
    const std::size_t form = m_fmtIndex == 1 ? 1 : 0;
    const QString up = m_rowPattern[0][form].render(elapsed);

    // The rows, the phase and the colours move only when the shown elapsed second (or the display form)
    // changes, about once a second; the one-second offsets below are tuned to that moment, half a second
    // past each whole second, so the lower row never shows 00分00秒 of a period that is about to end.
    if (m_rewriteDue || up != m_rows.upperText()) {
        m_rewriteDue = false;
        m_rows.setUpperText(up);
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

    // On every tick, so the first chime of a phase change sounds on the tick of the change itself.
    m_chime.ringStep(m_chimeCount);
}

void TalkClock::enterPhase(int phase, int chimes)
{
    // The colours are read now, so a pair edited in the settings during the count is the one used.
    m_rows.setLowerColours(m_settings.foreground(phase), m_settings.background(phase));
    m_phase = phase;
    // Replaced, not added to: chimes still pending from the phase before are dropped.
    m_chimeCount = chimes;
}
