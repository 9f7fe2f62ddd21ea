#include "fake_chime_device.h"
#include "fake_clock.h"
#include "fake_rows.h"
#include "fake_ticker.h"
#include "fake_wall_clock.h"
#include "settings/settings_record.h"
#include "timing/count.h"
#include "timing/count_clock.h"
#include "timing/phase_reading.h"
#include "timing/shown_rows.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

using Text = SettingsRecord::Text;
using Swatch = SettingsRecord::Swatch;
using Colours = FakeRows::Colours;

class TestCount : public QObject {
    Q_OBJECT
private slots:
    void defaultTimeline_data();
    void defaultTimeline();
    void skippedPhases_data();
    void skippedPhases();
    void warningAtTheResetsOwnTick_data();
    void warningAtTheResetsOwnTick();
    void pendingChimes_data();
    void pendingChimes();
    void colourEditDuringCount_data();
    void colourEditDuringCount();
    void displayFormChange();
    void minimisedCaption_data();
    void minimisedCaption();
    void resetCutsSoundingChime();
    void resetRewritesRowsShowingTheSameSecond_data();
    void resetRewritesRowsShowingTheSameSecond();
    void startInstantTakenAfterOpening();
    void threeWholeChimes();
    void deviceToldOfBellsAhead();
    void tickerLeftAloneAfterDestruction();
    void rehearsalClock_data();
    void rehearsalClock();
    void commands_data();
    void commands();
    void nextInstant_data();
    void nextInstant();
    void carriedOver_data();
    void carriedOver();
    void endedOnce();
    void shownRowsFollowTheWindow();
};

namespace {

const QString heading1 = u"講演の開始から"_s;
const QString heading2 = u"発表時間終了まで"_s;
const QString heading3 = u"質疑応答終了まで"_s;
const QString heading4 = u"講演時間の超過は"_s;

/// The whole program around one count, with every platform seam faked.
struct Rig {
    SettingsRecord settings;
    FakeClock clock;
    FakeTicker ticker;
    FakeRows rows;
    /// What the other views read, written through to `rows`.
    ShownRows shown{rows};
    FakeChimeDevice device;
    FakeWallClock wall;
    Count talk{settings, clock, wall, ticker, shown, device};
    double start = 0.0;
    int ticks = 0;

    void periods(const QString& presentation, const QString& discussion, const QString& warning)
    {
        settings.setText(Text::presenPeriod, presentation);
        settings.setText(Text::discussPeriod, discussion);
        settings.setText(Text::warnBefore, warning);
    }
    /// Every swatch a colour of its own, so a pair taken from the wrong swatch shows.
    void distinctColours()
    {
        for (int i = 0; i < SettingsRecord::swatchCount; ++i)
            settings.setColour(Swatch(i), ColourValue(0x00102030u + 0x00010101u * ColourValue(i)));
    }
    Colours pair(int k) const { return {settings.foreground(k), settings.background(k)}; }
    /// Starts a count at the clock's present instant.
    void reset()
    {
        start = clock.now();
        talk.restart();
    }
    /// Moves the clock to `seconds` after the start and lets the timer fire once.
    void at(double seconds)
    {
        clock.set(start + seconds);
        ticker.fire();
    }
    /// Tick `i` of a timer firing every 100 ms, off the whole-second grid.
    void tick(int i) { at(0.05 + i * 0.1); }
    /// Steps apart by blanks: a number waits that many seconds in ticks, each chime ending within one; a signed
    /// number adjusts; a word is a command.
    void run(const QString& steps)
    {
        for (const QString& step : steps.split(u' ', Qt::SkipEmptyParts)) {
            if (step.front().isDigit()) {
                for (const int end = ticks + qRound(step.toDouble() * 10); ticks < end;) {
                    device.finishPlayback();
                    tick(++ticks);
                }
            } else if (step.front() == u'+' || step.front() == u'-') {
                talk.adjust(step.toDouble());
            } else {
                const QHash<QString, void (Count::*)()> commands{{u"pause"_s, &Count::togglePause},
                                                                 {u"skip"_s, &Count::skip},
                                                                 {u"bell"_s, &Count::ringBell},
                                                                 {u"restart"_s, &Count::restart},
                                                                 {u"rehearsal"_s, &Count::startRehearsal}};
                (talk.*commands.value(step))();
            }
        }
    }
};

QString shown(int minutes, int seconds)
{
    return u"%1分%2秒"_s.arg(minutes, 2, 10, QChar(u'0')).arg(seconds, 2, 10, QChar(u'0'));
}
QString upperRow(int minutes, int seconds)
{
    return heading1 + u"   "_s + shown(minutes, seconds);
}
QString lowerRow(const QString& heading, int minutes, int seconds)
{
    return heading + u" "_s + shown(minutes, seconds);
}
/// "mm:ss" as the upper row shows it, and "k mm:ss" as the lower row does under heading k.
QString upperRow(const QString& shown)
{
    return upperRow(shown.left(2).toInt(), shown.right(2).toInt());
}
QString lowerRow(const QString& shown)
{
    const QString heading[] = {heading2, heading3, heading4};
    return lowerRow(heading[shown.left(1).toInt() - 2], shown.mid(2, 2).toInt(), shown.right(2).toInt());
}

/// A row in the one-line form taken apart: heading (fill removed) and count shown, or count -1 if the text
/// is not in that form.
struct Parsed {
    QString heading;
    int count = -1;
};
Parsed parseOneLine(const QString& text)
{
    static const QRegularExpression form(u"^(.*?) +([0-5][0-9])分([0-5][0-9])秒$"_s);
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return {};
    return {m.captured(1), m.captured(2).toInt() * 60 + m.captured(3).toInt()};
}

} // namespace

void TestCount::defaultTimeline_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("offset");

    // Ticks on the tenths meet exact halves of a second, where rounding to even decides; ticks between the
    // tenths are the usual case of a timer that does not fire on the whole-second grid.
    QTest::newRow("ticks on the tenths") << 1000.0 << 0.0;
    QTest::newRow("ticks between the tenths") << 1000.0 << 0.05;
    QTest::newRow("fractional start instant") << 86399.73 << 0.05;
    QTest::newRow("start after days of uptime") << 345678.125 << 0.03;
}

void TestCount::defaultTimeline()
{
    QFETCH(double, start);
    QFETCH(double, offset);

    Rig rig;
    rig.distinctColours();
    rig.clock.set(start);
    rig.reset();
    QCOMPARE(rig.rows.upperText(), upperRow(0, 0));
    QCOMPARE(rig.rows.lowerText(), lowerRow(heading2, 10, 0));
    QCOMPARE(rig.device.log(), (QStringList{u"file:"_s, u"open"_s}));

    const auto change = [](int phase, const QString& upper, const QString& lower, int plays) {
        return u"phase %1: %2 | %3 | %4 plays"_s.arg(phase).arg(upper, lower).arg(plays);
    };
    QStringList changes;
    int lastPhase = 1;
    int rewrites = 0;
    for (int i = 0; i <= 9700; ++i) { // 16 min 10 s of 100 ms ticks
        rig.device.finishPlayback();  // every chime ends within a tick
        const QString upperBefore = rig.rows.upperText();
        const int writesBefore = rig.rows.upperWrites();
        rig.at(offset + i * 0.1);

        // Both rows change on the same tick, and only when the shown elapsed second changes.
        const bool rewritten = rig.rows.upperWrites() != writesBefore;
        QCOMPARE(rewritten, rig.rows.upperText() != upperBefore);
        QCOMPARE(rig.rows.lowerWrites(), rig.rows.upperWrites());

        if (rewritten) {
            ++rewrites;
            const Parsed up = parseOneLine(rig.rows.upperText());
            const Parsed low = parseOneLine(rig.rows.lowerText());
            QCOMPARE(up.heading, heading1);
            QVERIFY2(low.count >= 0, qPrintable(rig.rows.lowerText()));
            if (low.heading == heading2) {
                QCOMPARE(up.count + low.count, 600);
                QVERIFY2(low.count != 0, "the presentation's 00分00秒 is never shown");
            } else if (low.heading == heading3) {
                QCOMPARE(up.count + low.count, 900);
                QVERIFY2(low.count != 0, "the discussion's 00分00秒 is never shown");
            } else {
                QCOMPARE(low.heading, heading4);
                QCOMPARE(up.count - low.count, 900);
            }
        }

        QCOMPARE(rig.rows.upperColours(), rig.pair(1));
        QCOMPARE(rig.rows.lowerColours(), rig.pair(rig.talk.phase()));
        QVERIFY(rig.talk.chimeCount() >= 0 && rig.talk.chimeCount() <= 3);
        if (rig.talk.phase() != lastPhase) {
            QCOMPARE(rig.talk.phase(), lastPhase + 1);
            lastPhase = rig.talk.phase();
            changes.append(change(lastPhase, rig.rows.upperText(), rig.rows.lowerText(), rig.device.plays()));
        }
    }

    // At each change the first chime of the new phase rings on the same tick.
    QCOMPARE(changes, (QStringList{change(2, upperRow(8, 0), lowerRow(heading2, 2, 0), 1),
                                   change(3, upperRow(10, 0), lowerRow(heading3, 5, 0), 2),
                                   change(4, upperRow(15, 0), lowerRow(heading4, 0, 0), 4)}));
    QCOMPARE(rig.device.plays(), 1 + 2 + 3);
    QCOMPARE(rig.talk.chimeCount(), 0);
    QCOMPARE(rig.rows.upperText(), upperRow(16, 10));
    QCOMPARE(rig.rows.lowerText(), lowerRow(heading4, 1, 10));
    // One rewrite per shown second, not per tick.
    QCOMPARE(rewrites, 16 * 60 + 10);
}

void TestCount::skippedPhases_data()
{
    QTest::addColumn<QString>("presentation");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QString>("firstLower");

    // The warning needs less than one second left while the presentation region needs more than one second.
    QTest::newRow("warning time 0") << u"10"_s << u"0"_s << lowerRow(heading2, 10, 0);
    QTest::newRow("warning text without a number") << u"10"_s << u"なし"_s << lowerRow(heading2, 10, 0);
    QTest::newRow("presentation of 0.9 s") << u"0.015"_s << u"2"_s << lowerRow(heading3, 5, 1);
    QTest::newRow("no presentation") << u"0"_s << u"2"_s << lowerRow(heading3, 5, 0);
}

void TestCount::skippedPhases()
{
    QFETCH(QString, presentation);
    QFETCH(QString, warning);
    QFETCH(QString, firstLower);

    // Without a warning phase no later phase can follow: the lower row runs through its texts in pair 1
    // and no chime rings at all.
    Rig rig;
    rig.distinctColours();
    rig.periods(presentation, u"5"_s, warning);
    rig.reset();
    QCOMPARE(rig.rows.lowerText(), firstLower);

    QStringList headingsSeen;
    for (int i = 1; i <= 9700; ++i) {
        rig.tick(i);
        const QString heading = parseOneLine(rig.rows.lowerText()).heading;
        if (headingsSeen.isEmpty() || headingsSeen.last() != heading)
            headingsSeen.append(heading);
        QCOMPARE(rig.talk.phase(), 1);
        QCOMPARE(rig.rows.lowerColours(), rig.pair(1));
    }
    const QStringList all{heading2, heading3, heading4};
    QCOMPARE(headingsSeen, all.mid(all.indexOf(parseOneLine(firstLower).heading)));
    QCOMPARE(rig.device.plays(), 0);
    QCOMPARE(rig.talk.chimeCount(), 0);
}

void TestCount::warningAtTheResetsOwnTick_data()
{
    QTest::addColumn<QString>("presentation");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("phase");

    QTest::newRow("warning as long as the presentation") << u"10"_s << u"10"_s << 2;
    QTest::newRow("warning longer than the presentation") << u"1"_s << u"5"_s << 2;
    QTest::newRow("60 s with 59.4 s warning") << u"1"_s << u"0.99"_s << 2;
    QTest::newRow("60 s with 58.8 s warning") << u"1"_s << u"0.98"_s << 1;
}

void TestCount::warningAtTheResetsOwnTick()
{
    QFETCH(QString, presentation);
    QFETCH(QString, warning);
    QFETCH(int, phase);

    Rig rig;
    rig.distinctColours();
    rig.periods(presentation, u"5"_s, warning);
    rig.talk.restart();
    QCOMPARE(rig.talk.phase(), phase);
    QCOMPARE(rig.rows.lowerColours(), rig.pair(phase));
    QCOMPARE(rig.device.plays(), phase == 2 ? 1 : 0);
    QCOMPARE(rig.talk.chimeCount(), 0);
}

void TestCount::pendingChimes_data()
{
    QTest::addColumn<bool>("fileOpens");
    QTest::addColumn<QList<int>>("pendingAtChange");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("plays");
    QTest::addColumn<int>("left");

    // The warning chime never ends, so the discussion's two chimes stay pending; the overtime then asks for
    // three, not five, and the playback in progress is left to finish.
    QTest::newRow("warning chime that never ends")
        << true << QList<int>{0, 2, 3} << QStringList{u"prev"_s, u"play"_s} << 1 + 3 << 0;
    // No sound, no message: the chimes stay pending and the count goes on.
    QTest::newRow("file that cannot be opened") << false << QList<int>{1, 2, 3} << QStringList() << 0 << 3;
}

void TestCount::pendingChimes()
{
    QFETCH(bool, fileOpens);
    QFETCH(QList<int>, pendingAtChange);
    QFETCH(QStringList, commands);
    QFETCH(int, plays);
    QFETCH(int, left);

    Rig rig;
    rig.device.setFileOpens(fileOpens);
    rig.periods(u"1"_s, u"1"_s, u"0.5"_s);
    rig.reset();
    rig.device.clearLog();

    QList<int> pendingSeen;
    int lastPhase = rig.talk.phase();
    for (int i = 1; i <= 1250; ++i) {
        rig.tick(i);
        if (rig.talk.phase() != lastPhase) {
            lastPhase = rig.talk.phase();
            pendingSeen.append(rig.talk.chimeCount());
        }
    }
    QCOMPARE(pendingSeen, pendingAtChange);
    QCOMPARE(rig.device.log(), commands);
    QCOMPARE(rig.rows.upperText(), upperRow(2, 5));
    QCOMPARE(rig.rows.lowerText(), lowerRow(heading4, 0, 5));

    for (int i = 1251; i <= 1300; ++i) {
        rig.device.finishPlayback();
        rig.tick(i);
    }
    QCOMPARE(rig.device.plays(), plays);
    QCOMPARE(rig.talk.chimeCount(), left);
    rig.reset();
    QCOMPARE(rig.talk.chimeCount(), 0);
}

void TestCount::colourEditDuringCount_data()
{
    QTest::addColumn<int>("pair");
    QTest::addColumn<bool>("backgroundOnly");
    QTest::newRow("warning pair") << 2 << false;
    QTest::newRow("discussion pair") << 3 << false;
    QTest::newRow("overtime pair") << 4 << false;
    QTest::newRow("warning pair, only its background new") << 2 << true;
}

void TestCount::colourEditDuringCount()
{
    QFETCH(int, pair);
    QFETCH(bool, backgroundOnly);

    Rig rig;
    rig.distinctColours();
    rig.periods(u"1"_s, u"1"_s, u"0.5"_s);
    rig.reset();
    const Colours firstPair = rig.pair(1);

    // Pair `pair` and pair 1 are edited before the change into that phase, and again after it.
    const Colours edited{backgroundOnly ? rig.pair(pair - 1).foreground : 0x00ABCDEFu, 0x00123456u};
    const Colours lateEdit{0x00000001u, 0x00000002u};
    int i = 1;
    for (; i <= 1250 && rig.talk.phase() < pair; ++i) {
        if (i == 10) {
            rig.settings.setColour(SettingsRecord::foregroundSwatch(pair), edited.foreground);
            rig.settings.setColour(SettingsRecord::backgroundSwatch(pair), edited.background);
            rig.settings.setColour(Swatch::t1f, lateEdit.foreground);
            rig.settings.setColour(Swatch::t1b, lateEdit.background);
        }
        rig.tick(i);
    }
    QCOMPARE(rig.talk.phase(), pair);
    QCOMPARE(rig.rows.lowerColours(), edited);
    // The other views show the same.
    QCOMPARE((Colours{rig.shown.view().lowerForeground, rig.shown.view().lowerBackground}), edited);
    // Pair 1 of the running count stays as it was at the reset.
    QCOMPARE(rig.rows.upperColours(), firstPair);

    rig.settings.setColour(SettingsRecord::foregroundSwatch(pair), lateEdit.foreground);
    for (const int stop = i + 20; i < stop; ++i)
        rig.tick(i);
    if (rig.talk.phase() == pair)
        QCOMPARE(rig.rows.lowerColours(), edited);

    rig.talk.restart();
    QCOMPARE(rig.rows.upperColours(), lateEdit);
    QCOMPARE(rig.rows.lowerColours(), lateEdit);
}

void TestCount::displayFormChange()
{
    Rig rig;
    rig.reset();
    rig.at(0.1);
    QCOMPARE(rig.rows.upperWrites(), 1);

    // Within the same shown second: only the new form makes the upper text differ.
    rig.rows.setFmtIndex(1);
    rig.talk.refresh();
    rig.at(0.2);
    QCOMPARE(rig.rows.upperText(), heading1 + u"\r\n00 分 00 秒"_s);
    QCOMPARE(rig.rows.lowerText(), heading2 + u"\r\n10 分 00 秒"_s);
    rig.at(0.3);
    QCOMPARE(rig.rows.upperWrites(), 2);

    rig.rows.setFmtIndex(0);
    rig.talk.refresh();
    rig.at(0.4);
    QCOMPARE(rig.rows.upperText(), upperRow(0, 0));
    QCOMPARE(rig.rows.lowerText(), lowerRow(heading2, 10, 0));
    QCOMPARE(rig.rows.upperWrites(), 3);
    QCOMPARE(rig.rows.lowerWrites(), 3);
}

void TestCount::minimisedCaption_data()
{
    QTest::addColumn<double>("elapsed");
    QTest::addColumn<QString>("caption");

    QTest::newRow("5 min 30 s") << 330.2 << u"05:30/Lectern"_s;
    QTest::newRow("at the start") << 0.3 << u"00:00/Lectern"_s;
    QTest::newRow("exact half rounds to even") << 330.5 << u"05:30/Lectern"_s;
    QTest::newRow("past the hour") << 3725.4 << u"02:05/Lectern"_s;
}

void TestCount::minimisedCaption()
{
    QFETCH(double, elapsed);
    QFETCH(QString, caption);

    Rig rig;
    rig.reset();
    rig.at(elapsed - 0.1);
    const int writesBefore = rig.rows.captionWrites();

    rig.rows.setMinimised(true);
    rig.at(elapsed);
    QCOMPARE(rig.rows.caption(), caption);
    // Written on every tick while minimised, even when the second has not changed.
    rig.at(elapsed + 0.01);
    QCOMPARE(rig.rows.captionWrites(), writesBefore + 2);

    rig.rows.setMinimised(false);
    rig.at(elapsed + 0.02);
    QCOMPARE(rig.rows.caption(), u"Lectern"_s);
    rig.at(elapsed + 0.03);
    QCOMPARE(rig.rows.captionWrites(), writesBefore + 3);
}

void TestCount::resetCutsSoundingChime()
{
    Rig rig;
    rig.settings.setText(Text::wavefile, u"/sounds/first.wav"_s);
    rig.periods(u"1"_s, u"1"_s, u"0.5"_s);
    rig.reset();
    // A new file chosen during the count is not used by the chimes of that count.
    rig.settings.setText(Text::wavefile, u"/sounds/second.wav"_s);
    int i = 1;
    for (; rig.talk.phase() < 2; ++i)
        rig.tick(i);
    QCOMPARE(rig.device.fileName(), u"/sounds/first.wav"_s);
    QCOMPARE(rig.device.mode(), ChimeDevice::Mode::Busy);

    rig.device.clearLog();
    rig.reset();
    QCOMPARE(rig.device.log(), (QStringList{u"close"_s, u"file:/sounds/second.wav"_s, u"open"_s}));
    QCOMPARE(rig.talk.chimeCount(), 0);
    QCOMPARE(rig.talk.phase(), 1);
    QCOMPARE(rig.rows.upperText(), upperRow(0, 0));
    QCOMPARE(rig.rows.lowerText(), lowerRow(heading2, 1, 0));

    // Nothing of the old count rings once the device is idle again.
    const int plays = rig.device.plays();
    for (int k = 1; k <= 100; ++k)
        rig.tick(k);
    QCOMPARE(rig.device.plays(), plays);
}

void TestCount::resetRewritesRowsShowingTheSameSecond_data()
{
    QTest::addColumn<double>("oldCount");
    QTest::addColumn<QString>("oldLower");

    QTest::newRow("restart within the first half second") << 0.3 << lowerRow(heading2, 10, 0);
    QTest::newRow("restart after a whole hour") << 3600.2 << lowerRow(heading4, 45, 0);
}

void TestCount::resetRewritesRowsShowingTheSameSecond()
{
    QFETCH(double, oldCount);
    QFETCH(QString, oldLower);

    // The old count shows 00分00秒 in the upper row, as the new count will; the new periods must still
    // reach the lower row at once, and nothing of the old count may stay there.
    Rig rig;
    rig.distinctColours();
    rig.reset();
    for (int i = 1; i * 0.1 <= oldCount; ++i)
        rig.at(i * 0.1);
    rig.at(oldCount);
    QCOMPARE(rig.rows.upperText(), upperRow(0, 0));
    QCOMPARE(rig.rows.lowerText(), oldLower);

    rig.periods(u"20"_s, u"5"_s, u"20"_s);
    rig.talk.restart();
    QCOMPARE(rig.rows.upperText(), upperRow(0, 0));
    QCOMPARE(rig.rows.lowerText(), lowerRow(heading2, 20, 0));
    // A warning as long as the presentation begins at the reset's own tick, whatever was shown before.
    QCOMPARE(rig.talk.phase(), 2);
    QCOMPARE(rig.rows.lowerColours(), rig.pair(2));
}

namespace {

/// A device that takes two seconds to open a file it never plays, and counts the opens that ran while the
/// periodic tick was enabled.
class SlowOpeningDevice final : public ChimeDevice {
public:
    SlowOpeningDevice(FakeClock& clock, FakeTicker& ticker) : m_clock(clock), m_ticker(ticker) {}
    Mode mode() override { return Mode::NotOpen; }
    void close() override {}
    void setFileName(const QString&) override {}
    void open() override
    {
        ++opens;
        opensWhileTicking += m_ticker.isEnabled();
        m_clock.advance(2.0);
    }
    void rewind() override {}
    void play() override {}
    Failure failure() const override { return Failure::NotSound; }
    QString outputError() const override { return {}; }

    int opens = 0;
    int opensWhileTicking = 0;

private:
    FakeClock& m_clock;
    FakeTicker& m_ticker;
};

} // namespace

void TestCount::startInstantTakenAfterOpening()
{
    SettingsRecord settings;
    FakeClock clock;
    FakeTicker ticker;
    FakeRows rows;
    SlowOpeningDevice device(clock, ticker);
    FakeWallClock wall;
    Count talk(settings, clock, wall, ticker, rows, device);

    talk.restart();
    talk.restart(); // the second reset finds the ticker running
    QCOMPARE(device.opens, 2);
    QCOMPARE(device.opensWhileTicking, 0);
    QVERIFY(ticker.isEnabled());
    QCOMPARE(ticker.disables(), 2);
    // The time spent opening the file is not part of the talk.
    QCOMPARE(rows.lowerText(), lowerRow(heading2, 10, 0));
    clock.advance(1.4);
    ticker.fire();
    QCOMPARE(rows.upperText(), upperRow(0, 1));
}

void TestCount::threeWholeChimes()
{
    // Each playback lasts 1.23 s of clock time; the next one begins on the first tick after it ended.
    Rig rig;
    rig.periods(u"0.5"_s, u"0.5"_s, u"0.25"_s);
    rig.reset();

    const double length = 1.23;
    double endsAt = -1.0;
    QList<int> startTicks;
    QList<int> endTicks;
    for (int i = 1; i <= 700; ++i) {
        const double t = 0.05 + i * 0.1;
        if (endsAt >= 0.0 && t >= endsAt) {
            rig.device.finishPlayback();
            endsAt = -1.0;
            if (rig.talk.phase() == 4)
                endTicks.append(i);
        }
        const int plays = rig.device.plays();
        rig.at(t);
        if (rig.device.plays() != plays) {
            QCOMPARE(rig.device.plays(), plays + 1);
            endsAt = t + length;
            if (rig.talk.phase() == 4)
                startTicks.append(i);
        }
    }
    QCOMPARE(startTicks.size(), 3);
    // The overtime's first chime rings on the tick of the change: 60 s, the rewrite at 59.55 s.
    QCOMPARE(startTicks[0], 595);
    QCOMPARE(endTicks.mid(0, 2), (QList<int>{startTicks[0] + 13, startTicks[1] + 13}));
    QCOMPARE(startTicks.mid(1), endTicks.mid(0, 2));
    QCOMPARE(rig.device.plays(), 1 + 2 + 3);
}

void TestCount::deviceToldOfBellsAhead()
{
    // 10, 5 and 2 minutes: the warning's bell rings at 479.5 s; the device hears of it ten seconds before, not
    // earlier.
    Rig rig;
    rig.periods(u"10"_s, u"5"_s, u"2"_s);
    rig.reset();
    rig.at(469.0);
    QCOMPARE(rig.device.prepares(), 0);
    rig.at(470.0);
    QVERIFY(rig.device.prepares() > 0);
    QCOMPARE(rig.device.plays(), 0);
}

void TestCount::tickerLeftAloneAfterDestruction()
{
    FakeTicker ticker;
    FakeRows rows;
    {
        SettingsRecord settings;
        FakeClock clock;
        FakeChimeDevice device;
        FakeWallClock wall;
        Count talk(settings, clock, wall, ticker, rows, device);
        talk.restart();
        QVERIFY(ticker.isEnabled());
    }
    const int writes = rows.upperWrites();
    ticker.setEnabled(true);
    ticker.fire(); // must not reach the destroyed count
    QCOMPARE(rows.upperWrites(), writes);
}

void TestCount::rehearsalClock_data()
{
    // A talk of 10 + 5 minutes rehearsed: its 900 s pass in 25 real seconds, then time runs at its own pace.
    QTest::addColumn<double>("fastSeconds");
    QTest::addColumn<double>("realSeconds");
    QTest::addColumn<double>("realElapsed");
    QTest::addColumn<double>("countElapsed");
    QTest::newRow("at the start") << 900.0 << 25.0 << 0.0 << 0.0;
    QTest::newRow("half way") << 900.0 << 25.0 << 12.5 << 450.0;
    QTest::newRow("end of the discussion") << 900.0 << 25.0 << 25.0 << 900.0;
    QTest::newRow("overtime at real pace") << 900.0 << 25.0 << 30.0 << 905.0;
    QTest::newRow("a talk shorter than the span keeps real pace") << 12.0 << 25.0 << 10.0 << 10.0;
}

void TestCount::rehearsalClock()
{
    QFETCH(double, fastSeconds);
    QFETCH(double, realSeconds);
    QFETCH(double, realElapsed);
    QFETCH(double, countElapsed);
    FakeClock real;
    CountClock clock(real);
    QCOMPARE(clock.now(), real.now());
    const double begin = clock.now();
    clock.begin(fastSeconds, realSeconds);
    real.advance(realElapsed);
    QCOMPARE(clock.now() - begin, countElapsed);
    QCOMPARE(clock.realElapsed(), realElapsed);

    // Ending goes on from where the rehearsal stood, at real pace: a count started after it never sees time go back.
    const double atEnd = clock.now();
    clock.end();
    QCOMPARE(clock.now(), atEnd);
    real.advance(2.0);
    QCOMPARE(clock.now(), atEnd + 2.0);
    QVERIFY(!clock.isRehearsing());
}

void TestCount::commands_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QString>("lower");
    QTest::addColumn<int>("pair");
    QTest::addColumn<int>("bells");
    QTest::addColumn<QString>("state");
    QTest::addColumn<int>("changes");

    // 10, 5 and 2 minutes; the count starts at 0, the ticks come 50 ms past each tenth.
    QTest::newRow("running on: a change per phase")
        << u"900"_s << u"15:00"_s << u"4 00:00"_s << 4 << 6 << u"running"_s << 3;
    QTest::newRow("pause holds the rows, rings nothing")
        << u"475 pause 60"_s << u"07:55"_s << u"2 02:05"_s << 1 << 0 << u"paused"_s << 1;
    QTest::newRow("resume goes on from the same values")
        << u"475 pause 60 pause 5"_s << u"08:00"_s << u"2 02:00"_s << 2 << 1 << u"running"_s << 3;
    QTest::newRow("bells due wait in a pause")
        << u"899.5 pause 10"_s << u"15:00"_s << u"4 00:00"_s << 4 << 4 << u"paused"_s << 4;
    QTest::newRow("and ring after it") << u"899.5 pause 10 pause 0.3"_s << u"15:00"_s << u"4 00:00"_s << 4 << 6
                                       << u"running"_s << 5;
    QTest::newRow("the lower row turns a second early")
        << u"599.5"_s << u"10:00"_s << u"3 05:00"_s << 3 << 2 << u"running"_s << 2;
    QTest::newRow("adjust in a pause") << u"100 pause +10 5"_s << u"01:50"_s << u"2 08:10"_s << 1 << 0 << u"paused"_s
                                       << 2;
    QTest::newRow("adjust into the warning: its bell once the moves stop")
        << u"470 +10 1.5"_s << u"08:02"_s << u"2 01:58"_s << 2 << 1 << u"running"_s << 1;
    QTest::newRow("adjust across two phases: the later one's bells")
        << u"470 +180 1.8"_s << u"10:52"_s << u"3 04:08"_s << 3 << 2 << u"running"_s << 1;
    QTest::newRow("presses in a row: the bells of the last one's phase")
        << u"470 +60 0.5 +60 0.5 +60 1.8"_s << u"10:53"_s << u"3 04:07"_s << 3 << 2 << u"running"_s << 3;
    QTest::newRow("on and back in a row: silent")
        << u"470 +180 0.5 -180 1.5"_s << u"07:52"_s << u"2 02:08"_s << 1 << 0 << u"running"_s << 2;
    QTest::newRow("adjust into the overtime")
        << u"470 +480 1.8"_s << u"15:52"_s << u"4 00:52"_s << 4 << 3 << u"running"_s << 1;
    QTest::newRow("adjust back: colours back, silently")
        << u"470 +180 1.8 -120"_s << u"08:52"_s << u"2 01:08"_s << 2 << 2 << u"running"_s << 2;
    QTest::newRow("back into the presentation")
        << u"470 +180 1.8 -180"_s << u"07:52"_s << u"2 02:08"_s << 1 << 2 << u"running"_s << 2;
    QTest::newRow("adjust never below zero") << u"5 -60"_s << u"00:00"_s << u"2 10:00"_s << 1 << 0 << u"running"_s << 1;
    QTest::newRow("skip in the presentation: the whole discussion, two bells")
        << u"200 skip 0.3"_s << u"03:20"_s << u"3 05:00"_s << 3 << 2 << u"running"_s << 1;
    QTest::newRow("the rows still turn together")
        << u"200 skip 100"_s << u"05:00"_s << u"3 03:20"_s << 3 << 2 << u"running"_s << 1;
    QTest::newRow("skip in the discussion: overtime, three bells")
        << u"650 skip 0.3"_s << u"10:50"_s << u"4 00:00"_s << 4 << 6 << u"running"_s << 3;
    QTest::newRow("skip in the overtime: nothing")
        << u"950 skip"_s << u"15:50"_s << u"4 00:50"_s << 4 << 6 << u"running"_s << 3;
    QTest::newRow("bell by hand") << u"100 bell"_s << u"01:40"_s << u"2 08:20"_s << 1 << 1 << u"running"_s << 1;
    QTest::newRow("bell by hand keeps the bells due")
        << u"899.5 bell 1"_s << u"15:01"_s << u"4 00:01"_s << 4 << 7 << u"running"_s << 4;
    QTest::newRow("restart ends a pause")
        << u"100 pause 10 restart 5"_s << u"00:05"_s << u"2 09:55"_s << 1 << 0 << u"running"_s << 2;
    QTest::newRow("rehearsal under way") << u"rehearsal 29.9"_s << u"15:05"_s << u"4 00:05"_s << 4 << 6
                                         << u"rehearsal running"_s << 4;
    QTest::newRow("rehearsal ends on the tick")
        << u"rehearsal 30"_s << u"00:00"_s << u"2 10:00"_s << 1 << 6 << u"running"_s << 5;
    QTest::newRow("a paused rehearsal waits")
        << u"rehearsal 10 pause 30"_s << u"06:02"_s << u"2 03:58"_s << 1 << 0 << u"rehearsal paused"_s << 2;
}

void TestCount::commands()
{
    QFETCH(QString, steps);
    QFETCH(QString, upper);
    QFETCH(QString, lower);
    QFETCH(int, pair);
    QFETCH(int, bells);
    QFETCH(QString, state);
    QFETCH(int, changes);

    Rig rig;
    rig.distinctColours();
    rig.reset();
    QSignalSpy changed(&rig.talk, &Count::stateChanged);
    rig.run(steps);
    QCOMPARE(rig.rows.upperText(), upperRow(upper));
    QCOMPARE(rig.rows.lowerText(), lowerRow(lower));
    QCOMPARE(rig.rows.upperColours(), rig.pair(1));
    QCOMPARE(rig.rows.lowerColours(), rig.pair(pair));
    QCOMPARE(rig.device.plays(), bells);
    const CountState now = rig.talk.state();
    QCOMPARE((now.rehearsal ? u"rehearsal "_s : QString()) + (now.paused ? u"paused"_s : u"running"_s), state);
    QCOMPARE(changed.size(), changes);
    // The seconds left are the lower row's count; in the overtime they are negative.
    const int shown = lower.mid(2, 2).toInt() * 60 + lower.right(2).toInt();
    QCOMPARE(qRound(rig.talk.remaining()), pair == 4 ? -shown : shown);
    // The speaker's window and the browser page read the same figures, in the same colours.
    RowsView rows;
    rows.lowerForeground = rig.pair(pair).foreground;
    rows.lowerBackground = rig.pair(pair).background;
    const PhaseReading reading = readPhase(now, rig.talk.snapshot(), rows, rig.settings);
    QCOMPARE(reading.heading, parseOneLine(rig.rows.lowerText()).heading);
    QCOMPARE(reading.remainingSeconds, shown);
    QCOMPARE(reading.overtime, lower.front() == u'4');
    QCOMPARE(reading.elapsedSeconds, upper.left(2).toInt() * 60 + upper.right(2).toInt());
    QCOMPARE(reading.paused, now.paused);
    QCOMPARE((Colours{reading.foreground, reading.background}), rig.pair(pair));
    QVERIFY(reading.used >= 0.0 && reading.used <= 1.0 && (reading.used == 1.0) == reading.overtime);
}

void TestCount::nextInstant_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("form");
    // Real seconds after the start at which the count next wakes; negative for never.
    QTest::addColumn<double>("instant");

    // 10, 5 and 2 minutes; the steps as in commands(), the last tick at 50 ms past a tenth.
    QTest::newRow("running: the turn of the shown second") << u"1"_s << 0 << 1.5;
    QTest::newRow("at the warning: the next turn") << u"479.5"_s << 0 << 480.5;
    QTest::newRow("overtime: bells wait for the one sounding") << u"899.5"_s << 0 << 899.57;
    QTest::newRow("a change of form rewrites at once") << u"100.3"_s << 1 << 100.5;
    QTest::newRow("paused: none") << u"100 pause"_s << 0 << -1.0;
    QTest::newRow("going on after a pause") << u"100 pause 60 pause"_s << 0 << 160.5;
    QTest::newRow("an adjustment moves the turn") << u"100 +0.3"_s << 0 << 100.2;
    QTest::newRow("a rehearsal turns 36 times as fast") << u"rehearsal 1"_s << 0 << 38.5 / 36.0;
    QTest::newRow("and ends on time") << u"rehearsal 29.9"_s << 0 << 30.0;
}

void TestCount::nextInstant()
{
    QFETCH(QString, steps);
    QFETCH(int, form);
    QFETCH(double, instant);

    Rig rig;
    rig.reset();
    rig.run(steps);
    const int writes = rig.rows.upperWrites();
    rig.rows.setFmtIndex(form);
    rig.talk.refresh();
    QCOMPARE(rig.rows.upperWrites(), writes + form);
    if (instant < 0.0)
        QCOMPARE(rig.ticker.instant(), Ticker::never);
    else
        QVERIFY2(qAbs(rig.ticker.instant() - rig.start - instant) < 1e-4,
                 qPrintable(QString::number(rig.ticker.instant() - rig.start)));
}

void TestCount::carriedOver_data()
{
    QTest::addColumn<bool>("paused");
    QTest::addColumn<QString>("upper");
    QTest::addColumn<QString>("lower");

    // Moved on by 20 s and skipped at 02:00 (the discussion ends at 07:00), saved at 02:30; taken up 60 s later.
    QTest::newRow("running: the time away counts") << false << u"03:30"_s << u"3 03:30"_s;
    QTest::newRow("paused: back at its values") << true << u"02:30"_s << u"3 04:30"_s;
}

void TestCount::carriedOver()
{
    QFETCH(bool, paused);
    QFETCH(QString, upper);
    QFETCH(QString, lower);

    Rig before;
    before.reset();
    before.wall.advance(1.0);
    before.run(paused ? u"100 +20 skip 30 pause 10"_s : u"100 +20 skip 30"_s);
    const CountSnapshot saved = before.talk.snapshot();
    QCOMPARE(saved.startBoot, before.start);
    QCOMPARE(saved.startWallMs, FakeWallClock().nowMs());
    QCOMPARE(saved.bootId, u"boot-1"_s);
    QCOMPARE(saved.adjustSeconds, 20.0);
    QVERIFY(qAbs(saved.presenEnd - 120.0) < 1e-9 && qAbs(saved.discussEnd - 420.0) < 1e-9);
    QCOMPARE(saved.pauseBeganBoot >= 0.0, paused);
    QCOMPARE(saved.times, (TalkTimes{10, 5, 2}));

    Rig after;
    after.distinctColours();
    after.reset();
    after.clock.set(before.clock.now() + 60.0);
    after.talk.resume(saved);
    QCOMPARE(after.rows.upperText(), upperRow(upper));
    QCOMPARE(after.rows.lowerText(), lowerRow(lower));
    QCOMPARE(after.rows.lowerColours(), after.pair(3));
    QCOMPARE(after.talk.state().paused, paused);
    QCOMPARE(after.device.plays(), 0);
    QCOMPARE(after.talk.snapshot().pausedSeconds, saved.pausedSeconds);
    // The pauses and moves go on from the saved ones: a pause under way ends 70 s after it began.
    QCOMPARE(after.talk.state().adjustSeconds, 20.0);
    after.talk.togglePause();
    QCOMPARE(after.talk.snapshot().pausedSeconds, saved.pausedSeconds + (paused ? 70.0 : 0.0));
    QCOMPARE(after.talk.snapshot().pauseBeganBoot < 0.0, paused);
}

void TestCount::endedOnce()
{
    Rig rig;
    QSignalSpy ended(&rig.talk, &Count::ended);
    rig.reset();
    rig.run(u"65"_s);
    rig.talk.restart();
    rig.talk.startRehearsal();
    rig.talk.restart();
    rig.run(u"5"_s);
    rig.talk.finish();
    rig.talk.finish();
    // The first count, the one the rehearsal replaced, and the last at the close; never a rehearsal.
    QCOMPARE(ended.size(), 3);
    QVERIFY(qAbs(ended.at(0).at(1).toDouble() - 65.05) < 1e-9);
    QVERIFY(ended.at(0).at(0).value<CountSnapshot>().ended);
    QVERIFY(ended.at(1).at(0).value<CountSnapshot>().ended);
    QVERIFY(!ended.at(2).at(0).value<CountSnapshot>().ended);
    QVERIFY(!ended.at(2).at(0).value<CountSnapshot>().rehearsal);
    QVERIFY(qAbs(ended.at(2).at(1).toDouble() - 5.0) < 1e-9);
}

void TestCount::shownRowsFollowTheWindow()
{
    SettingsRecord settings;
    FakeClock clock;
    FakeTicker ticker;
    FakeRows window;
    FakeChimeDevice device;
    FakeWallClock wall;
    ShownRows shown(window);
    Count talk{settings, clock, wall, ticker, shown, device};
    QSignalSpy changed(&shown, &ShownRows::changed);
    talk.restart();
    clock.advance(8 * 60 + 0.6); // into the warning: a new second and new colours in one tick
    ticker.fire();
    QCoreApplication::processEvents();
    QCOMPARE(changed.size(), 1);
    const RowsView& view = shown.view();
    QCOMPARE(view.upperText, window.upperText());
    QCOMPARE(view.lowerText, window.lowerText());
    QCOMPARE((FakeRows::Colours{view.lowerForeground, view.lowerBackground}), window.lowerColours());
    QCOMPARE((FakeRows::Colours{view.upperForeground, view.upperBackground}), window.upperColours());
    QVERIFY(view.lowerForeground != view.upperForeground || view.lowerBackground != view.upperBackground);
    // A tick within the same second writes nothing new: no views are woken.
    clock.advance(0.1);
    ticker.fire();
    QCoreApplication::processEvents();
    QCOMPARE(changed.size(), 1);
}

QTEST_GUILESS_MAIN(TestCount)
#include "test_count.moc"
