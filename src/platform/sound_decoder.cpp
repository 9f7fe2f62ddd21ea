#include "platform/sound_decoder.h"

#include "platform/log_categories.h"
#include "platform/read_only_file.h"
#include "platform/sound_libraries.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

/// Float samples go to 16 bits this many frames at a time; the chime device asks for about 10 ms per read.
constexpr sf_count_t scratchFrames = 1024;

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

} // namespace

/// The bytes of the sound, handed to libsndfile through its virtual I/O, so that a file and bytes in memory go
/// through one and the same decoding; and libsndfile's handle on them.
struct SoundDecoder::State {
    // A file is read at the position libsndfile keeps here.
    ReadOnlyFile disk;
    ReadOnlyFile::Stamp opened; // the file when it was opened
    const unsigned char* bytes = nullptr;
    sf_count_t size = 0;
    sf_count_t offset = 0;

    SNDFILE* file = nullptr;
    const sound_libraries::Sndfile* sf = nullptr; // set with file
    int sampleRate = 0;
    int channels = 0;
    bool integer = false;
    std::vector<float> scratch;
    std::int64_t endFrame = 0;
    std::int64_t position = 0;
    bool ended = false; // a read came up short: the file ends, or breaks off, before its header said

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State()
    {
        if (file)
            sf->close(file);
    }

    static State& of(void* userData) { return *static_cast<State*>(userData); }

    static sf_count_t length(void* userData)
    {
        State& s = of(userData);
        if (!s.disk.isOpen())
            return s.size;
        ReadOnlyFile::Stamp now;
        return s.disk.stamp(now) ? sf_count_t(now.size) : 0;
    }

    static sf_count_t seek(sf_count_t offset, int whence, void* userData)
    {
        // Offsets come from the file's own header fields: any value at all, so the sum is checked.
        State& s = of(userData);
        sf_count_t base = 0;
        if (whence == SEEK_CUR)
            base = s.offset;
        else if (whence == SEEK_END)
            base = length(userData);
        else if (whence != SEEK_SET)
            return -1;
        sf_count_t target = 0;
        if (__builtin_add_overflow(base, offset, &target) || target < 0)
            return -1;
        s.offset = target;
        return s.offset;
    }

    static sf_count_t read(void* out, sf_count_t count, void* userData)
    {
        State& s = of(userData);
        if (count <= 0)
            return 0;
        if (!s.disk.isOpen()) {
            if (s.offset >= s.size)
                return 0;
            const sf_count_t n = std::min(count, s.size - s.offset);
            std::memcpy(out, s.bytes + s.offset, std::size_t(n));
            s.offset += n;
            return n;
        }
        const sf_count_t done = s.disk.readAt(s.offset, out, count);
        s.offset += done;
        return done;
    }

    static sf_count_t write(const void*, sf_count_t, void*) { return 0; }
    static sf_count_t tell(void* userData) { return of(userData).offset; }

    /// Opens the bytes from their start and checks the header against SoundLimits.
    SoundDecoder::Refusal start()
    {
        using Refusal = SoundDecoder::Refusal;
        SF_VIRTUAL_IO io{&State::length, &State::seek, &State::read, &State::write, &State::tell};
        SF_INFO info{};
        offset = 0;
        // Loaded with the first file: a count with the built-in bell never needs it.
        sf = sound_libraries::sndfile();
        if (!sf)
            return Refusal::NotSound;
        file = sf->open_virtual(&io, SFM_READ, &info, this);
        if (!file)
            return Refusal::NotSound;
        if (info.channels < 1 || info.channels > SoundLimits::maxChannels ||
            info.samplerate < SoundLimits::minSampleRate || info.samplerate > SoundLimits::maxSampleRate)
            return Refusal::OutOfBounds;
        const std::int64_t maxFrames =
            std::min(std::int64_t(SoundLimits::maxSeconds * info.samplerate), SoundLimits::maxSamples / info.channels);
        // The header's length decides before any decoding; a length the format cannot tell (SF_COUNT_MAX) ends the
        // sound at the bound instead.
        const bool lengthKnown = info.frames >= 0 && info.frames != SF_COUNT_MAX;
        if (lengthKnown && info.frames > maxFrames)
            return Refusal::TooLong;
        endFrame = lengthKnown ? info.frames : maxFrames;
        sampleRate = info.samplerate;
        channels = info.channels;
        // Integer encodings are read as 16-bit directly, which is exact down to 16 bits and several times faster
        // than going through float; everything else (float, double and the lossy codecs) is read as float and
        // limited to full scale here, because libsndfile's own float-to-16-bit reading does not scale float files.
        const int encoding = info.format & SF_FORMAT_SUBMASK;
        integer = encoding == SF_FORMAT_PCM_S8 || encoding == SF_FORMAT_PCM_U8 || encoding == SF_FORMAT_PCM_16 ||
                  encoding == SF_FORMAT_PCM_24 || encoding == SF_FORMAT_PCM_32;
        scratch.resize(integer ? 0 : std::size_t(scratchFrames) * std::size_t(channels));
        position = 0;
        ended = false;
        return Refusal::None;
    }

    std::int64_t read(std::int16_t* out, std::int64_t frames)
    {
        frames = std::min(frames, endFrame - position);
        if (ended || frames <= 0)
            return 0;
        // libsndfile's MPEG decoding may give nothing for a read that runs into a broken frame and the frames
        // before it at the next read; only a second read in a row that gives nothing is the end.
        std::int64_t got = 0;
        int emptyReads = 0;
        while (got < frames && emptyReads < 2) {
            sf_count_t n = 0;
            if (integer) {
                n = sf->readf_short(file, out + std::ptrdiff_t(got * channels), frames - got);
            } else {
                n = sf->readf_float(file, scratch.data(), std::min(frames - got, scratchFrames));
                n = std::max<sf_count_t>(n, 0);
                std::transform(scratch.cbegin(), scratch.cbegin() + std::ptrdiff_t(n * channels),
                               out + std::ptrdiff_t(got * channels), toPcm16);
            }
            n = std::max<sf_count_t>(n, 0);
            got += n;
            emptyReads = n == 0 ? emptyReads + 1 : 0;
        }
        if (got < frames)
            ended = true;
        position += got;
        return got;
    }

    bool rewind()
    {
        if (!file)
            return false;
        if (position == 0 && !ended)
            return true;
        // Read again from the header rather than seek: a fresh decoder gives the very samples of the first playing,
        // where a seek leaves some decoders (MPEG) with state from before, or with nothing more to read at all.
        // The header costs no more to read than at open(), and the sound must turn out as it did then.
        const int oldRate = sampleRate;
        const int oldChannels = channels;
        sf->close(file);
        file = nullptr;
        if (start() == SoundDecoder::Refusal::None && sampleRate == oldRate && channels == oldChannels)
            return true;
        if (file)
            sf->close(file);
        file = nullptr;
        sampleRate = oldRate; // what the output was opened for
        channels = oldChannels;
        ended = true;
        return false;
    }
};

namespace {

const char* describe(SoundDecoder::Refusal why)
{
    switch (why) {
    case SoundDecoder::Refusal::None:
        break;
    case SoundDecoder::Refusal::Missing:
        return "no such file";
    case SoundDecoder::Refusal::Unreadable:
        return "not an ordinary readable file";
    case SoundDecoder::Refusal::NotSound:
        return "no sound that can be read";
    case SoundDecoder::Refusal::TooLong:
        return "too long";
    case SoundDecoder::Refusal::OutOfBounds:
        return "channels or sample rate out of bounds";
    }
    return "";
}

std::unique_ptr<SoundDecoder> refuse(const QString& path, SoundDecoder::Refusal reason, SoundDecoder::Refusal* why)
{
    qCWarning(lcSound, "sound file refused: %s: %s", qUtf8Printable(path), describe(reason));
    if (why)
        *why = reason;
    return nullptr;
}

} // namespace

std::unique_ptr<SoundDecoder> SoundDecoder::openFile(const QString& path, Refusal* why)
{
    if (why)
        *why = Refusal::None;
    if (path.isEmpty())
        return refuse(path, Refusal::Missing, why);
    auto state = std::make_unique<State>();
    switch (state->disk.open(path)) {
    case ReadOnlyFile::Failure::None:
        break;
    case ReadOnlyFile::Failure::Missing:
        return refuse(path, Refusal::Missing, why);
    case ReadOnlyFile::Failure::Unreadable:
        return refuse(path, Refusal::Unreadable, why);
    }
    if (!state->disk.stamp(state->opened))
        return refuse(path, Refusal::Unreadable, why);
    Refusal reason = Refusal::None;
    auto decoder = open(std::move(state), &reason);
    if (!decoder)
        return refuse(path, reason, why);
    return decoder;
}

std::unique_ptr<SoundDecoder> SoundDecoder::openBytes(const void* data, std::size_t size)
{
    auto state = std::make_unique<State>();
    state->bytes = static_cast<const unsigned char*>(data);
    state->size = sf_count_t(size);
    return open(std::move(state), nullptr);
}

std::unique_ptr<SoundDecoder> SoundDecoder::open(std::unique_ptr<State> state, Refusal* why)
{
    const Refusal reason = state->start();
    if (reason != Refusal::None) {
        if (why)
            *why = reason;
        return nullptr;
    }
    // A sound without a single frame is refused here, so that the device never opens an output for nothing.
    std::int16_t first[SoundLimits::maxChannels];
    if (state->read(first, 1) != 1 || !state->rewind()) {
        if (why)
            *why = Refusal::NotSound;
        return nullptr;
    }
    return std::unique_ptr<SoundDecoder>(new SoundDecoder(std::move(state)));
}

SoundDecoder::SoundDecoder(std::unique_ptr<State> state) : m_state(std::move(state)) {}

SoundDecoder::~SoundDecoder() = default;

int SoundDecoder::sampleRate() const
{
    return m_state->sampleRate;
}

int SoundDecoder::channels() const
{
    return m_state->channels;
}

std::int64_t SoundDecoder::read(std::int16_t* out, std::int64_t frames)
{
    return m_state->read(out, frames);
}

bool SoundDecoder::atEnd() const
{
    return m_state->ended || m_state->position >= m_state->endFrame;
}

std::int64_t SoundDecoder::frames() const
{
    return m_state->endFrame;
}

bool SoundDecoder::unchanged() const
{
    if (!m_state->disk.isOpen())
        return true;
    ReadOnlyFile::Stamp now;
    return m_state->disk.stamp(now) && now == m_state->opened;
}

bool SoundDecoder::rewind()
{
    return m_state->rewind();
}
