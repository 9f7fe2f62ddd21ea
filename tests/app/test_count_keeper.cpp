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
    QTest::addColumn<bool>("rehearsal");
    QTest::addColumn<bool>("closed"); // else the program crashed
    QTest::addColumn<double>("reopenedAt");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<double>("listedAt"); // the count seconds the next start lists it at; negative for none

    QTest::newRow("crashed, Yes") << false << false << 700.0 << true << true << -1.0;
    QTest::newRow("crashed, No: listed at the refusal") << false << false << 700.0 << false << true << 720.0;
    QTest::newRow("closed, No: listed at the close") << false << true << 700.0 << false << true << -1.0;
    QTest::newRow("crashed long ago: listed at its last save") << false << false << 3700.0 << true << false << 600.0;
    QTest::newRow("rehearsal") << true << true << 700.0 << true << false << -1.0;
}

void TestCountKeeper::nextStart()
{
    QFETCH(bool, rehearsal);
    QFETCH(bool, closed);
    QFETCH(double, reopenedAt);
    QFETCH(bool, yes);
    QFETCH(bool, asked);
    QFETCH(double, listedAt);

    const CountLocation where{u"/state/Lectern.count"_s, u"/data/talks.csv"_s};
    FakeClock boot;
    FakeWallClock wall;
    FakeFileAccess files;
    FakeDialogs dialogs;
    dialogs.queueAnswer(yes);
    CountSnapshot count;
    count.bootId = wall.bootId(), count.startBoot = boot.now(), count.startWallMs = wall.nowMs();
    count.presenEnd = 600, count.discussEnd = 900, count.times = {10, 5, 2}, count.rehearsal = rehearsal;
    // The discussion begins and is saved; then the window is closed, or the program crashes.
    boot.advance(600), wall.advance(600);
    const qint64 savedWallMs = wall.nowMs();
    QByteArray lines = talkListHeader();
    {
        CountKeeper run(files, files, dialogs, boot, wall, where);
        run.countChanged(count);
        if (closed)
            run.countEnded(count, 600, savedWallMs);
        if (closed && !rehearsal)
            lines += talkLine(count, 600, savedWallMs);
    }
    boot.advance(reopenedAt - 600), wall.advance(reopenedAt - 600);

    CountKeeper next(files, files, dialogs, boot, wall, where);
    std::optional<CountSnapshot> resumed;
    connect(&next, &CountKeeper::resumeRequested, this, [&](const CountSnapshot& c) { resumed = c; });
    // The chair takes 20 s to answer.
    dialogs.whileAsked = [&] {
        boot.advance(20), wall.advance(20);
    };
    next.load();
    next.countChanged(CountSnapshot{}); // the fresh count's first save hides nothing loaded
    next.offerResume();
    QCOMPARE(dialogs.shown().size(), int(asked));
    if (asked)
        QCOMPARE(dialogs.shown().constFirst().text, u"前回のカウントを再開しますか？\n経過時間 11分40秒"_s);
    QCOMPARE(resumed.has_value(), asked && yes);
    if (resumed)
        QCOMPARE(countSecondsAt(*resumed, boot.now()), reopenedAt + 20);
    if (listedAt >= 0)
        lines += talkLine(count, listedAt, asked ? wall.nowMs() : savedWallMs);
    QCOMPARE(files.get(where.talksPath).value_or(talkListHeader()), lines);
}

QTEST_GUILESS_MAIN(TestCountKeeper)
#include "test_count_keeper.moc"
