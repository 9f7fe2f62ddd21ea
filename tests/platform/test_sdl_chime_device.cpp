#include "chime_output.h"
#include "platform/sdl_chime_device.h"
#include "sound_files.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <semaphore>

using namespace Qt::StringLiterals;
using Mode = ChimeDevice::Mode;
using chime_output::findCopies;
using chime_output::Output;
using chime_output::RingDriver;

char* toString(Mode mode)
{
    return qstrdup(mode == Mode::NotOpen ? "NotOpen" : mode == Mode::Idle ? "Idle" : "Busy");
}

namespace {

constexpr int wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

// The sanitizers slow everything several times over, and so does Wine, where a thread or an audio device takes
// tens of milliseconds to start on a busy machine; time bounds stretch with them.
#if defined(__SANITIZE_ADDRESS__) || defined(_WIN32)
constexpr double slowdown = 5.0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr double slowdown = 5.0;
#else
constexpr double slowdown = 1.0;
#endif
#else
constexpr double slowdown = 1.0;
#endif

/// Where SDL's disk driver writes what it plays from the next opening of an output on.
void useDiskFile(const QString& path)
{
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(path));
}

/// A folder of the test's own for its sound files and SDL's output, with SDL's disk driver writing there. Made
/// before the test's devices, it outlives them, and checks on its way out that they shut SDL's audio down.
struct Rig {
    QTemporaryDir dir;

    Rig()
    {
        qputenv("SDL_AUDIODRIVER", "disk");
        useDiskFile(diskFile());
    }
    ~Rig()
    {
        // Every device of the test is gone: SDL's audio must be shut down as often as it was started.
        QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    }
    QString diskFile() const { return dir.filePath(u"output.raw"_s); }
    QString soundFile(const QString& name) const { return dir.filePath(name); }
};

} // namespace

/// Tests the real sound device on SDL's disk driver, which writes what would be heard to a file in real time.
class TestSdlChimeDevice : public QObject {
    Q_OBJECT

private slots:
    void chimesFollowOneAnotherWhole_data();
    void chimesFollowOneAnotherWhole();
    void closeCutsTheChimeAndTheNextOpenTakesTheNewFile();
    void deviceWithoutSoundStaysSilent_data();
    void deviceWithoutSoundStaysSilent();
    void emptyNamePlaysTheBuiltInBell();
    void missingOutputReadsNotOpenUntilTheNextOpen_data();
    void missingOutputReadsNotOpenUntilTheNextOpen();
    void outputSleepsBetweenBells();
    void resetWithTheLongestFileKeepsTheCountMoving_data();
    void resetWithTheLongestFileKeepsTheCountMoving();
    void stalledFileKeepsTheCountMoving();
    void fileCopiedOverKeepsTheCountsSound();
};

void TestSdlChimeDevice::chimesFollowOneAnotherWhole_data()
{
    // Rates whose 8 ms output buffers are whole milliseconds, which SDL's disk driver needs to keep real time.
    // The lengths put the end of a chime at different points between two polls; 109 ms ends just after one.
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("sampleRate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("16-bit mono") << wav16 << 32000 << 1 << 120;
    QTest::newRow("24-bit stereo") << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 16000 << 2 << 109;
    QTest::newRow("float mono") << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 8000 << 1 << 150;
}

void TestSdlChimeDevice::chimesFollowOneAnotherWhole()
{
    QFETCH(int, format);
    QFETCH(int, sampleRate);
    QFETCH(int, channels);
    QFETCH(int, milliseconds);
    Rig rig;
    QVERIFY(rig.dir.isValid());
    const qsizetype soundFrames = qsizetype(sampleRate) * milliseconds / 1000;
    const auto sound = sound_files::pattern(soundFrames * channels);
    QVERIFY(sound_files::write(rig.soundFile(u"chime.wav"_s), format, sampleRate, channels, sound));

    SdlChimeDevice device;
    device.setFileName(rig.soundFile(u"chime.wav"_s));
    device.open();
    QTRY_COMPARE(device.mode(), Mode::Idle);
    RingDriver driver(device, 3);
    QTRY_VERIFY_WITH_TIMEOUT(driver.done(), 5000);
    QCOMPARE(driver.modesAfterPlay(), QList<Mode>(3, Mode::Busy));
    device.close();

    const Output out = findCopies(sound_files::readRaw(rig.diskFile()), sound, channels);
    QCOMPARE(out.strayFrame, -1);
    QCOMPARE(out.copies.size(), 3);
    for (const chime_output::Copy& copy : out.copies)
        QCOMPARE(copy.frames, soundFrames);
    const QList<double> gaps = chime_output::gapsMs(out, soundFrames, sampleRate);
    for (qsizetype k = 0; k < gaps.size(); ++k) {
        // One poll period and one output buffer at most; a poll that came late is the poller's delay.
        const double boundMs = std::max(110.0, driver.pollSpansMs()[k] + 10.0);
        QVERIFY2(gaps[k] < boundMs,
                 qPrintable(u"%1 ms of silence after chime %2, bound %3 ms"_s.arg(gaps[k]).arg(k + 1).arg(boundMs)));
    }
}

void TestSdlChimeDevice::closeCutsTheChimeAndTheNextOpenTakesTheNewFile()
{
    Rig rig;
    QVERIFY(rig.dir.isValid());
    const int rate = 32000;
    const auto first = sound_files::pattern(rate * 3 / 10); // 300 ms
    QVERIFY(sound_files::write(rig.soundFile(u"first.wav"_s), wav16, rate, 1, first));
    const auto second = sound_files::pattern(2 * 16000 / 10, 77); // 100 ms of stereo at 16 kHz
    QVERIFY(sound_files::write(rig.soundFile(u"second.wav"_s), wav16, 16000, 2, second));

    SdlChimeDevice device;
    device.setFileName(rig.soundFile(u"first.wav"_s));
    device.open();
    {
        RingDriver driver(device, 2);
        QTRY_COMPARE_WITH_TIMEOUT(driver.pending(), 0, 5000);
        // Let 100 ms of the second chime reach the output, then reset as a click on the window would.
        const qint64 atSecondPlay = QFileInfo(rig.diskFile()).size();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(rig.diskFile()).size() >= atSecondPlay + rate / 10 * 2, 5000);
        QCOMPARE(device.mode(), Mode::Busy);
        device.close();
    }
    QCOMPARE(device.mode(), Mode::NotOpen);
    QVERIFY(!device.isOutputOpen());
    const std::vector<std::int16_t> cut = sound_files::readRaw(rig.diskFile());
    const Output out = findCopies(cut, first, 1);
    QCOMPARE(out.strayFrame, -1);
    QCOMPARE(out.copies.size(), 2);
    QCOMPARE(out.copies[0].frames, qsizetype(first.size()));
    QVERIFY2(out.copies[1].frames < qsizetype(first.size()), "the close must cut the second chime");

    // The next count names another file: its chime plays, in its own format, and the old output stays as it was.
    const QString nextDiskFile = rig.dir.filePath(u"next.raw"_s);
    useDiskFile(nextDiskFile);
    device.setFileName(rig.soundFile(u"second.wav"_s));
    device.open();
    {
        RingDriver driver(device, 1);
        QTRY_VERIFY_WITH_TIMEOUT(driver.done(), 5000);
    }
    device.close();
    QVERIFY(sound_files::readRaw(rig.diskFile()) == cut);
    const Output next = findCopies(sound_files::readRaw(nextDiskFile), second, 2);
    QCOMPARE(next.strayFrame, -1);
    QCOMPARE(next.copies.size(), 1);
    QCOMPARE(next.copies[0].frames, qsizetype(second.size()) / 2);
}

void TestSdlChimeDevice::deviceWithoutSoundStaysSilent_data()
{
    // Which files the decoder refuses is its own test's business; here any refusal must leave the device silent.
    QTest::addColumn<QString>("name");       // null: the device is never opened
    QTest::addColumn<QByteArray>("content"); // null: no such file
    QTest::newRow("never opened") << QString() << QByteArray();
    QTest::newRow("missing file") << u"missing.wav"_s << QByteArray();
    QTest::newRow("text named .wav") << u"text.wav"_s << QByteArray("RIFF? no, a shopping list.\n");
}

void TestSdlChimeDevice::deviceWithoutSoundStaysSilent()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    Rig rig;
    QVERIFY(rig.dir.isValid());
    SdlChimeDevice device;
    if (!name.isNull()) {
        QFile file(rig.soundFile(name));
        if (!content.isNull())
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        device.setFileName(rig.soundFile(name));
        device.open();
    }
    QTRY_COMPARE(device.mode(), Mode::NotOpen);
    device.rewind();
    device.play();
    QCOMPARE(device.mode(), Mode::NotOpen);
    QVERIFY(!device.isOutputOpen());
    QVERIFY2(!QFile::exists(rig.diskFile()), "no output is opened for a device without a sound");
    device.close();
    QCOMPARE(device.mode(), Mode::NotOpen);
}

void TestSdlChimeDevice::emptyNamePlaysTheBuiltInBell()
{
    Rig rig;
    QVERIFY(rig.dir.isValid());
    SdlChimeDevice device;
    device.setFileName(QString());
    device.open();
    QCOMPARE(device.mode(), Mode::Idle);
    {
        RingDriver driver(device, 1);
        QTRY_VERIFY_WITH_TIMEOUT(driver.done(), 5000);
    }
    device.close();

    const std::vector<std::int16_t> out = sound_files::readRaw(rig.diskFile());
    const auto isSound = [](std::int16_t s) {
        return s != 0;
    };
    const auto first = std::find_if(out.cbegin(), out.cend(), isSound);
    QVERIFY2(first != out.cend(), "the bell must be heard");
    const auto last = std::find_if(out.crbegin(), out.crend(), isSound).base();
    const int rate = 48000; // the bell's own rate, which the output takes
    const double seconds = double(last - first) / rate;
    QVERIFY2(seconds > 0.9 && seconds < 1.1, qPrintable(u"the bell lasts %1 s"_s.arg(seconds)));

    const auto magnitude = [](std::int16_t s) {
        return std::abs(int(s));
    };
    int peak = 0;
    for (auto it = first; it != last; ++it)
        peak = std::max(peak, magnitude(*it));
    QVERIFY2(peak > 32768 / 4, qPrintable(u"peak %1 is too quiet to be heard over a talk"_s.arg(peak)));
    QVERIFY2(peak < 32768 * 9 / 10, qPrintable(u"peak %1 leaves no headroom against clipping"_s.arg(peak)));

    double energy = 0;
    for (auto it = first; it != first + rate / 5; ++it)
        energy += double(*it) * double(*it);
    QVERIFY2(std::sqrt(energy / (rate / 5)) > 32768 * 0.05, "the strike must be loud for the first 200 ms");

    // No click: the bell rises from silence and dies back into it.
    for (auto it = first; it != first + rate / 2000; ++it)
        QVERIFY2(magnitude(*it) < peak / 4, "the first half millisecond must be soft");
    for (auto it = last - rate / 100; it != last; ++it)
        QVERIFY2(magnitude(*it) < peak / 20, "the last 10 ms must be nearly silent");
}

void TestSdlChimeDevice::missingOutputReadsNotOpenUntilTheNextOpen_data()
{
    QTest::addColumn<QByteArray>("driver");
    QTest::addColumn<bool>("outputFileWritable");
    QTest::newRow("no such audio driver") << QByteArray("no-such-driver") << true;
    QTest::newRow("driver that cannot open its output") << QByteArray("disk") << false;
}

void TestSdlChimeDevice::missingOutputReadsNotOpenUntilTheNextOpen()
{
    QFETCH(QByteArray, driver);
    QFETCH(bool, outputFileWritable);
    Rig rig;
    QVERIFY(rig.dir.isValid());
    const auto sound = sound_files::pattern(3200);
    QVERIFY(sound_files::write(rig.soundFile(u"chime.wav"_s), wav16, 32000, 1, sound));
    qputenv("SDL_AUDIODRIVER", driver);
    if (!outputFileWritable)
        useDiskFile(rig.dir.filePath(u"no-such-folder/output.raw"_s));

    SdlChimeDevice device;
    device.setFileName(rig.soundFile(u"chime.wav"_s));
    device.open();
    QTRY_COMPARE(device.mode(), Mode::Idle); // the output is first tried at the first chime
    device.rewind();
    device.play();
    QCOMPARE(device.mode(), Mode::NotOpen);
    QVERIFY(!device.isOutputOpen());
    QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    device.rewind();
    device.play();
    QCOMPARE(device.mode(), Mode::NotOpen);

    // Once an output is there again, the next restart of the count rings.
    qputenv("SDL_AUDIODRIVER", "disk");
    useDiskFile(rig.diskFile());
    device.open();
    QTRY_COMPARE(device.mode(), Mode::Idle);
    device.rewind();
    device.play();
    QCOMPARE(device.mode(), Mode::Busy);
    QVERIFY(device.isOutputOpen());
}

void TestSdlChimeDevice::outputSleepsBetweenBells()
{
    Rig rig;
    QVERIFY(rig.dir.isValid());
    const auto sound = sound_files::pattern(3200); // 100 ms
    QVERIFY(sound_files::write(rig.soundFile(u"chime.wav"_s), wav16, 32000, 1, sound));

    SdlChimeDevice device;
    device.setFileName(rig.soundFile(u"chime.wav"_s));
    device.open();
    QTRY_COMPARE(device.mode(), Mode::Idle);
    // A count running without a bell: polled every tick, the device starts no audio at all.
    for (int tick = 0; tick < 5; ++tick)
        QCOMPARE(device.mode(), Mode::Idle);
    QVERIFY(!device.isOutputOpen());
    QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    QVERIFY(!QFile::exists(rig.diskFile()));

    bool openWhenFirstIdle = false;
    bool sawIdle = false;
    QTimer ticker;
    ticker.setInterval(100);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&] {
        const bool open = device.isOutputOpen();
        if (device.mode() == Mode::Idle && !sawIdle) {
            sawIdle = true;
            openWhenFirstIdle = open;
        }
    });
    device.rewind();
    device.play();
    QCOMPARE(device.mode(), Mode::Busy);
    ticker.start();
    QTRY_VERIFY_WITH_TIMEOUT(sawIdle, 5000);
    QVERIFY2(openWhenFirstIdle, "the output must wait for a following chime of the same phase change");
    QTRY_VERIFY_WITH_TIMEOUT(!device.isOutputOpen(), 5000);
    QCOMPARE(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    QCOMPARE(device.mode(), Mode::Idle);

    const Output out = findCopies(sound_files::readRaw(rig.diskFile()), sound, 1);
    QCOMPARE(out.copies.size(), 1);
    QCOMPARE(out.copies[0].frames, qsizetype(sound.size()));
}

void TestSdlChimeDevice::resetWithTheLongestFileKeepsTheCountMoving_data()
{
    QTest::addColumn<bool>("ringing");
    QTest::addColumn<double>("boundMs");
    QTest::newRow("between bells") << false << 50.0;
    // Closing a sounding output waits for SDL's audio thread to end (some 30 ms on the disk driver, see
    // bench_chime_device), whatever the file.
    QTest::newRow("while the bell rings") << true << 150.0;
}

void TestSdlChimeDevice::resetWithTheLongestFileKeepsTheCountMoving()
{
    // Ten minutes of 48 kHz float stereo, 230 MB: two seconds of sound and then silence, stored sparsely. A reset
    // leaves the reading to the device's own thread; the count's ticks keep coming, and the first chime sounds on
    // the tick after the reset.
    QFETCH(bool, ringing);
    QFETCH(double, boundMs);
    Rig rig;
    QVERIFY(rig.dir.isValid());
    const int rate = 48000;
    const auto head = sound_files::pattern(2 * rate);
    const QString path = rig.soundFile(u"ten-minutes.wav"_s);
    QVERIFY(sound_files::write(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, rate, 2, head));
    QVERIFY(sound_files::claimDataBytes(path, 600u * rate * 2u * 4u));
    boundMs *= slowdown;

    SdlChimeDevice device;
    QList<double> resetsMs;
    QList<double> tickGapsMs;
    QElapsedTimer sinceTick;
    int tick = 0;
    // The count's tick, stretched where the device's thread starts slowly, so that a bell asked for on one tick
    // has its output open on the next but one.
    const int tickMs = int(100 * slowdown);
    QTimer count;
    count.setTimerType(Qt::PreciseTimer);
    count.setInterval(tickMs);
    QObject::connect(&count, &QTimer::timeout, &count, [&] {
        if (sinceTick.isValid())
            tickGapsMs << double(sinceTick.nsecsElapsed()) / 1e6;
        sinceTick.start();
        ++tick;
        device.mode(); // polled on every tick, as the chime player does
        if (tick % 2 != 1)
            return;
        QVERIFY(device.isOutputOpen() == (ringing && tick > 1));
        QElapsedTimer reset;
        reset.start();
        device.close();
        device.setFileName(path);
        device.open();
        resetsMs << double(reset.nsecsElapsed()) / 1e6;
        QVERIFY(device.mode() != Mode::NotOpen);
        if (ringing) { // the first chime of the new count's first phase
            device.rewind();
            device.play();
            QCOMPARE(device.mode(), Mode::Busy);
        }
    });
    count.start();
    QTRY_VERIFY_WITH_TIMEOUT(resetsMs.size() == 4, 20000);
    count.stop();
    if (!ringing) {
        QTRY_COMPARE(device.mode(), Mode::Idle);
        device.rewind();
        device.play();
        QCOMPARE(device.mode(), Mode::Busy);
    }
    const double longestReset = *std::max_element(resetsMs.cbegin(), resetsMs.cend());
    QVERIFY2(longestReset < boundMs, qPrintable(u"a reset took %1 ms, bound %2 ms"_s.arg(longestReset).arg(boundMs)));
    const double longestGap = *std::max_element(tickGapsMs.cbegin(), tickGapsMs.cend());
    QVERIFY2(longestGap < tickMs + 2 * boundMs,
             qPrintable(u"the count stood still for %1 ms between two ticks"_s.arg(longestGap)));

    // The last chime starts at once and plays the file from its first frame: half a second of it here.
    QTRY_VERIFY_WITH_TIMEOUT(device.mode() == Mode::Busy && QFileInfo(rig.diskFile()).size() >= qint64(rate) * 2, 5000);
    QCOMPARE(device.mode(), Mode::Busy);
    device.close();
    const Output out = findCopies(sound_files::readRaw(rig.diskFile()), head, 2);
    QCOMPARE(out.strayFrame, -1);
    QCOMPARE(out.copies.size(), 1);
    // SDL may write one buffer of silence (about 10 ms) before its first call for sound.
    QVERIFY2(out.copies[0].start <= qsizetype(rate) * 25 / 1000,
             qPrintable(u"the chime started after %1 frames"_s.arg(out.copies[0].start)));
    QVERIFY(out.copies[0].frames >= qsizetype(rate) / 2);
}

void TestSdlChimeDevice::stalledFileKeepsTheCountMoving()
{
    // A file on a hung mount: opening it waits until the mount answers.
    Rig rig;
    QVERIFY(rig.dir.isValid());
    const auto sound = sound_files::pattern(3200);
    QVERIFY(sound_files::write(rig.soundFile(u"chime.wav"_s), wav16, 32000, 1, sound));
    // Each opening waits for the mount to answer; static, as the openings left behind outlive this test.
    static std::counting_semaphore<8> mountAnswers(0);
    const auto stalling = [](const QString& path, SoundDecoder::Refusal* why) {
        mountAnswers.acquire();
        return SoundDecoder::openFile(path, why);
    };
    const double boundMs = 20.0 * slowdown;
    QElapsedTimer call;
    const auto prompt = [&](auto&& operation) {
        call.start();
        operation();
        return double(call.nsecsElapsed()) / 1e6 < boundMs;
    };
    {
        // The count is reset, ticks on with a bell due, and is reset again, all while the file is not there.
        SdlChimeDevice device(SdlChimeDevice::defaultLinger, stalling);
        device.setFileName(rig.soundFile(u"chime.wav"_s));
        QVERIFY(prompt([&] { device.open(); }));
        for (int tick = 0; tick < 3; ++tick) {
            QVERIFY(prompt([&] { QCOMPARE(device.mode(), Mode::Busy); }));
            QTest::qWait(100);
        }
        QVERIFY(prompt([&] {
            device.rewind();
            device.play();
        }));
        QVERIFY(prompt([&] { device.close(); }));
        QCOMPARE(device.mode(), Mode::NotOpen);
        QVERIFY(prompt([&] {
            device.open();
            device.play();
        }));
        QVERIFY(!device.isOutputOpen());
        call.start(); // and the program ends: the device goes without waiting for the file
    }
    QVERIFY(double(call.nsecsElapsed()) / 1e6 < boundMs);

    // Once the mount answers again, a bell that was asked for while it stalled rings, whole.
    SdlChimeDevice device(SdlChimeDevice::defaultLinger, stalling);
    device.setFileName(rig.soundFile(u"chime.wav"_s));
    device.open();
    device.play();
    mountAnswers.release(3); // one for each of the three openings
    QTRY_COMPARE(device.mode(), Mode::Idle);
    QVERIFY(device.isOutputOpen());
    device.close();
    const Output out = findCopies(sound_files::readRaw(rig.diskFile()), sound, 1);
    QCOMPARE(out.copies.size(), 1);
    QCOMPARE(out.copies[0].frames, qsizetype(sound.size()));
}

void TestSdlChimeDevice::fileCopiedOverKeepsTheCountsSound()
{
    // The chimes of a count are the file as it was at the reset, whatever is written over it while the first
    // rings: neither cut short nor changed nor silenced.
    Rig rig;
    QVERIFY(rig.dir.isValid());
    const auto sound = sound_files::pattern(3 * 3200); // 300 ms
    const QString path = rig.soundFile(u"chime.wav"_s);
    QVERIFY(sound_files::write(path, wav16, 32000, 1, sound));
    SdlChimeDevice device;
    device.setFileName(path);
    device.open();
    QTRY_COMPARE(device.mode(), Mode::Idle);
    RingDriver driver(device, 3);
    QCOMPARE(driver.pending(), 2);
    QVERIFY(sound_files::write(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 16000, 2, sound_files::pattern(800, 77)));
    QTRY_VERIFY_WITH_TIMEOUT(driver.done(), 5000);
    device.close();
    const Output out = findCopies(sound_files::readRaw(rig.diskFile()), sound, 1);
    QCOMPARE(out.strayFrame, -1);
    QCOMPARE(out.copies.size(), 3);
    for (const chime_output::Copy& copy : out.copies)
        QCOMPARE(copy.frames, qsizetype(sound.size()));
}

QTEST_GUILESS_MAIN(TestSdlChimeDevice)
#include "test_sdl_chime_device.moc"
