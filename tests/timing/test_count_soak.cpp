#include "fake_chime_device.h"
#include "fake_clock.h"
#include "fake_rows.h"
#include "fake_ticker.h"
#include "fake_wall_clock.h"
#include "settings/settings_record.h"
#include "timing/count.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;

using Text = SettingsRecord::Text;

/// Ten hours of ticks with restarts, settings edits, late timers, suspends, minimising and a device that
/// comes and goes, all drawn from a fixed seed; the count must stay sound on every tick.
class TestCountSoak : public QObject {
    Q_OBJECT
private slots:
    void tenHours();
};

namespace {

struct Shown {
    QString heading;
    qint64 count = -1;
};

/// Splits a row into heading and count for the given form; count -1 when the text is not well formed.
Shown parse(const QString& text, int form)
{
    static const QRegularExpression oneLine(u"^([^\\r\\n]*?) +([0-5][0-9])分([0-5][0-9])秒$"_s);
    static const QRegularExpression twoLine(u"^([^\\r\\n]*)\\r\\n([0-5][0-9]) 分 ([0-5][0-9]) 秒$"_s);
    const QRegularExpressionMatch m = (form == 0 ? oneLine : twoLine).match(text);
    if (!m.hasMatch())
        return {};
    return {m.captured(1), m.captured(2).toInt() * 60 + m.captured(3).toInt()};
}

/// What a row shows of a count: the minute within the hour and the second, nothing below zero. Worked out
/// here with the floating-point unit's own rounding (to nearest, ties to even) as an independent check.
qint64 shownCount(double seconds)
{
    const double rounded = std::nearbyint(seconds);
    if (!(rounded > 0.0))
        return 0;
    if (rounded >= 9.2e18)
        return -2; // beyond what this check works out; never compared
    const auto c = qint64(rounded);
    return (c / 60) % 60 * 60 + c % 60;
}

bool hasFields(const QString& heading)
{
    return heading.contains(u"nn"_s) || heading.contains(u"ss"_s);
}

} // namespace

void TestCountSoak::tenHours()
{
    // Mostly short talks, so that many counts run to their overtime; now and then a text that is odd,
    // negative, huge or beyond the range of a double.
    const QStringList usualPeriods{u"1"_s, u"2"_s, u"0.5"_s, u"1.5"_s, u"3"_s, u"0.25"_s};
    const QStringList oddPeriods{u"10"_s,   u"0"_s,   u"0.01"_s,  u"61"_s,    u"600"_s,   u"-3"_s,
                                 u"なし"_s, u" 7 "_s, u"2.5分"_s, u"1e300"_s, u"1e308"_s, u"-1e308"_s};
    const QStringList headings{u"講演の開始から"_s,
                               u"発表時間終了まで"_s,
                               u"質疑応答終了まで"_s,
                               u"講演時間の超過は"_s,
                               QString(),
                               u"nnss"_s,
                               u"ABCDEFGHIJKLMNOP"_s,
                               u"𠮷𠮷"_s,
                               u"n:s NN"_s};

    SettingsRecord settings;
    FakeClock clock;
    FakeTicker ticker;
    FakeRows rows;
    FakeChimeDevice device;
    FakeWallClock wall;
    Count talk(settings, clock, wall, ticker, rows, device);
    QRandomGenerator random(20240607);

    // What the test knows of the running count, taken at each reset.
    double start = 0.0;
    double presenEnd = 0.0;
    double discussEnd = 0.0;
    std::array<QString, 4> heading;
    bool periodsCheckable = true;
    const auto reset = [&] {
        start = clock.now();
        presenEnd = start + settings.times().presentation * 60.0;
        discussEnd = presenEnd + settings.times().discussion * 60.0;
        periodsCheckable = std::abs(presenEnd - start) < 1e9 && std::abs(discussEnd - start) < 1e9;
        for (int k = 1; k <= 4; ++k)
            heading[std::size_t(k - 1)] = settings.heading(k);
        talk.restart();
    };

    reset();
    int resets = 1;
    int overtimes = 0;
    int rewrites = 0;
    qint64 upperShown = parse(rows.upperText(), 0).count;
    const double end = start + 10 * 3600.0;
    for (qint64 tick = 0; clock.now() < end; ++tick) {
        // The world between two ticks.
        const quint32 dice = random.bounded(100000u);
        double step = 0.1;
        if (dice < 5000)
            step += random.bounded(0.5); // a late timer
        else if (dice < 5002)
            step += random.bounded(600.0); // a suspend
        clock.advance(step);
        // A change of form rewrites both rows at once, as the tick would.
        const int writesBefore = rows.upperWrites();
        if (random.bounded(3u) == 0)
            device.finishPlayback();
        if (random.bounded(2000u) == 0) {
            const int field = int(random.bounded(4u));
            if (field < 3)
                settings.setText(Text(field), random.bounded(4u) == 0
                                                  ? oddPeriods.at(random.bounded(oddPeriods.size()))
                                                  : usualPeriods.at(random.bounded(usualPeriods.size())));
            else
                settings.setText(Text(int(Text::Text1) + int(random.bounded(4u))),
                                 headings.at(random.bounded(headings.size())));
        }
        if (random.bounded(2000u) == 0)
            settings.setColour(SettingsRecord::Swatch(random.bounded(8u)), random.generate() & 0xFFFFFFu);
        if (random.bounded(1000u) == 0)
            rows.setMinimised(!rows.isMinimised());
        if (random.bounded(1500u) == 0) {
            rows.setFmtIndex(1 - rows.fmtIndex());
            talk.refresh();
        }
        if (random.bounded(5000u) == 0)
            device.setFileOpens(!(random.bounded(4u) == 0));

        const int phaseBefore = talk.phase();
        const int playsBefore = device.plays();
        const bool restarting = random.bounded(8000u) == 0;
        if (restarting) {
            reset();
            ++resets;
        } else {
            ticker.fire();
        }
        const double now = clock.now();

        // The phase only climbs one step at a time, and a restart goes back to presentation or warning.
        const int phase = talk.phase();
        QVERIFY(phase >= 1 && phase <= 4);
        if (restarting)
            QVERIFY2(phase <= 2, qPrintable(QString::number(tick)));
        else
            QVERIFY2(phase == phaseBefore || phase == phaseBefore + 1, qPrintable(QString::number(tick)));
        overtimes += phase == 4 && phaseBefore == 3;
        QVERIFY(talk.chimeCount() >= 0 && talk.chimeCount() <= 3);
        QVERIFY(device.plays() - playsBefore <= 1);
        QVERIFY(ticker.isEnabled());

        // The texts change only together, and are always well formed in the current form.
        QCOMPARE(rows.lowerWrites(), rows.upperWrites());
        if (rows.upperWrites() != writesBefore) {
            ++rewrites;
            const int form = rows.fmtIndex();
            const Shown up = parse(rows.upperText(), form);
            const Shown low = parse(rows.lowerText(), form);
            QVERIFY2(up.count >= 0, qPrintable(rows.upperText()));
            QVERIFY2(low.count >= 0, qPrintable(rows.lowerText()));
            upperShown = up.count;
            if (!hasFields(heading[0]))
                QCOMPARE(up.heading.trimmed(), heading[0].trimmed());
            if (periodsCheckable) {
                int row = 3;
                qint64 expected = shownCount(now - discussEnd);
                if (now < presenEnd - 1.0) {
                    row = 1;
                    expected = shownCount(presenEnd - now);
                } else if (now < discussEnd - 1.0) {
                    row = 2;
                    expected = shownCount(discussEnd - now);
                }
                QCOMPARE(low.count, expected);
                if (!hasFields(heading[std::size_t(row)]))
                    QCOMPARE(low.heading.trimmed(), heading[std::size_t(row)].trimmed());
            }
        }
        // Between rewrites the upper row still shows the current elapsed second.
        QCOMPARE(upperShown, shownCount(now - start));

        if (rows.isMinimised()) {
            static const QRegularExpression caption(u"^([0-5][0-9]):([0-5][0-9])/Lectern$"_s);
            const QRegularExpressionMatch m = caption.match(rows.caption());
            QVERIFY2(m.hasMatch(), qPrintable(rows.caption()));
            QCOMPARE(m.captured(1).toInt() * 60 + m.captured(2).toInt(), shownCount(now - start));
        } else {
            QCOMPARE(rows.caption(), u"Lectern"_s);
        }
    }

    // The run went through every part of a count many times.
    QVERIFY2(resets > 20, qPrintable(QString::number(resets)));
    QVERIFY2(overtimes > 10, qPrintable(QString::number(overtimes)));
    QVERIFY2(rewrites > 30000, qPrintable(QString::number(rewrites)));
    QVERIFY2(device.plays() > 50, qPrintable(QString::number(device.plays())));
}

QTEST_GUILESS_MAIN(TestCountSoak)
#include "test_count_soak.moc"
