#include "fake_clock.h"
#include "fake_dialogs.h"
#include "fake_file_access.h"
#include "fake_wall_clock.h"
#include "timing/count_keeper.h"
#include "timing/count_seconds.h"
#include "timing/resume_offer.h"
#include "timing/talk_line.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestCountKeeper : public QObject {
    Q_OBJECT
private slots:
    void nextStart_data();
    void nextStart();
};

void TestCountKeeper::nextStart_data()
{
    QTest::addColumn<QString>("kind"); // "talk" (started by a restart), "alone" (the program's first), "rehearsal"
    QTest::addColumn<bool>("closed");  // else the program crashed
    QTest::addColumn<double>("reopenedAt");
    QTest::addColumn<int>("answer"); // 1 Yes, 0 No, -1 none (the program ended under the question)
    QTest::addColumn<bool>("asked");
    QTest::addColumn<double>("listedAt"); // the count seconds the next start lists it at; negative for none

    QTest::newRow("crashed, Yes") << u"talk"_s << false << 700.0 << 1 << true << -1.0;
    QTest::newRow("crashed, No: listed at the refusal") << u"talk"_s << false << 700.0 << 0 << true << 720.0;
    QTest::newRow("closed, No: listed at the close") << u"talk"_s << true << 700.0 << 0 << true << -1.0;
    QTest::newRow("closed, Yes: listed once, at the end") << u"talk"_s << true << 700.0 << 1 << true << -1.0;
    QTest::newRow("closed, no answer: all kept") << u"talk"_s << true << 700.0 << -1 << true << -1.0;
    QTest::newRow("crashed long ago: listed at its last save") << u"talk"_s << false << 3700.0 << 1 << false << 600.0;
    QTest::newRow("rehearsal") << u"rehearsal"_s << true << 700.0 << 1 << false << -1.0;
    QTest::newRow("left alone: no line, no question") << u"alone"_s << true << 300.0 << 1 << false << -1.0;
}

void TestCountKeeper::nextStart()
{
    QFETCH(QString, kind);
    QFETCH(bool, closed);
    QFETCH(double, reopenedAt);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(double, listedAt);

    const CountLocation where{u"/state/Lectern.count"_s, u"/data/talks.csv"_s};
    FakeClock boot;
    FakeWallClock wall;
    FakeFileAccess files;
    FakeFileAccess list; // written apart from the count's file
    FakeDialogs dialogs;
    dialogs.queueAnswer(answer < 0 ? std::nullopt : std::optional(answer == 1));
    CountSnapshot count;
    count.bootId = wall.bootId(), count.startBoot = boot.now(), count.startWallMs = wall.nowMs();
    count.presenEnd = 600, count.discussEnd = 900, count.times = {10, 5, 2}, count.rehearsal = kind == u"rehearsal"_s;
    count.startedByRestart = kind == u"talk"_s;
    // The discussion begins (the program's own count: 200 s in, before its warning) and is saved with the room; then
    // the window is closed, or the program crashes.
    const double savedAt = kind == u"alone"_s ? 200 : 600;
    boot.advance(savedAt), wall.advance(savedAt);
    const qint64 savedWallMs = wall.nowMs();
    const Room room{true, u"HDMI-1"_s, true, 8481};
    QByteArray lines = talkListHeader();
    {
        CountKeeper run(files, files, list, dialogs, boot, wall, where);
        run.countChanged(count);
        run.roomChanged(room);
        if (closed)
            run.countEnded(count, savedAt, savedWallMs);
        if (closed && kind == u"talk"_s && answer != 1)
            lines += numberedTalkLine(talkLine(count, savedAt, savedWallMs), {});
    }
    const std::optional<QByteArray> before = files.get(where.statePath);
    boot.advance(reopenedAt - savedAt), wall.advance(reopenedAt - savedAt);

    CountKeeper next(files, files, list, dialogs, boot, wall, where);
    std::optional<CountSnapshot> resumed;
    std::optional<Room> roomBack;
    connect(&next, &CountKeeper::resumeRequested, this, [&](const CountSnapshot& c) { resumed = c; });
    connect(&next, &CountKeeper::roomRequested, this, [&](const Room& r) { roomBack = r; });
    // The chair takes 20 s to answer; the fresh count's saves meanwhile keep the offered count in its file.
    dialogs.whileAsked = [&] {
        next.countChanged(CountSnapshot{});
        QCOMPARE(files.get(where.statePath), before);
        boot.advance(20), wall.advance(20);
    };
    next.load();
    next.countChanged(CountSnapshot{});
    next.offerResume();
    if (answer < 0)
        next.countEnded(CountSnapshot{}, 100, wall.nowMs()); // and the program ends
    QCOMPARE(dialogs.shown().size(), int(asked));
    if (asked)
        QCOMPARE(dialogs.shown().constFirst().text, u"前回のカウントを再開しますか？\n経過時間 11分40秒"_s);
    QCOMPARE(resumed.has_value(), asked && answer == 1);
    QCOMPARE(roomBack, resumed ? std::optional(room) : std::nullopt);
    QCOMPARE(files.get(where.statePath) == before, answer < 0);
    if (resumed) {
        QCOMPARE(countSecondsAt(*resumed, boot.now()), reopenedAt + 20);
        next.countEnded(*resumed, 800, wall.nowMs());
        lines += numberedTalkLine(talkLine(*resumed, 800, wall.nowMs()), {});
    }
    if (listedAt >= 0)
        lines += numberedTalkLine(talkLine(count, listedAt, asked ? wall.nowMs() : savedWallMs), {});
    QCOMPARE(list.get(where.talksPath).value_or(talkListHeader()), lines);
}

QTEST_GUILESS_MAIN(TestCountKeeper)
#include "test_count_keeper.moc"
