#include "platform/sound_decoder.h"

#include "platform/log_categories.h"

#include <QFile>

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// Closes the descriptor on every way out of the decoder.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};

constexpr sf_count_t chunkFrames = 65536;

std::int16_t toPcm16(float value)
{
    // Float files may hold values beyond full scale, infinities and NaN; none of them may reach the integer
    // conversion, which is undefined outside the target range.
    if (std::isnan(value))
        return 0;
    const float scaled = value * 32768.0f;
    if (scaled >= 32767.0f)
        return 32767;
    if (scaled <= -32768.0f)
        return -32768;
    return static_cast<std::int16_t>(std::lrint(scaled));
}

/// Nothing, with the reason a file was refused for the developer.
std::optional<PcmSound> refuse(const QString& path, const char* reason)
{
    qCWarning(lcSound, "sound file refused: %s: %s", qUtf8Printable(path), reason);
    return std::nullopt;
}

} // namespace

std::optional<PcmSound> decodeSoundFile(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;

    // Without O_NONBLOCK, opening a FIFO would wait for a writer and freeze the restart of the count.
    const FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return refuse(path, std::strerror(errno));
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return refuse(path, "not an ordinary file");

    SF_INFO info{};
    const std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open_fd(fd.get(), SFM_READ, &info, SF_FALSE));
    if (!file)
        return refuse(path, sf_strerror(nullptr));
    if (info.channels < 1 || info.channels > SoundLimits::maxChannels || info.samplerate < SoundLimits::minSampleRate ||
        info.samplerate > SoundLimits::maxSampleRate)
        return refuse(path, "channels or sample rate out of bounds");

    const std::int64_t maxFrames =
        std::min(std::int64_t(SoundLimits::maxSeconds * info.samplerate), SoundLimits::maxSamples / info.channels);
    // The header's length decides before any decoding; a length the format cannot tell (SF_COUNT_MAX) is
    // held to the same bound while decoding instead.
    const bool lengthKnown = info.frames >= 0 && info.frames != SF_COUNT_MAX;
    if (lengthKnown && info.frames > maxFrames)
        return refuse(path, "too long");

    PcmSound sound;
    sound.sampleRate = info.samplerate;
    sound.channels = info.channels;
    if (lengthKnown) // with room for the one chunk read past the end
        sound.samples.reserve(std::size_t(info.frames + chunkFrames) * std::size_t(info.channels));

    // Integer encodings are read as 16-bit directly, which is exact down to 16 bits and several times faster than
    // going through float; everything else (float, double and the lossy codecs) is read as float and limited to
    // full scale here, because libsndfile's own float-to-16-bit reading does not scale float files.
    const int encoding = info.format & SF_FORMAT_SUBMASK;
    const bool integer = encoding == SF_FORMAT_PCM_S8 || encoding == SF_FORMAT_PCM_U8 || encoding == SF_FORMAT_PCM_16 ||
                         encoding == SF_FORMAT_PCM_24 || encoding == SF_FORMAT_PCM_32;
    std::vector<float> chunk(integer ? 0 : std::size_t(chunkFrames) * std::size_t(info.channels));
    for (;;) {
        const std::size_t start = sound.samples.size();
        sound.samples.resize(start + std::size_t(chunkFrames) * std::size_t(info.channels));
        sf_count_t got = 0;
        if (integer) {
            got = sf_readf_short(file.get(), sound.samples.data() + start, chunkFrames);
        } else {
            got = sf_readf_float(file.get(), chunk.data(), chunkFrames);
            if (got > 0)
                std::transform(chunk.cbegin(), chunk.cbegin() + std::ptrdiff_t(got * info.channels),
                               sound.samples.begin() + std::ptrdiff_t(start), toPcm16);
        }
        sound.samples.resize(start + std::size_t(std::max<sf_count_t>(got, 0)) * std::size_t(info.channels));
        if (got <= 0)
            break;
        if (sound.frames() > maxFrames)
            return refuse(path, "too long");
    }
    if (sound.samples.empty())
        return refuse(path, "no sound in it");
    if (sound.samples.capacity() > 2 * sound.samples.size())
        sound.samples.shrink_to_fit();
    return sound;
}
