// Figures of the real sound device: how long open() holds up the restart of a count, how soon after it the file
// can ring and how much memory an open file holds, how long the first play() of a phase change takes on the
// user-interface thread, how soon a close() silences a sounding bell, and how much silence lies between the chimes of
// one phase change. Run by hand:  SDL_AUDIODRIVER=disk bench_chime_device

#include "chime_output.h"
#include "platform/sdl_chime_device.h"
#include "sound_files.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

/// The process's resident memory in bytes, from /proc/self/statm.
qint64 residentBytes()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * ::sysconf(_SC_PAGESIZE) : -1;
}

} // namespace

class BenchChimeDevice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void openFile_data();
    void openFile();
    void openFileUntilIdle_data();
    void openFileUntilIdle();
    void memoryHeldByOpenFile_data();
    void memoryHeldByOpenFile();
    void openBuiltInBell();
    void firstPlay();
    void gapBetweenChimes_data();
    void gapBetweenChimes();
    void closeWhilePlaying_data();
    void closeWhilePlaying();

private:
    QTemporaryDir m_dir;
};

void BenchChimeDevice::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(m_dir.filePath(u"output.raw"_s)));
    // A typical chime: three seconds of CD-quality stereo. And the largest file taken: ten minutes of it.
    QVERIFY(sound_files::write(m_dir.filePath(u"typical.wav"_s), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                               sound_files::pattern(3 * 44100 * 2)));
    QVERIFY(sound_files::write(m_dir.filePath(u"ten-minutes.wav"_s), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                               sound_files::pattern(600 * 44100 * 2)));
    QVERIFY(sound_files::write(m_dir.filePath(u"ten-minutes-float.wav"_s), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 48000, 2,
                               sound_files::pattern(600 * 48000 * 2)));
    QVERIFY(sound_files::write(m_dir.filePath(u"too-long.wav"_s), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2,
                               sound_files::pattern(601 * 44100 * 2)));
}

void BenchChimeDevice::openFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("3 s, 44.1 kHz stereo 16-bit") << u"typical.wav"_s;
    QTest::newRow("10 min, the longest taken") << u"ten-minutes.wav"_s;
    QTest::newRow("10 min, 48 kHz stereo float") << u"ten-minutes-float.wav"_s;
    QTest::newRow("10 min 1 s, refused") << u"too-long.wav"_s;
}

void BenchChimeDevice::openFile()
{
    QFETCH(QString, name);
    SdlChimeDevice device;
    device.setFileName(m_dir.filePath(name));
    QBENCHMARK
    {
        device.open();
    }
    QTRY_VERIFY(device.mode() != ChimeDevice::Mode::Busy);
}

void BenchChimeDevice::openFileUntilIdle_data()
{
    openFile_data();
}

void BenchChimeDevice::openFileUntilIdle()
{
    // The file is read on the device's own thread: from open() until the device can ring (or has refused it).
    QFETCH(QString, name);
    SdlChimeDevice device;
    device.setFileName(m_dir.filePath(name));
    QElapsedTimer timer;
    timer.start();
    device.open();
    while (device.mode() == ChimeDevice::Mode::Busy)
        QThread::usleep(200);
    QTest::setBenchmarkResult(double(timer.nsecsElapsed()) / 1e6, QTest::WalltimeMilliseconds);
}

void BenchChimeDevice::memoryHeldByOpenFile_data()
{
    openFile_data();
}

void BenchChimeDevice::memoryHeldByOpenFile()
{
    // What the program holds in addition while a chime file is open, between bells and while one rings: the
    // resident memory after open(), and after a second of playing, less the resident memory before.
    QFETCH(QString, name);
    SdlChimeDevice device;
    device.setFileName(m_dir.filePath(name));
    const qint64 before = residentBytes();
    device.open();
    QTRY_VERIFY(device.mode() != ChimeDevice::Mode::Busy);
    QTest::qWait(1000); // the held start of the sound is read in the background
    const qint64 opened = residentBytes();
    device.rewind();
    device.play();
    if (device.mode() == ChimeDevice::Mode::Busy)
        QTest::qWait(1000);
    const qint64 playing = residentBytes();
    device.close();
    QVERIFY(before > 0);
    qInfo("RSS before open %.1f MB, after open %.1f MB, after 1 s of playing %.1f MB", double(before) / 1e6,
          double(opened) / 1e6, double(playing) / 1e6);
    QTest::setBenchmarkResult(double(std::max(opened, playing) - before), QTest::BytesAllocated);
}

void BenchChimeDevice::openBuiltInBell()
{
    SdlChimeDevice device;
    device.setFileName(QString());
    QBENCHMARK
    {
        device.open();
    }
    QCOMPARE(device.mode(), ChimeDevice::Mode::Idle);
}

void BenchChimeDevice::firstPlay()
{
    // Starting SDL's audio and opening its output happen here, on the user-interface thread.
    SdlChimeDevice device;
    device.setFileName(m_dir.filePath(u"typical.wav"_s));
    device.open();
    QTRY_COMPARE(device.mode(), ChimeDevice::Mode::Idle);
    QElapsedTimer timer;
    timer.start();
    device.play();
    QTest::setBenchmarkResult(double(timer.nsecsElapsed()) / 1e6, QTest::WalltimeMilliseconds);
    QCOMPARE(device.mode(), ChimeDevice::Mode::Busy);
}

void BenchChimeDevice::gapBetweenChimes_data()
{
    QTest::addColumn<int>("milliseconds");
    // The longest gap comes when a chime ends just after a poll; the lengths move the end across a poll period.
    for (int ms = 95; ms <= 185; ms += 6)
        QTest::addRow("%d ms chime", ms) << ms;
}

void BenchChimeDevice::gapBetweenChimes()
{
    // The largest silence, in milliseconds of sound, between three chimes rung as the chime player rings them.
    QFETCH(int, milliseconds);
    const int rate = 32000;
    const auto sound = sound_files::pattern(qsizetype(rate) * milliseconds / 1000);
    const QString chime = m_dir.filePath(u"gap.wav"_s);
    QVERIFY(sound_files::write(chime, SF_FORMAT_WAV | SF_FORMAT_PCM_16, rate, 1, sound));
    SdlChimeDevice device;
    device.setFileName(chime);
    device.open();
    chime_output::RingDriver driver(device, 3);
    QTRY_VERIFY_WITH_TIMEOUT(driver.done(), 5000);
    device.close();
    const auto out = chime_output::findCopies(sound_files::readRaw(m_dir.filePath(u"output.raw"_s)), sound, 1);
    QCOMPARE(out.copies.size(), 3);
    const QList<double> gaps = chime_output::gapsMs(out, qsizetype(sound.size()), rate);
    QTest::setBenchmarkResult(*std::max_element(gaps.cbegin(), gaps.cend()), QTest::WalltimeMilliseconds);
}

void BenchChimeDevice::closeWhilePlaying_data()
{
    QTest::addColumn<bool>("soundAfterClose");
    QTest::newRow("time until close() returns") << false;
    QTest::newRow("sound written after close() was called") << true;
}

void BenchChimeDevice::closeWhilePlaying()
{
    // When close() returns SDL's audio thread has ended, so nothing reaches the output after that. On the disk
    // driver, which writes in real time from the play(), the sound written beyond the moment of the close shows
    // how soon the bell falls silent.
    QFETCH(bool, soundAfterClose);
    const QString output = m_dir.filePath(u"output.raw"_s);
    SdlChimeDevice device;
    device.setFileName(m_dir.filePath(u"typical.wav"_s));
    device.open();
    QTRY_COMPARE(device.mode(), ChimeDevice::Mode::Idle);
    QElapsedTimer sincePlay;
    sincePlay.start();
    device.play();
    QTRY_VERIFY(QFileInfo(output).size() > 44100 * 4 / 2);
    const qint64 closeCalled = sincePlay.nsecsElapsed();
    device.close();
    const qint64 closeReturned = sincePlay.nsecsElapsed();
    QVERIFY(!device.isOutputOpen());
    const double writtenMs = 1000.0 * double(QFileInfo(output).size()) / (44100 * 4);
    QTest::setBenchmarkResult(soundAfterClose ? writtenMs - double(closeCalled) / 1e6
                                              : double(closeReturned - closeCalled) / 1e6,
                              QTest::WalltimeMilliseconds);
}

QTEST_GUILESS_MAIN(BenchChimeDevice)
#include "bench_chime_device.moc"
