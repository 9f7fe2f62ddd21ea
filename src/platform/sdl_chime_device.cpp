#include "platform/sdl_chime_device.h"

#include "build_info.h"
#include "platform/log_categories.h"
#include "platform/sound_libraries.h"

#include "platform/builtin_bell.h"

#include <SDL.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

/// The start of a sound that is held in memory, read at the reset: a minute, which no chime needs, within 16 MiB,
/// which ten minutes of sound would take many times over. Only a longer sound is read further while it plays.
constexpr double heldSeconds = 60.0;
constexpr std::int64_t maxHeldSamples = std::int64_t(8) * 1024 * 1024;
/// How far reading runs ahead of the playback beyond the held start.
constexpr double streamedSeconds = 2.0;
/// Frames decoded at a time: the reading thread lets go of the sound between two of them.
constexpr std::int64_t chunkFrames = 4096;
/// The device reads idle once this much of the sound (or all of it) is in memory, well ahead of any playback.
constexpr double readySeconds = 0.5;
/// How long the opening of a file may take before the log says that the bell waits for it.
constexpr std::chrono::seconds slowOpening{2};

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

/// One opened sound, shared by the user-interface thread, the thread that reads it and, while the output is open,
/// SDL's audio thread. Its lock is never held across file input or output, nor while a log line is written.
struct SdlChimeDevice::Sound {
    enum class Stage { Opening, Ready, Failed };

    std::mutex lock;
    std::condition_variable wake; // the reading thread waits here for room ahead of the playback, or a rewind

    // Set by the reading thread once, before Ready.
    int sampleRate = 0;
    int channels = 0;
    std::int64_t heldFrames = 0; // how many frames from the start are kept in memory
    std::unique_ptr<std::int16_t[]> held;
    std::int64_t ringFrames = 0; // frames beyond the held ones go round this buffer, frame f in slot f % ringFrames
    std::unique_ptr<std::int16_t[]> ring;

    // Under the lock.
    Stage stage = Stage::Opening;
    ChimeDevice::Failure failure = ChimeDevice::Failure::None;
    std::int64_t decoded = 0;                // the held frames read so far
    std::int64_t ringStart = 0, ringEnd = 0; // the frames in the ring
    std::int64_t length = 0;                 // at most this many frames: lowered when the file ends early
    std::int64_t position = 0;               // the next frame to play
    bool playing = false;
    bool released = false; // the device let go; the reading thread ends
    bool tailLost = false; // what lies beyond the ring cannot be read again

    /// Copies up to `count` frames from the play position on, as far as they have been read, and moves on.
    std::int64_t take(std::int16_t* out, std::int64_t count)
    {
        std::int64_t got = 0;
        while (got < count && position < length) {
            const std::int16_t* from = nullptr;
            std::int64_t n = 0;
            if (position < heldFrames) {
                n = decoded - position;
                from = held.get() + position * channels;
            } else if (position >= ringStart && position < ringEnd) {
                const std::int64_t slot = position % ringFrames;
                n = std::min(ringEnd - position, ringFrames - slot);
                from = ring.get() + slot * channels;
            }
            n = std::min({n, count - got, length - position});
            if (n <= 0)
                break; // not read yet: this buffer waits in silence
            std::copy_n(from, n * channels, out + got * channels);
            got += n;
            position += n;
        }
        return got;
    }

    /// The first frame of the ring the playback still needs: after a rewind it needs them all again.
    std::int64_t keepFrom() const { return position > ringStart ? std::min(position, ringEnd) : ringStart; }
    std::int64_t ringRoom() const { return ringFrames - (ringEnd - keepFrom()); }
    /// A rewind after the playback had gone past the first frames of the ring, which are gone.
    bool needsRestart() const { return ringStart > heldFrames && position < ringStart; }
};

namespace {

using Sound = SdlChimeDevice::Sound;
using Stage = Sound::Stage;

/// The built-in bell, made once, when it first rings: many a count never rings it, and making it cost the start.
const PcmSound& sharedBuiltinBell()
{
    static const PcmSound bell = builtinBell();
    return bell;
}

/// Reads past `frames` frames; false when the file gives fewer.
bool skip(SoundDecoder& decoder, std::int16_t* scratch, std::int64_t frames)
{
    while (frames > 0) {
        const std::int64_t n = decoder.read(scratch, std::min(frames, chunkFrames));
        if (n <= 0)
            return false;
        frames -= n;
    }
    return true;
}

/// The held start: decoded straight into place, the device idle once enough of it is there. False when the
/// device let go.
bool readHeld(Sound& sound, SoundDecoder& decoder, const QString& path)
{
    const std::int64_t readyFrames =
        std::min(sound.heldFrames, std::int64_t(readySeconds * sound.sampleRate) + chunkFrames);
    std::int16_t* const held = sound.held.get();
    std::int64_t at = 0;
    bool changed = false;
    while (at < sound.heldFrames) {
        const std::int64_t asked = std::min(chunkFrames, sound.heldFrames - at);
        const std::int64_t n = decoder.read(held + at * sound.channels, asked);
        changed = !decoder.unchanged();
        const std::lock_guard<std::mutex> lock(sound.lock);
        if (sound.released)
            return false;
        if (changed || n < asked)
            sound.length = changed ? at : at + n;
        if (!changed)
            at = sound.decoded = at + n;
        if (sound.stage == Stage::Opening && at > 0 && (at >= readyFrames || at >= sound.length))
            sound.stage = Stage::Ready;
        if (at >= sound.length)
            break;
    }
    {
        const std::lock_guard<std::mutex> lock(sound.lock);
        if (sound.stage == Stage::Opening) { // changed before a single frame was read
            sound.stage = Stage::Failed;
            sound.failure = ChimeDevice::Failure::Unreadable;
        }
    }
    if (changed)
        qCWarning(lcSound, "the chime file changed while it was read at the restart, its bells end after %.1f s: %s",
                  double(at) / sound.sampleRate, qUtf8Printable(path));
    return !changed;
}

/// Beyond the held start: keeps the ring filled ahead of the playback, from the descriptor opened at the reset,
/// and starts again from the held end after a rewind. Ends when the device lets go, or when the file was changed
/// since the reset, ending the bells where its old bytes end.
void streamRest(Sound& sound, SoundDecoder& decoder, const QString& path)
{
    std::vector<std::int16_t> chunk(std::size_t(chunkFrames * sound.channels));
    for (;;) {
        std::int64_t from = 0;
        std::int64_t want = 0;
        bool restart = false;
        {
            std::unique_lock<std::mutex> lock(sound.lock);
            sound.wake.wait(lock, [&] {
                return sound.released || sound.needsRestart() ||
                       (sound.ringEnd < sound.length &&
                        sound.ringRoom() >= std::min(chunkFrames, sound.length - sound.ringEnd));
            });
            if (sound.released)
                return;
            restart = sound.needsRestart();
            if (restart && sound.tailLost) {
                sound.length = sound.heldFrames;
                return;
            }
            if (!restart) {
                sound.ringStart = sound.keepFrom();
                from = sound.ringEnd;
                want = std::min({chunkFrames, sound.length - from, sound.ringRoom()});
            }
        }
        if (restart) {
            const bool again = decoder.rewind() && skip(decoder, chunk.data(), sound.heldFrames) && decoder.unchanged();
            {
                const std::lock_guard<std::mutex> lock(sound.lock);
                if (sound.released)
                    return;
                sound.ringStart = sound.ringEnd = sound.heldFrames;
                if (!again)
                    sound.length = sound.heldFrames;
            }
            if (!again) {
                qCWarning(lcSound, "the chime file cannot be read again beyond its first %.0f s: %s",
                          double(sound.heldFrames) / sound.sampleRate, qUtf8Printable(path));
                return;
            }
            continue;
        }
        const std::int64_t n = decoder.read(chunk.data(), want);
        const bool changed = !decoder.unchanged();
        {
            const std::lock_guard<std::mutex> lock(sound.lock);
            if (sound.released)
                return;
            if (!changed) {
                for (std::int64_t k = 0; k < n; ++k)
                    std::copy_n(chunk.data() + k * sound.channels, sound.channels,
                                sound.ring.get() + ((from + k) % sound.ringFrames) * sound.channels);
                sound.ringEnd = from + n;
            }
            if (changed || n < want)
                sound.length = sound.ringEnd;
            if (changed)
                sound.tailLost = true;
        }
        if (changed)
            qCWarning(lcSound, "the chime file changed during the count, its bells end after %.1f s: %s",
                      double(from) / sound.sampleRate, qUtf8Printable(path));
    }
}

/// The reading thread of one open(): opens the file, reads its start into memory and streams the rest.
void readSound(std::shared_ptr<Sound> sound, SdlChimeDevice::Opener opener, QString path)
{
    SoundDecoder::Refusal why = SoundDecoder::Refusal::None;
    const std::unique_ptr<SoundDecoder> decoder = opener(path, &why);
    if (!decoder) {
        const std::lock_guard<std::mutex> lock(sound->lock);
        sound->stage = Stage::Failed;
        sound->failure = failureOf(why);
        return;
    }
    const int channels = decoder->channels();
    const int rate = decoder->sampleRate();
    const std::int64_t frames = decoder->frames();
    const std::int64_t heldFrames = std::min({frames, std::int64_t(heldSeconds * rate), maxHeldSamples / channels});
    // The ring takes a chunk only where a whole one is free: several fit, so that it never runs dry meanwhile.
    const std::int64_t ringFrames =
        heldFrames < frames ? std::max(std::int64_t(streamedSeconds * rate), 4 * chunkFrames) : 0;
    {
        const std::lock_guard<std::mutex> lock(sound->lock);
        if (sound->released)
            return;
        sound->sampleRate = rate;
        sound->channels = channels;
        sound->heldFrames = heldFrames;
        sound->held = std::make_unique_for_overwrite<std::int16_t[]>(std::size_t(heldFrames * channels));
        sound->ringFrames = ringFrames;
        sound->ring = std::make_unique_for_overwrite<std::int16_t[]>(std::size_t(ringFrames * channels));
        sound->length = frames;
        sound->ringStart = sound->ringEnd = heldFrames;
    }
    if (readHeld(*sound, *decoder, path) && ringFrames > 0)
        streamRest(*sound, *decoder, path);
}

} // namespace

SdlChimeDevice::SdlChimeDevice(std::chrono::milliseconds linger, Opener opener)
    : m_linger(linger), m_opener(opener ? std::move(opener) : [](const QString& path, SoundDecoder::Refusal* why) {
          return SoundDecoder::openFile(path, why);
      })
{}

SdlChimeDevice::~SdlChimeDevice()
{
    // A reading thread that still waits for the file is left to it: it holds the sound, not the device.
    release();
}

ChimeDevice::Mode SdlChimeDevice::mode()
{
    if (!settle())
        return m_sound ? Mode::Busy : Mode::NotOpen;
    if (m_playWhenReady) {
        m_playWhenReady = false;
        startPlayback();
        if (!m_sound)
            return Mode::NotOpen;
    }
    if (m_output == 0)
        return Mode::Idle;
    bool playing = false;
    {
        const std::lock_guard<std::mutex> lock(m_sound->lock);
        playing = m_sound->playing;
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

bool SdlChimeDevice::settle()
{
    if (!m_sound)
        return false;
    if (m_ready)
        return true;
    Stage stage = Stage::Opening;
    Failure failure = Failure::None;
    {
        const std::lock_guard<std::mutex> lock(m_sound->lock);
        stage = m_sound->stage;
        failure = m_sound->failure;
    }
    if (stage == Stage::Failed) {
        release();
        m_failure = failure;
        return false;
    }
    if (stage == Stage::Opening) {
        if (!m_toldSlow && std::chrono::steady_clock::now() - m_openedAt >= slowOpening) {
            m_toldSlow = true;
            qCWarning(lcSound, "the chime waits: the file is still being opened after %lld s: %s",
                      static_cast<long long>(slowOpening.count()), qUtf8Printable(m_fileName));
        }
        return false;
    }
    m_ready = true;
    return true;
}

void SdlChimeDevice::close()
{
    release();
}

void SdlChimeDevice::release()
{
    closeOutput();
    if (m_sound) {
        {
            const std::lock_guard<std::mutex> lock(m_sound->lock);
            m_sound->released = true;
            m_sound->playing = false;
        }
        m_sound->wake.notify_all();
        m_sound.reset();
    }
    m_ready = false;
    m_playWhenReady = false;
    m_builtinPending = false;
    m_toldSlow = false;
}

void SdlChimeDevice::setFileName(const QString& path)
{
    m_fileName = path;
}

void SdlChimeDevice::open()
{
    close();
    m_failure = Failure::None;
    m_outputError.clear();
    m_sound = std::make_shared<Sound>();
    if (m_fileName.isEmpty()) {
        // Taken in at the first play.
        m_sound->stage = Stage::Ready;
        m_builtinPending = true;
        m_ready = true;
        return;
    }
    m_openedAt = std::chrono::steady_clock::now();
    try {
        std::thread(readSound, m_sound, m_opener, m_fileName).detach();
    } catch (const std::system_error& error) {
        qCWarning(lcSound, "no thread to read the chime file: %s", error.what());
        release();
        m_failure = Failure::Unreadable;
    }
}

void SdlChimeDevice::rewind()
{
    if (!m_sound)
        return;
    m_playWhenReady = false;
    {
        const std::lock_guard<std::mutex> lock(m_sound->lock);
        m_sound->position = 0;
        m_sound->playing = false;
    }
    m_sound->wake.notify_all();
}

void SdlChimeDevice::play()
{
    if (!m_sound)
        return;
    if (settle())
        startPlayback();
    else if (m_sound)
        m_playWhenReady = true; // the file is still being opened
}

void SdlChimeDevice::prepare()
{
    sound_libraries::preloadSdlAudio();
}

void SdlChimeDevice::startPlayback()
{
    if (std::exchange(m_builtinPending, false)) {
        const PcmSound& bell = sharedBuiltinBell();
        Sound& sound = *m_sound;
        const std::lock_guard<std::mutex> lock(sound.lock);
        sound.sampleRate = bell.sampleRate;
        sound.channels = bell.channels;
        sound.heldFrames = sound.decoded = sound.length = bell.frames();
        sound.held = std::make_unique_for_overwrite<std::int16_t[]>(bell.samples.size());
        std::copy(bell.samples.cbegin(), bell.samples.cend(), sound.held.get());
    }
    {
        const std::lock_guard<std::mutex> lock(m_sound->lock);
        if (m_sound->playing || m_sound->position >= m_sound->length)
            return;
        m_sound->playing = true;
    }
    m_idleSince.reset();
    if (m_output == 0 && !openOutput()) {
        // Without an output there is nothing to ring with until the next open() tries afresh; reading NotOpen
        // leaves the pending chimes pending, as for a file that cannot be played.
        const QString error = m_outputError;
        release();
        m_failure = Failure::NoOutput;
        m_outputError = error;
    }
}

void SdlChimeDevice::fillOutput(void* userdata, std::uint8_t* stream, int len)
{
    // SDL calls this on its audio thread. The sound comes from memory only, whatever the file does meanwhile.
    Sound& sound = *static_cast<Sound*>(userdata);
    std::size_t filled = 0;
    bool streaming = false;
    {
        const std::lock_guard<std::mutex> lock(sound.lock);
        if (sound.playing) {
            const std::int64_t frameBytes = std::int64_t(sizeof(std::int16_t)) * sound.channels;
            const std::int64_t got = sound.take(reinterpret_cast<std::int16_t*>(stream), len / frameBytes);
            filled = std::size_t(got * frameBytes);
            if (sound.position >= sound.length)
                sound.playing = false;
            streaming = got > 0 && sound.position > sound.heldFrames;
        }
    }
    if (streaming)
        sound.wake.notify_all();
    std::memset(stream + filled, 0, std::size_t(len) - filled);
}

bool SdlChimeDevice::openOutput()
{
    const sound_libraries::SdlAudio* sdl = sound_libraries::sdlAudio();
    if (!sdl) {
        m_outputError = sound_libraries::loadError();
        return false;
    }
    // SDL would otherwise turn Ctrl+C and SIGTERM into quit events that nobody here reads.
    sdl->SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    sdl->SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, QString::fromUtf16(programName).toUtf8().constData());
    if (sdl->InitSubSystem(SDL_INIT_AUDIO) != 0) {
        m_outputError = QString::fromUtf8(sdl->GetError());
        qCWarning(lcSound, "no sound output: %s", qUtf8Printable(m_outputError));
        return false;
    }

    // The sound's own rate and channels in one fixed format; SDL converts when the hardware wants otherwise.
    SDL_AudioSpec wanted{};
    wanted.freq = m_sound->sampleRate;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = Uint8(m_sound->channels);
    wanted.samples = bufferFrames(m_sound->sampleRate);
    wanted.callback = &SdlChimeDevice::fillOutput;
    wanted.userdata = m_sound.get();
    SDL_AudioSpec obtained{};
    const SDL_AudioDeviceID output = sdl->OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (output == 0) {
        m_outputError = QString::fromUtf8(sdl->GetError());
        qCWarning(lcSound, "the sound output cannot open: %s", qUtf8Printable(m_outputError));
        sdl->QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    m_output = output;
    sdl->PauseAudioDevice(m_output, 0);
    return true;
}

void SdlChimeDevice::closeOutput()
{
    if (m_output == 0)
        return;
    {
        // Any buffer SDL still asks for while it shuts down is silence.
        const std::lock_guard<std::mutex> lock(m_sound->lock);
        m_sound->playing = false;
    }
    // Waits for the audio thread to end (SDL lets two buffers drain first): once this returns, nothing more is
    // played from the sound.
    // An open output means SDL is loaded.
    const sound_libraries::SdlAudio* sdl = sound_libraries::sdlAudio();
    sdl->CloseAudioDevice(m_output);
    m_output = 0;
    m_idleSince.reset();
    sdl->QuitSubSystem(SDL_INIT_AUDIO);
}
