#pragma once

#include "platform/chime_device.h"
#include "platform/sound_decoder.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

/// The chime device on SDL's audio output. open() hands the file to a thread of its own and returns at once: that
/// thread opens it, decodes up to a minute of it into memory and streams only what lies beyond from the descriptor
/// it opened, so that the bells of a count are the file as it was at the reset, a reset takes the same moment for a
/// bell of ten minutes as for one of a second, and a file whose reads stall (a hung network mount) never holds up
/// the user-interface thread: the device reads busy until the file has been read far enough to play. SDL's audio
/// thread plays from memory only. The output is opened only when a playback starts and closed again once it has
/// stood idle for the linger time, so that between bells no audio thread runs at all. Every operation belongs to
/// the user-interface thread.
class SdlChimeDevice final : public ChimeDevice {
public:
    /// How long the output stays open after a playback: longer than the pause between the chimes of one phase
    /// change, which follow within a tick, so that they share one output.
    static constexpr std::chrono::milliseconds defaultLinger{750};
    /// How the reading thread opens a file; the tests make it stall.
    using Opener = std::function<std::unique_ptr<SoundDecoder>(const QString& path, SoundDecoder::Refusal* why)>;

    explicit SdlChimeDevice(std::chrono::milliseconds linger = defaultLinger, Opener opener = {});
    ~SdlChimeDevice() override;
    SdlChimeDevice(const SdlChimeDevice&) = delete;
    SdlChimeDevice& operator=(const SdlChimeDevice&) = delete;

    /// Busy while the file is being opened. Also closes an output that has idled for the linger time: the count asks
    /// at every second it shows, and every few hundredths while bells wait.
    Mode mode() override;
    /// Stops any playback and lets go of the file, even while its reading thread still waits for it.
    void close() override;
    void setFileName(const QString& path) override;
    void open() override;
    /// Puts the play position back to the start; like a seek, it stops a playback that is running.
    void rewind() override;
    /// Starts from the play position and returns at once; while the file is still being opened, the playback
    /// starts on the first mode() after it can. When no sound output can be opened the device reads NotOpen from
    /// then on, until the next open().
    void play() override;
    /// Loads SDL in the background, once.
    void prepare() override;

    Failure failure() const override { return m_failure; }
    QString outputError() const override { return m_outputError; }

    /// Whether SDL's audio output, and with it SDL's audio thread, is open.
    bool isOutputOpen() const { return m_output != 0; }

    struct Sound;

private:
    static void fillOutput(void* userdata, std::uint8_t* stream, int len);
    /// Takes in what the reading thread has found out; false when the sound cannot be played.
    bool settle();
    void startPlayback();
    bool openOutput();
    void closeOutput();
    void release();

    const std::chrono::milliseconds m_linger;
    const Opener m_opener;
    QString m_fileName;
    // What open() opened: shared with the reading thread and, while the output is open, SDL's audio thread.
    std::shared_ptr<Sound> m_sound;
    bool m_ready = false;
    bool m_playWhenReady = false;
    // The built-in bell is open but not yet taken in: that happens at its first play.
    bool m_builtinPending = false;
    std::chrono::steady_clock::time_point m_openedAt;
    bool m_toldSlow = false;
    Failure m_failure = Failure::None;
    QString m_outputError;
    std::uint32_t m_output = 0;
    std::optional<std::chrono::steady_clock::time_point> m_idleSince;
};
