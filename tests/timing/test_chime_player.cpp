#include "fake_chime_device.h"
#include "timing/chime_player.h"

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
};

namespace {

/// Brings a fresh device into the given mode by the same commands the player would use; returns the mode reached.
Mode bringInto(FakeChimeDevice& device, Mode mode)
{
    if (mode != Mode::NotOpen) {
        device.setFileName(u"/sounds/old.wav"_s);
        device.open();
    }
    if (mode == Mode::Busy)
        device.play();
    device.clearLog();
    return device.mode();
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
    QCOMPARE(bringInto(device, before), before);
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
    QCOMPARE(bringInto(device, mode), mode);
    ChimePlayer player(device);
    const int queriesBefore = device.modeQueries();
    int chimeCount = pending;
    player.ringStep(chimeCount);
    QCOMPARE(device.log(), commands);
    QCOMPARE(chimeCount, left);
    // The device is asked on every step, pending chimes or not.
    QCOMPARE(device.modeQueries(), queriesBefore + 1);
}

QTEST_GUILESS_MAIN(TestChimePlayer)
#include "test_chime_player.moc"
