#include "chime_player.h"
#include "fake_chime_device.h"

#include <QTest>

using namespace Qt::StringLiterals;

using Mode = ChimeDevice::Mode;

class TestChimePlayer : public QObject {
    Q_OBJECT
private slots:
    void reopen_data();
    void reopen();
    void ringStep_data();
    void ringStep();
    void chimesFollowOneAnother();
};

namespace {

/// Brings a fresh device into the given mode by the same commands the player would use.
void bringInto(FakeChimeDevice& device, Mode mode)
{
    if (mode != Mode::NotOpen) {
        device.setFileName(u"/sounds/old.wav"_s);
        device.open();
    }
    if (mode == Mode::Busy)
        device.play();
    QCOMPARE(device.mode(), mode);
    device.clearLog();
}

} // namespace

void TestChimePlayer::reopen_data()
{
    QTest::addColumn<Mode>("before");
    QTest::addColumn<bool>("fileOpens");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<Mode>("after");

    const QString wav = u"/sounds/bell.wav"_s;
    QTest::newRow("first open") << Mode::NotOpen << true << wav << QStringList{u"file:"_s + wav, u"open"_s}
                                << Mode::Idle;
    QTest::newRow("idle device is closed first")
        << Mode::Idle << true << wav << QStringList{u"close"_s, u"file:"_s + wav, u"open"_s} << Mode::Idle;
    QTest::newRow("sounding chime is cut")
        << Mode::Busy << true << wav << QStringList{u"close"_s, u"file:"_s + wav, u"open"_s} << Mode::Idle;
    QTest::newRow("file that cannot be opened")
        << Mode::Idle << false << wav << QStringList{u"close"_s, u"file:"_s + wav, u"open"_s} << Mode::NotOpen;
    QTest::newRow("empty path is still named")
        << Mode::NotOpen << true << QString() << QStringList{u"file:"_s, u"open"_s} << Mode::Idle;
}

void TestChimePlayer::reopen()
{
    QFETCH(Mode, before);
    QFETCH(bool, fileOpens);
    QFETCH(QString, path);
    QFETCH(QStringList, commands);
    QFETCH(Mode, after);

    FakeChimeDevice device;
    bringInto(device, before);
    if (QTest::currentTestFailed())
        return;
    device.setFileOpens(fileOpens);
    ChimePlayer player(device);
    player.reopen(path);
    QCOMPARE(device.log(), commands);
    QCOMPARE(device.fileName(), path);
    QCOMPARE(device.mode(), after);
}

void TestChimePlayer::ringStep_data()
{
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<int>("pending");
    QTest::addColumn<QStringList>("commands");
    QTest::addColumn<int>("left");

    const QStringList ring{u"prev"_s, u"play"_s};
    QTest::newRow("idle, nothing pending") << Mode::Idle << 0 << QStringList() << 0;
    QTest::newRow("idle, one pending") << Mode::Idle << 1 << ring << 0;
    QTest::newRow("idle, three pending: one at a time") << Mode::Idle << 3 << ring << 2;
    QTest::newRow("busy: the playback is not cut") << Mode::Busy << 2 << QStringList() << 2;
    QTest::newRow("never opened: chimes stay pending") << Mode::NotOpen << 1 << QStringList() << 1;
}

void TestChimePlayer::ringStep()
{
    QFETCH(Mode, mode);
    QFETCH(int, pending);
    QFETCH(QStringList, commands);
    QFETCH(int, left);

    FakeChimeDevice device;
    bringInto(device, mode);
    if (QTest::currentTestFailed())
        return;
    ChimePlayer player(device);
    const int queriesBefore = device.modeQueries();
    int chimeCount = pending;
    player.ringStep(chimeCount);
    QCOMPARE(device.log(), commands);
    QCOMPARE(chimeCount, left);
    // The device is asked on every step, pending chimes or not.
    QCOMPARE(device.modeQueries(), queriesBefore + 1);
}

void TestChimePlayer::chimesFollowOneAnother()
{
    // Three chimes, each playback lasting a few steps: every chime is a whole playback from the start of the
    // file, and the next one begins on the first step after the previous one has ended.
    FakeChimeDevice device;
    ChimePlayer player(device);
    player.reopen(u"/sounds/bell.wav"_s);
    device.clearLog();

    int chimeCount = 3;
    QList<int> startedAt;
    QList<int> endedBefore;
    int playsSeen = 0;
    for (int step = 0; step < 40; ++step) {
        if (device.mode() == Mode::Busy && step % 7 == 6) {
            device.finishPlayback();
            endedBefore.append(step);
        }
        player.ringStep(chimeCount);
        if (device.plays() != playsSeen) {
            playsSeen = device.plays();
            startedAt.append(step);
        }
    }
    QCOMPARE(startedAt, (QList<int>{0, 6, 13}));
    QCOMPARE(endedBefore, (QList<int>{6, 13, 20}));
    QCOMPARE(chimeCount, 0);
    QCOMPARE(device.log(), (QStringList{u"prev"_s, u"play"_s, u"prev"_s, u"play"_s, u"prev"_s, u"play"_s}));
}

QTEST_GUILESS_MAIN(TestChimePlayer)
#include "tst_chime_player.moc"
