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
    m_loaded = false;
    m_sound = PcmSound{};
    m_cursor = 0;
    m_playing = false;
}

void SdlChimeDevice::setFileName(const QString& path)
{
    m_fileName = path;
}

void SdlChimeDevice::open()
{
    close();
    if (m_fileName.isEmpty()) {
        m_sound = builtinBell();
    } else {
        std::optional<PcmSound> decoded = decodeSoundFile(m_fileName);
        if (!decoded)
            return;
        m_sound = std::move(*decoded);
    }
    m_loaded = true;
}

void SdlChimeDevice::rewind()
{
    if (!m_loaded)
        return;
    const OutputLock lock(m_output);
    m_cursor = 0;
    m_playing = false;
}

void SdlChimeDevice::play()
{
    if (!m_loaded)
        return;
    {
        const OutputLock lock(m_output);
        if (m_playing || m_cursor >= m_sound.frames())
            return;
        m_playing = true;
    }
    m_idleSince.reset();
    if (m_output == 0 && !openOutput()) {
        // Without an output there is nothing to ring with until the next open() tries afresh; reading NotOpen
        // leaves the pending chimes pending, as for a file that cannot be played.
        m_playing = false;
        m_loaded = false;
        m_sound = PcmSound{};
    }
}

void SdlChimeDevice::fillOutput(void* userdata, std::uint8_t* stream, int len)
{
    // SDL calls this on its audio thread with the output's lock held.
    auto& self = *static_cast<SdlChimeDevice*>(userdata);
    const std::size_t wanted = std::size_t(len) / sizeof(std::int16_t);
    std::size_t copied = 0;
    if (self.m_playing) {
        const auto& samples = self.m_sound.samples;
        const std::size_t start = std::size_t(self.m_cursor) * std::size_t(self.m_sound.channels);
        copied = std::min(wanted, samples.size() - start);
        std::memcpy(stream, samples.data() + start, copied * sizeof(std::int16_t));
        self.m_cursor += std::int64_t(copied) / self.m_sound.channels;
        if (self.m_cursor >= self.m_sound.frames())
            self.m_playing = false;
    }
    std::memset(stream + copied * sizeof(std::int16_t), 0, std::size_t(len) - copied * sizeof(std::int16_t));
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
    wanted.freq = m_sound.sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = Uint8(m_sound.channels);
    wanted.samples = bufferFrames(m_sound.sampleRate);
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
        // Any buffer SDL still asks for while it shuts down is silence.
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
