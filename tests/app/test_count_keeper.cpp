#include "app/count_keeper.h"
#include "fake_clock.h"
#include "fake_dialogs.h"
#include "fake_file_access.h"
#include "fake_file_writer.h"
#include "fake_wall_clock.h"
#include "timing/resume_offer.h"
#include "timing/talk_line.h"

#include <QTest>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(CountSnapshot)

namespace {

const CountLocation where{u"/state/Lectern.count"_s, u"/data/talks.csv"_s};

// 700 s into a 10 + 5 minute talk by the fake clocks, last saved 600 s in.
CountSnapshot crashed(const FakeClock& boot, const FakeWallClock& wall)
{
    CountSnapshot c;
    c.bootId = wall.bootId();
    c.startBoot = boot.now() - 700;
    c.startWallMs = wall.nowMs() - 700000;
    c.presenEnd = 600;
    c.discussEnd = 900;
    c.times = {10, 5, 2};
    c.savedWallMs = c.startWallMs + 600000;
    return c;
}

} // namespace

class TestCountKeeper : public QObject {
    Q_OBJECT
private slots:
    void offerAtStart_data();
    void offerAtStart();
    void savesAndLists();

private:
    FakeClock m_boot;
    FakeWallClock m_wall;
};

void TestCountKeeper::offerAtStart_data()
{
    QTest::addColumn<CountSnapshot>("saved");
    QTest::addColumn<bool>("recorded"); // listed already, when its window was closed
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("resumed");
    QTest::addColumn<double>("listedAt"); // the count seconds of its line; negative for none

    const CountSnapshot c = crashed(m_boot, m_wall);
    CountSnapshot longAgo = c;
    longAgo.startBoot -= 3000, longAgo.startWallMs -= 3000000, longAgo.savedWallMs -= 3000000;
    CountSnapshot rehearsal = c;
    rehearsal.rehearsal = true;
    CountSnapshot ended = c;
    ended.ended = true;
    QTest::newRow("crashed, Yes") << c << false << true << true << true << -1.0;
    QTest::newRow("crashed, No") << c << false << false << true << false << 700.0;
    QTest::newRow("closed, No") << c << true << false << true << false << -1.0;
    QTest::newRow("crashed long ago") << longAgo << false << true << false << false << 600.0;
    QTest::newRow("rehearsal") << rehearsal << false << true << false << false << -1.0;
    QTest::newRow("ended by a restart") << ended << false << true << false << false << -1.0;
}

void TestCountKeeper::offerAtStart()
{
    QFETCH(CountSnapshot, saved);
    QFETCH(bool, recorded);
    QFETCH(bool, yes);
    QFETCH(bool, asked);
    QFETCH(bool, resumed);
    QFETCH(double, listedAt);

    FakeFileAccess files;
    files.put(where.statePath, savedCountBytes({saved, recorded}));
    FakeFileWriter writer;
    FakeDialogs dialogs;
    dialogs.queueAnswer(yes);
    CountKeeper keeper(files, writer, dialogs, m_boot, m_wall, where);
    std::optional<CountSnapshot> resumedWith;
    connect(&keeper, &CountKeeper::resumeRequested, this, [&](const CountSnapshot& c) { resumedWith = c; });
    keeper.load();
    // The fresh count's first save does not hide the one loaded.
    keeper.countChanged(CountSnapshot{});
    keeper.offerResume();

    QCOMPARE(dialogs.shown().size(), int(asked));
    if (asked)
        QCOMPARE(dialogs.shown().constFirst().text, resumeQuestion(700));
    QCOMPARE(resumedWith.has_value(), resumed);
    if (resumedWith)
        QCOMPARE(countSecondsAt(*resumedWith, m_boot.now()), 700.0);
    const qint64 endWallMs = asked ? m_wall.nowMs() : saved.savedWallMs;
    QCOMPARE(writer.lines(where.talksPath),
             listedAt < 0 ? QList<QByteArray>{} : QList{talkLine(saved, listedAt, endWallMs)});
}

void TestCountKeeper::savesAndLists()
{
    FakeFileAccess files;
    FakeFileWriter writer;
    FakeDialogs dialogs;
    CountKeeper keeper(files, writer, dialogs, m_boot, m_wall, where);
    CountSnapshot c = crashed(m_boot, m_wall);
    keeper.countChanged(c);
    c.savedWallMs = m_wall.nowMs();
    QCOMPARE(savedCountFromBytes(writer.file(where.statePath)), SavedCount({c, false}));

    keeper.countEnded(c, 700, m_wall.nowMs());
    QCOMPARE(writer.lines(where.talksPath), QList{talkLine(c, 700, m_wall.nowMs())});
    QCOMPARE(savedCountFromBytes(writer.file(where.statePath)), SavedCount({c, true}));

    c.rehearsal = true;
    keeper.countEnded(c, 700, m_wall.nowMs());
    QCOMPARE(writer.lines(where.talksPath).size(), 1);
}

QTEST_GUILESS_MAIN(TestCountKeeper)
#include "test_count_keeper.moc"
