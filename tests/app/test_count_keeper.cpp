#include "app/count_keeper.h"
#include "fake_clock.h"
#include "fake_dialogs.h"
#include "fake_file_access.h"
#include "fake_wall_clock.h"
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
    QTest::addColumn<int>("answer"); // 1 Yes, 0 No, -1 closed unanswered
    QTest::addColumn<bool>("asked");
    QTest::addColumn<double>("listedAt"); // the count seconds the next start lists it at; negative for none

    QTest::newRow("crashed, Yes") << u"talk"_s << false << 700.0 << 1 << true << -1.0;
    QTest::newRow("crashed, No: listed at the refusal") << u"talk"_s << false << 700.0 << 0 << true << 720.0;
    QTest::newRow("closed, No: listed at the close") << u"talk"_s << true << 700.0 << 0 << true << -1.0;
    QTest::newRow("closed, Yes: its line taken back") << u"talk"_s << true << 700.0 << 1 << true << -1.0;
    QTest::newRow("crashed long ago: listed at its last save") << u"talk"_s << false << 3700.0 << 1 << false << 600.0;
    QTest::newRow("rehearsal") << u"rehearsal"_s << true << 700.0 << 1 << false << -1.0;
    QTest::newRow("left alone, crashed: no question, no line") << u"alone"_s << false << 300.0 << 1 << false << -1.0;
    QTest::newRow("left alone, closed: no line") << u"alone"_s << true << 300.0 << 1 << false << -1.0;
    QTest::newRow("crashed, unanswered: all kept") << u"talk"_s << false << 700.0 << -1 << true << -1.0;
    QTest::newRow("closed, unanswered: all kept") << u"talk"_s << true << 700.0 << -1 << true << -1.0;
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
    FakeFileAccess lists; // the list's writer, apart from the count's
    FakeDialogs dialogs;
    if (answer < 0)
        dialogs.leaveUnanswered();
    else
        dialogs.queueAnswer(answer == 1);
    CountSnapshot count;
    count.bootId = wall.bootId(), count.startBoot = boot.now(), count.startWallMs = wall.nowMs();
    count.presenEnd = 600, count.discussEnd = 900, count.times = {10, 5, 2};
    count.rehearsal = kind == u"rehearsal"_s, count.startedByRestart = kind == u"talk"_s;
    // A talk enters the discussion and is saved; the program's own count is saved once, when it starts. Then the
    // window is closed, or the program crashes.
    const double savedAt = kind == u"alone"_s ? 0.0 : 600.0;
    const double closedAt = kind == u"alone"_s ? 200.0 : 600.0;
    const Room room{true, u"HDMI-1"_s, true, 8481};
    QByteArray lines = talkListHeader();
    {
        CountKeeper run(files, files, lists, dialogs, boot, wall, where);
        boot.advance(savedAt), wall.advance(savedAt);
        run.countChanged(count);
        run.roomChanged(room);
        boot.advance(closedAt - savedAt), wall.advance(closedAt - savedAt);
        if (closed)
            run.countEnded(count, closedAt, wall.nowMs());
        if (closed && kind == u"talk"_s)
            lines += numberedTalkLine(talkLine(count, closedAt, wall.nowMs()), {});
    }
    const qint64 closedWallMs = wall.nowMs();
    const std::optional<QByteArray> before = files.get(where.statePath);
    QCOMPARE(lists.get(where.talksPath).value_or(talkListHeader()), lines);
    boot.advance(reopenedAt - closedAt), wall.advance(reopenedAt - closedAt);

    CountKeeper next(files, files, lists, dialogs, boot, wall, where);
    std::optional<CountSnapshot> resumed;
    std::optional<Room> roomBack;
    connect(&next, &CountKeeper::resumeRequested, this, [&](const CountSnapshot& c) { resumed = c; });
    connect(&next, &CountKeeper::roomRequested, this, [&](const Room& r) { roomBack = r; });
    // The chair takes 20 s to answer; meanwhile the fresh count runs and is saved, but the offered one stays.
    dialogs.whileAsked = [&] {
        next.countChanged(CountSnapshot{});
        QCOMPARE(files.get(where.statePath), before);
        boot.advance(20), wall.advance(20);
    };
    next.load();
    next.countChanged(CountSnapshot{}); // the fresh count's first save
    QCOMPARE(files.get(where.statePath), before);
    next.offerResume();
    QCOMPARE(dialogs.shown().size(), int(asked));
    if (asked)
        QCOMPARE(dialogs.shown().constFirst().text, u"前回のカウントを再開しますか？\n経過時間 11分40秒"_s);
    QCOMPARE(resumed.has_value(), asked && answer == 1);
    QCOMPARE(roomBack, resumed ? std::optional(room) : std::nullopt);
    if (answer < 0) {
        // The program ends under the question: the next start finds all as it was.
        next.countEnded(CountSnapshot{}, 100, wall.nowMs());
        QCOMPARE(files.get(where.statePath), before);
    } else if (!resumed) {
        // The fresh count's save, held while asked, is written after.
        const auto now = savedCountFromBytes(files.get(where.statePath).value_or(QByteArray()));
        QVERIFY(now && now->count.startWallMs == 0);
    }
    if (resumed) {
        // Taken up and ended at last: listed once.
        QCOMPARE(countSecondsAt(*resumed, boot.now()), reopenedAt + 20);
        next.countEnded(*resumed, reopenedAt + 80, wall.nowMs() + 60000);
        lines = talkListHeader() + numberedTalkLine(talkLine(*resumed, reopenedAt + 80, wall.nowMs() + 60000), {});
    }
    if (listedAt >= 0)
        lines += numberedTalkLine(talkLine(count, listedAt, asked ? wall.nowMs() : closedWallMs), {});
    QCOMPARE(lists.get(where.talksPath).value_or(talkListHeader()), lines);
}

QTEST_GUILESS_MAIN(TestCountKeeper)
#include "test_count_keeper.moc"
