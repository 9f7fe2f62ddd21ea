#include "timing/count_seconds.h"
#include "timing/resume_offer.h"
#include "timing/saved_count.h"
#include "timing/talk_line.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(CountSnapshot)

namespace {

constexpr qint64 w0 = 1796000000000; // 09:53:20 in Japan

// Started at boot second 1000, a 10 + 5 minute talk, last saved 300 s in.
CountSnapshot running()
{
    CountSnapshot c;
    c.bootId = u"boot-1"_s, c.startBoot = 1000, c.startWallMs = w0, c.savedWallMs = w0 + 300000;
    c.presenEnd = 600, c.discussEnd = 900, c.times = {10, 5, 2}, c.startedByRestart = true;
    return c;
}

CountSnapshot with(CountSnapshot c, auto change)
{
    change(c);
    return c;
}

// Paused at 400 s.
const auto paused = [](auto& c) {
    c.pauseBeganBoot = 1400.0;
    c.pauseBeganWallMs = w0 + 400000;
};

} // namespace

class TestCountRecord : public QObject {
    Q_OBJECT
private slots:
    void resumeOffer_data();
    void resumeOffer();
    void savedCountRoundTrip();
    void brokenFilesGiveNothing_data();
    void brokenFilesGiveNothing();
    void talkLine_data();
    void talkLine();
};

void TestCountRecord::resumeOffer_data()
{
    QTest::addColumn<CountSnapshot>("saved");
    QTest::addColumn<QString>("bootId");
    QTest::addColumn<double>("bootNow");
    QTest::addColumn<qint64>("wallNowMs");
    QTest::addColumn<double>("elapsed"); // negative: no offer

    const CountSnapshot r = running();
    const QString same = u"boot-1"_s;
    const QString other = u"boot-2"_s;
    QTest::newRow("same boot, paused and adjusted before")
        << with(r, [](auto& c) { c.pausedSeconds = 30, c.adjustSeconds = 20; }) << same << 1700.0 << w0 << 690.0;
    QTest::newRow("same boot, still paused") << with(r, paused) << same << 5000.0 << w0 << 400.0;
    QTest::newRow("same boot, past the window") << r << same << 2500.0 << w0 << -1.0;
    QTest::newRow("ended by a restart") << with(r, [](auto& c) { c.ended = true; }) << same << 1010.0 << w0 << -1.0;
    QTest::newRow("rehearsal") << with(r, [](auto& c) { c.rehearsal = true; }) << same << 1010.0 << w0 << -1.0;
    QTest::newRow("reboot, wall clock plausible") << r << other << 50.0 << w0 + 800000 << 800.0;
    QTest::newRow("reboot while paused") << with(r, paused) << other << 50.0 << w0 + 1400000 << 400.0;
    QTest::newRow("reboot, wall clock before the save") << r << other << 50.0 << w0 + 200000 << -1.0;
    QTest::newRow("reboot, past the window") << r << other << 50.0 << w0 + 1500000 << -1.0;
    QTest::newRow("closed paused, saved 2 h ago") << with(r, paused) << same << 9000.0 << w0 + 7500000 << -1.0;
    QTest::newRow("running, a long presentation saved 2.5 h ago")
        << with(r, [](auto& c) { c.presenEnd = 14400, c.discussEnd = 15000, c.startedByRestart = true; }) << same
        << 10000.0 << w0 + 9300000 << 9000.0;
    const CountSnapshot alone = with(r, [](auto& c) { c.startedByRestart = false; }); // the program's first count
    QTest::newRow("left alone, before its warning") << alone << same << 1300.0 << w0 << -1.0;
    QTest::newRow("left alone, into its warning") << alone << same << 1500.0 << w0 << 500.0;
    QTest::newRow("left alone but used") << with(alone, [](auto& c) { c.used = true; }) << same << 1300.0 << w0
                                         << 300.0;
    QTest::newRow("restarted, in its first 10 s") << r << same << 1009.0 << w0 << -1.0;
}

void TestCountRecord::resumeOffer()
{
    QFETCH(CountSnapshot, saved);
    QFETCH(QString, bootId);
    QFETCH(double, bootNow);
    QFETCH(qint64, wallNowMs);
    QFETCH(double, elapsed);

    const std::optional<ResumeOffer> offer = ::resumeOffer(saved, bootId, bootNow, wallNowMs);
    QCOMPARE(offer.has_value(), elapsed >= 0);
    if (!offer)
        return;
    QCOMPARE(offer->elapsed, elapsed);
    // The carried count goes on from there on this boot's clock, or stays there while paused.
    const bool isPaused = saved.pauseBeganBoot >= 0;
    QVERIFY(offer->count.bootId == bootId && (offer->count.pauseBeganBoot >= 0) == isPaused);
    QVERIFY(offer->count.pauseBeganBoot <= bootNow);
    QCOMPARE(countSecondsAt(offer->count, bootNow + 10), elapsed + (isPaused ? 0 : 10));
}

void TestCountRecord::savedCountRoundTrip()
{
    // Values of every awkward kind: no short decimal form, negative instants of a count carried over a reboot.
    const CountSnapshot awkward = with(running(), [](auto& c) {
        paused(c);
        c.bootId = u"0f5c2e5a-7d1b-4c3e-9a8b-2f6d1e0c4b7a"_s, c.startBoot = -1234.000001, c.pausedSeconds = 0.1 + 0.2;
        c.adjustSeconds = -1.0 / 3.0, c.times = {2.5, 1e-7, 0}, c.rehearsal = c.ended = c.used = true;
    });
    const Room room{true, u"HDMI-1 ü"_s, true, 65535};
    for (const SavedCount& saved : {SavedCount{running(), false, {}, {}}, SavedCount{awkward, true, "1,2", room}}) {
        const QByteArray bytes = savedCountBytes(saved);
        QCOMPARE(savedCountFromBytes(bytes), saved);
        // Cut short anywhere before its last line end, as by a full disk under a save in place, it reads as nothing.
        for (qsizetype size = 0; size < bytes.size() - 1; ++size)
            QVERIFY2(!savedCountFromBytes(bytes.left(size)), bytes.left(size).constData());
    }
}

void TestCountRecord::brokenFilesGiveNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("read");

    const QByteArray good = savedCountBytes({with(running(), paused), true, {}, {}});
    const auto replaced = [&good](const char* from, const char* to) {
        return QByteArray(good).replace(from, to);
    };
    QTest::newRow("good") << good << true;
    QTest::newRow("an unknown key") << good + "comment=later versions\n" << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("another version") << replaced("count 1", "count 2") << false;
    QTest::newRow("a field missing") << replaced("ended=", "ende=") << false;
    QTest::newRow("a field twice") << good + "ended=0\n" << false;
    QTest::newRow("not a number") << replaced("presenEnd=600", "presenEnd=six hundred") << false;
    QTest::newRow("not finite") << replaced("presenEnd=600", "presenEnd=nan") << false;
    QTest::newRow("out of range") << replaced("presenEnd=600", "presenEnd=1e300") << false;
    QTest::newRow("a boot id with a slash") << replaced("bootId=boot", "bootId=/boot") << false;
    QTest::newRow("too large") << good + QByteArray(savedCountMaxBytes, '\n') << false;
    QTest::newRow("of an earlier version")
        << good.left(good.indexOf("startedByRestart=")) + good.mid(good.indexOf("recorded=")) << true;
    QTest::newRow("a port out of range") << replaced("servePort=0", "servePort=65536") << false;
}

void TestCountRecord::brokenFilesGiveNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, read);
    QCOMPARE(savedCountFromBytes(bytes).has_value(), read);
}

void TestCountRecord::talkLine_data()
{
    QTest::addColumn<CountSnapshot>("last");
    QTest::addColumn<double>("elapsed");
    QTest::addColumn<qint64>("endWallMs");
    QTest::addColumn<QByteArray>("tail"); // the list's end it is numbered after
    QTest::addColumn<QByteArray>("line");

    const CountSnapshot r = running();
    QTest::newRow("ended in the discussion")
        << r << 700.0 << w0 + 700000 << talkListHeader()
        << QByteArray("2026-11-30,09:53:20,10:05:00,0:10:00,0:01:40,0:00:00,0:00:00,10,5,2,1");
    QTest::newRow("skipped, then ended in a pause")
        << with(r,
                [](auto& c) {
                    paused(c);
                    c.presenEnd = 240, c.discussEnd = 540, c.times = {2.5, 5, 0.5};
                })
        << 400.0 << w0 + 430000 << QByteArray("2026-11-30,,,,,,,,,,8\r\n")
        << QByteArray("2026-11-30,09:53:20,10:00:30,0:04:00,0:02:40,0:00:00,0:00:30,2.5,5,0.5,9");
    QTest::newRow("an hour over after pauses, past midnight")
        << with(r, [](auto& c) { c.startWallMs = w0 + 14 * 3600000 - 60000, c.pausedSeconds = 65.4; }) << 4600.0
        << w0 + 14 * 3600000 + 4605400 << QByteArray("2026-11-29,x,7\r\n")
        << QByteArray("2026-11-30,23:52:20,01:10:05,0:10:00,0:05:00,1:01:40,0:01:05,10,5,2,1");
    QTest::newRow("moved on 90 s, after lines without numbers")
        << with(r, [](auto& c) { c.adjustSeconds = 90; }) << 700.0 << w0 + 610000
        << QByteArray("2026-11-29,x\r\n2026-11-30,x\r\n2026-11-30,x\r\n")
        << QByteArray("2026-11-30,09:51:50,10:03:30,0:10:00,0:01:40,0:00:00,0:00:00,10,5,2,3");
}

void TestCountRecord::talkLine()
{
    QFETCH(CountSnapshot, last);
    QFETCH(double, elapsed);
    QFETCH(qint64, endWallMs);
    QFETCH(QByteArray, tail);
    QFETCH(QByteArray, line);

    const QByteArray got = ::talkLine(last, elapsed, endWallMs, QTimeZone(9 * 3600));
    QCOMPARE(numberedTalkLine(got, tail), line + "\r\n");
    // Taken back as this talk's line, and no other.
    QVERIFY(isNumberedLine(line, got) && !isNumberedLine(line, got.chopped(1)) && !isNumberedLine(got, got));
    QVERIFY(talkListHeader().startsWith("\xEF\xBB\xBF") && talkListHeader().count(',') == line.count(','));
}

QTEST_GUILESS_MAIN(TestCountRecord)
#include "test_count_record.moc"
