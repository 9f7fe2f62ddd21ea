#include "platform/pcm_sound.h"
#include "platform/sound_decoder.h"
#include "sound_files.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

constexpr int wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

enum class Broken {
    Missing,
    Empty,
    TextNamedWav,
    Directory,
    Fifo,
    HeaderWithoutFrames,
    CutInsideHeader,
    Unreadable,
    NineChannels,
    RateTooLow,
    HoursClaimedByHeader,
    BeyondMemoryBound,
};

/// Reads on from the decoder's position to the end in pieces of an odd size, as an output buffer would take them.
std::vector<std::int16_t> readToEnd(SoundDecoder& decoder)
{
    const std::int64_t piece = 1500; // spans the decoder's own pieces of 1024 frames
    std::vector<std::int16_t> samples;
    std::vector<std::int16_t> buffer(std::size_t(piece * decoder.channels()));
    while (!decoder.atEnd()) {
        const std::int64_t got = decoder.read(buffer.data(), piece);
        samples.insert(samples.end(), buffer.cbegin(), buffer.cbegin() + std::ptrdiff_t(got * decoder.channels()));
        if (got == 0)
            break;
    }
    return samples;
}

/// The whole sound as the chime device plays it, or nothing when the decoder refuses the file. Every sound is
/// read twice, with a rewind between, as for the chimes of one phase change: the second must be the first.
std::optional<PcmSound> decodeSoundFile(const QString& path)
{
    const std::unique_ptr<SoundDecoder> decoder = SoundDecoder::openFile(path);
    if (!decoder)
        return std::nullopt;
    PcmSound sound{decoder->sampleRate(), decoder->channels(), readToEnd(*decoder)};
    if (!decoder->rewind() || readToEnd(*decoder) != sound.samples) {
        qWarning("the second reading differs from the first");
        return std::nullopt;
    }
    return sound;
}

} // namespace

/// Tests that every readable sound decodes to exactly its samples and that nothing unplayable gets through.
class TestSoundDecoder : public QObject {
    Q_OBJECT

private slots:
    void decodesEveryEncodingExactly_data();
    void decodesEveryEncodingExactly();
    void keepsTheFramesOfAFileCutShort_data();
    void keepsTheFramesOfAFileCutShort();
    void refusesWhatCannotBePlayed_data();
    void refusesWhatCannotBePlayed();
    void holdsTheTenMinuteBound_data();
    void holdsTheTenMinuteBound();
    void limitsFloatSamplesToFullScale();

private:
    QTemporaryDir m_dir;
};

void TestSoundDecoder::decodesEveryEncodingExactly_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("sampleRate");
    QTest::addColumn<int>("channels");
    QTest::addColumn<QString>("suffix");
    QTest::newRow("wav 16-bit mono") << wav16 << 48000 << 1 << u"wav"_s;
    QTest::newRow("wav 24-bit stereo") << (SF_FORMAT_WAV | SF_FORMAT_PCM_24) << 44100 << 2 << u"wav"_s;
    QTest::newRow("wav 32-bit") << (SF_FORMAT_WAV | SF_FORMAT_PCM_32) << 96000 << 2 << u"wav"_s;
    QTest::newRow("wav unsigned 8-bit") << (SF_FORMAT_WAV | SF_FORMAT_PCM_U8) << 8000 << 1 << u"wav"_s;
    QTest::newRow("wav float") << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 22050 << 1 << u"wav"_s;
    QTest::newRow("wav double") << (SF_FORMAT_WAV | SF_FORMAT_DOUBLE) << 32000 << 2 << u"wav"_s;
    QTest::newRow("wav 6 channels") << wav16 << 48000 << 6 << u"wav"_s;
    QTest::newRow("wave-format-extensible") << (SF_FORMAT_WAVEX | SF_FORMAT_PCM_16) << 48000 << 2 << u"wav"_s;
    QTest::newRow("big-endian RIFX") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16 | SF_ENDIAN_BIG) << 16000 << 1 << u"wav"_s;
    QTest::newRow("aiff") << (SF_FORMAT_AIFF | SF_FORMAT_PCM_16) << 44100 << 2 << u"aiff"_s;
    QTest::newRow("flac 24-bit") << (SF_FORMAT_FLAC | SF_FORMAT_PCM_24) << 48000 << 2 << u"flac"_s;
}

void TestSoundDecoder::decodesEveryEncodingExactly()
{
    QFETCH(int, format);
    QFETCH(int, sampleRate);
    QFETCH(int, channels);
    QFETCH(QString, suffix);
    SF_INFO probe{};
    probe.samplerate = sampleRate;
    probe.channels = channels;
    probe.format = format;
    if (!sf_format_check(&probe))
        QSKIP("this libsndfile cannot write the format");

    const auto samples = sound_files::pattern(std::int64_t(5000) * channels);
    const QString path = m_dir.filePath(u"sound."_s + suffix);
    QVERIFY(sound_files::write(path, format, sampleRate, channels, samples));

    const std::optional<PcmSound> sound = decodeSoundFile(path);
    QVERIFY(sound);
    QCOMPARE(sound->sampleRate, sampleRate);
    QCOMPARE(sound->channels, channels);
    QCOMPARE(sound->frames(), 5000);
    QVERIFY(sound->samples == samples);
}

void TestSoundDecoder::keepsTheFramesOfAFileCutShort_data()
{
    QTest::addColumn<int>("bytesCut");
    QTest::addColumn<int>("framesLeft");
    // 1000 frames of 16-bit stereo, 4 bytes each.
    QTest::newRow("cut at a frame boundary") << 4 * 400 << 600;
    QTest::newRow("cut inside a frame") << 4 * 400 + 3 << 599;
    QTest::newRow("one frame left") << 4 * 999 << 1;
}

void TestSoundDecoder::keepsTheFramesOfAFileCutShort()
{
    QFETCH(int, bytesCut);
    QFETCH(int, framesLeft);
    const auto samples = sound_files::pattern(2000);
    const QString path = m_dir.filePath(u"cut.wav"_s);
    QVERIFY(sound_files::write(path, wav16, 48000, 2, samples));
    QFile file(path);
    QVERIFY(file.resize(file.size() - bytesCut));

    const std::optional<PcmSound> sound = decodeSoundFile(path);
    QVERIFY(sound);
    QCOMPARE(sound->frames(), framesLeft);
    QVERIFY(std::equal(sound->samples.cbegin(), sound->samples.cend(), samples.cbegin()));
}

void TestSoundDecoder::refusesWhatCannotBePlayed_data()
{
    QTest::addColumn<Broken>("broken");
    QTest::newRow("missing") << Broken::Missing;
    QTest::newRow("empty") << Broken::Empty;
    QTest::newRow("text named .wav") << Broken::TextNamedWav;
    QTest::newRow("directory") << Broken::Directory;
    QTest::newRow("fifo, which must not block") << Broken::Fifo;
    QTest::newRow("header claiming frames that are not there") << Broken::HeaderWithoutFrames;
    QTest::newRow("cut inside the header") << Broken::CutInsideHeader;
    QTest::newRow("unreadable") << Broken::Unreadable;
    QTest::newRow("nine channels") << Broken::NineChannels;
    QTest::newRow("rate below 1 kHz") << Broken::RateTooLow;
    QTest::newRow("header claiming hours") << Broken::HoursClaimedByHeader;
    QTest::newRow("beyond the memory bound") << Broken::BeyondMemoryBound;
}

void TestSoundDecoder::refusesWhatCannotBePlayed()
{
    QFETCH(Broken, broken);
    const QTemporaryDir dir;
    const QString path = dir.filePath(u"broken.wav"_s);
    const auto samples = sound_files::pattern(1000);

    switch (broken) {
    case Broken::Missing:
        break;
    case Broken::Empty:
    case Broken::TextNamedWav: {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (broken == Broken::TextNamedWav)
            file.write("This is a note about the chime, not a chime.\n");
        break;
    }
    case Broken::Directory:
        QVERIFY(QDir(dir.path()).mkpath(u"broken.wav"_s));
        break;
    case Broken::Fifo:
#ifdef Q_OS_UNIX
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        break;
#else
        QSKIP("Named pipes live outside the file system on Windows");
#endif
    case Broken::HeaderWithoutFrames:
    case Broken::CutInsideHeader: {
        QVERIFY(sound_files::write(path, wav16, 48000, 1, samples));
        QFile file(path);
        QVERIFY(file.resize(broken == Broken::CutInsideHeader ? 20 : file.size() - 2 * 1000));
        break;
    }
    case Broken::Unreadable:
#ifdef Q_OS_UNIX
        if (::geteuid() == 0)
            QSKIP("root reads every file");
        QVERIFY(sound_files::write(path, wav16, 48000, 1, samples));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        break;
#else
        QSKIP("No permission bits deny reading on Windows");
#endif
    case Broken::NineChannels:
        QVERIFY(sound_files::write(path, wav16, 48000, 9, sound_files::pattern(900)));
        break;
    case Broken::RateTooLow:
        QVERIFY(sound_files::write(path, wav16, 500, 1, samples));
        break;
    case Broken::HoursClaimedByHeader:
        // Nearly 4 GiB of 8 kHz mono: days of sound. Decoding it before looking at its length would read and
        // hold all of it.
        QVERIFY(sound_files::write(path, wav16, 8000, 1, samples));
        QVERIFY(sound_files::claimDataBytes(path, 0xF0000000u));
        break;
    case Broken::BeyondMemoryBound:
        // One minute of 8 channels at 768 kHz: within ten minutes, but 368 million samples.
        QVERIFY(sound_files::write(path, wav16, 768000, 8, sound_files::pattern(8 * 100)));
        QVERIFY(sound_files::claimDataBytes(path, 60u * 768000u * 8u * 2u));
        break;
    }

    // The user hears nothing; a developer is told which file was refused.
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(u"^sound file refused: "_s + QRegularExpression::escape(path) + u": "_s));
    QVERIFY(!decodeSoundFile(path));
}

void TestSoundDecoder::holdsTheTenMinuteBound_data()
{
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("accepted");
    // 1 kHz keeps ten minutes down to 600 000 frames.
    QTest::newRow("exactly ten minutes") << 600000 << true;
    QTest::newRow("one frame more") << 600001 << false;
}

void TestSoundDecoder::holdsTheTenMinuteBound()
{
    QFETCH(int, frames);
    QFETCH(bool, accepted);
    const QString path = m_dir.filePath(u"long.wav"_s);
    QVERIFY(sound_files::write(path, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1000, 1, sound_files::pattern(frames)));

    const std::optional<PcmSound> sound = decodeSoundFile(path);
    QCOMPARE(bool(sound), accepted);
    if (sound)
        QCOMPARE(sound->frames(), frames);
}

void TestSoundDecoder::limitsFloatSamplesToFullScale()
{
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<float> values{0.5f, -0.25f, 1.0f, 1.5f, -1.0f, -2.0f, inf, -inf, std::nanf(""), 1e30f};
    const std::vector<std::int16_t> expected{16384, -8192, 32767, 32767, -32768, -32768, 32767, -32768, 0, 32767};
    const QString path = m_dir.filePath(u"loud.wav"_s);
    QVERIFY(sound_files::writeFloats(path, 48000, values));

    const std::optional<PcmSound> sound = decodeSoundFile(path);
    QVERIFY(sound);
    QVERIFY2(sound->samples == expected, "out-of-range floats must clip, NaN must be silent");
}

QTEST_GUILESS_MAIN(TestSoundDecoder)
#include "test_sound_decoder.moc"
