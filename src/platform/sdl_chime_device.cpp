#include "platform/sdl_chime_device.h"

#include "build_info.h"
#include "platform/log_categories.h"

#include "platform/builtin_bell.h"
#include "platform/sound_decoder.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace {

/// Holds the output's lock (the one SDL holds around every call of the fill function) for one scope.
class OutputLock {
public:
    explicit OutputLock(SDL_AudioDeviceID output) : m_output(output)
    {
        if (m_output != 0)
            SDL_LockAudioDevice(m_output);
    }
    ~OutputLock()
    {
        if (m_output != 0)
            SDL_UnlockAudioDevice(m_output);
    }
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;

private:
    SDL_AudioDeviceID m_output;
};

/// About 10 ms of sound, as a power of two as SDL prefers: a close then silences the bell within about 10 ms,
/// and the audio thread wakes no more often than needed while a chime sounds.
Uint16 bufferFrames(int sampleRate)
{
    const std::int64_t aim = std::int64_t(sampleRate) * 14142 / 1000000; // 10 ms times the square root of two
    std::int64_t frames = 64;
    while (frames * 2 <= aim && frames < 8192)
        frames *= 2;
    return Uint16(frames);
}

} // namespace

SdlChimeDevice::SdlChimeDevice(std::chrono::milliseconds linger) : m_linger(linger) {}

SdlChimeDevice::~SdlChimeDevice()
{
    closeOutput();
}

ChimeDevice::Mode SdlChimeDevice::mode()
{
    if (!m_loaded)
        return Mode::NotOpen;
    if (m_output == 0)
        return Mode::Idle;
    bool playing = false;
    {
        const OutputLock lock(m_output);
        playing = m_playing;
    }
    if (playing) {
        m_idleSince.reset();
        return Mode::Busy;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!m_idleSince)
        m_idleSince = now;
    else if (now - *m_idleSince >= m_linger)
        closeOutput();
    return Mode::Idle;
}

void SdlChimeDevice::close()
{
    closeOutput();
    release();
}

void SdlChimeDevice::release()
{
    m_loaded = false;
    m_decoder.reset();
    m_bell = PcmSound{};
    m_bellCursor = 0;
    m_playing = false;
}

void SdlChimeDevice::setFileName(const QString& path)
{
    m_fileName = path;
}

namespace {

ChimeDevice::Failure failureOf(SoundDecoder::Refusal refusal)
{
    switch (refusal) {
    case SoundDecoder::Refusal::None:
        return ChimeDevice::Failure::None;
    case SoundDecoder::Refusal::Missing:
        return ChimeDevice::Failure::NoSuchFile;
    case SoundDecoder::Refusal::Unreadable:
        return ChimeDevice::Failure::Unreadable;
    case SoundDecoder::Refusal::TooLong:
        return ChimeDevice::Failure::TooLong;
    case SoundDecoder::Refusal::NotSound:
    case SoundDecoder::Refusal::OutOfBounds:
        break;
    }
    return ChimeDevice::Failure::NotSound;
}

} // namespace

void SdlChimeDevice::open()
{
    close();
    m_failure = Failure::None;
    m_outputError.clear();
    if (m_fileName.isEmpty()) {
        m_bell = builtinBell();
        m_sampleRate = m_bell.sampleRate;
        m_channels = m_bell.channels;
    } else {
        SoundDecoder::Refusal refusal = SoundDecoder::Refusal::None;
        m_decoder = SoundDecoder::openFile(m_fileName, &refusal);
        if (!m_decoder) {
            m_failure = failureOf(refusal);
            return;
        }
        m_sampleRate = m_decoder->sampleRate();
        m_channels = m_decoder->channels();
    }
    m_loaded = true;
}

void SdlChimeDevice::rewind()
{
    if (!m_loaded)
        return;
    const OutputLock lock(m_output);
    rewindSound();
    m_playing = false;
}

void SdlChimeDevice::play()
{
    if (!m_loaded)
        return;
    {
        const OutputLock lock(m_output);
        if (m_playing || soundEnded())
            return;
        m_playing = true;
    }
    m_idleSince.reset();
    if (m_output == 0 && !openOutput()) {
        // Without an output there is nothing to ring with until the next open() tries afresh; reading NotOpen
        // leaves the pending chimes pending, as for a file that cannot be played.
        m_failure = Failure::NoOutput;
        m_outputError = QString::fromUtf8(SDL_GetError());
        release();
    }
}

void SdlChimeDevice::fillOutput(void* userdata, std::uint8_t* stream, int len)
{
    // SDL calls this on its audio thread with the output's lock held. One call decodes one buffer of about 10 ms.
    auto& self = *static_cast<SdlChimeDevice*>(userdata);
    const std::int64_t frameBytes = std::int64_t(sizeof(std::int16_t)) * self.m_channels;
    std::size_t filled = 0;
    if (self.m_playing) {
        const std::int64_t got = self.readSound(reinterpret_cast<std::int16_t*>(stream), len / frameBytes);
        filled = std::size_t(got * frameBytes);
        if (self.soundEnded())
            self.m_playing = false;
    }
    std::memset(stream + filled, 0, std::size_t(len) - filled);
}

std::int64_t SdlChimeDevice::readSound(std::int16_t* out, std::int64_t frames)
{
    if (m_decoder)
        return m_decoder->read(out, frames);
    const std::int64_t n = std::min(frames, m_bell.frames() - m_bellCursor);
    std::copy_n(m_bell.samples.cbegin() + std::ptrdiff_t(m_bellCursor * m_channels), std::ptrdiff_t(n * m_channels),
                out);
    m_bellCursor += n;
    return n;
}

bool SdlChimeDevice::soundEnded() const
{
    return m_decoder ? m_decoder->atEnd() : m_bellCursor >= m_bell.frames();
}

void SdlChimeDevice::rewindSound()
{
    // A file that cannot be read again stays at its end: the chimes that follow are silent, and counted off.
    if (m_decoder)
        m_decoder->rewind();
    else
        m_bellCursor = 0;
}

bool SdlChimeDevice::openOutput()
{
    // SDL would otherwise turn Ctrl+C and SIGTERM into quit events that nobody here reads.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, QString::fromUtf16(programName).toUtf8().constData());
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        qCWarning(lcSound, "no sound output: %s", SDL_GetError());
        return false;
    }

    // The sound's own rate and channels in one fixed format; SDL converts when the hardware wants otherwise.
    SDL_AudioSpec wanted{};
    wanted.freq = m_sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = Uint8(m_channels);
    wanted.samples = bufferFrames(m_sampleRate);
    wanted.callback = &SdlChimeDevice::fillOutput;
    wanted.userdata = this;
    SDL_AudioSpec obtained{};
    const SDL_AudioDeviceID output = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (output == 0) {
        qCWarning(lcSound, "the sound output cannot open: %s", SDL_GetError());
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    m_output = output;
    SDL_PauseAudioDevice(m_output, 0);
    return true;
}

void SdlChimeDevice::closeOutput()
{
    if (m_output == 0)
        return;
    {
        // Any buffer SDL still asks for while it shuts down is silence, and reads nothing from the file.
        const OutputLock lock(m_output);
        m_playing = false;
    }
    // Waits for the audio thread to end (SDL lets two buffers drain first): once this returns, nothing more is
    // played or read from the sound.
    SDL_CloseAudioDevice(m_output);
    m_output = 0;
    m_idleSince.reset();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}
