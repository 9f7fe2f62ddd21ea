#pragma once

#include "platform/chime_device.h"
#include "platform/pcm_sound.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

class SoundDecoder;

/// The chime device on SDL's audio output. open() reads only the file's header and first frame (or makes the
/// built-in bell when no file is named), so that a reset takes the same few milliseconds for a bell of ten minutes
/// as for one of a second; the playback decodes the file as it goes, one output buffer at a time, on SDL's audio
/// thread. The output is opened only when a playback starts and closed again once it has stood idle for the linger
/// time, so that between bells no audio thread runs at all. Every operation belongs to the user-interface thread.
class SdlChimeDevice final : public ChimeDevice {
public:
    /// How long the output stays open after a playback: longer than the pause between the chimes of one phase
    /// change, which follow within a tick, so that they share one output.
    static constexpr std::chrono::milliseconds defaultLinger{750};

    explicit SdlChimeDevice(std::chrono::milliseconds linger = defaultLinger);
    ~SdlChimeDevice() override;
    SdlChimeDevice(const SdlChimeDevice&) = delete;
    SdlChimeDevice& operator=(const SdlChimeDevice&) = delete;

    /// Also closes an output that has idled for the linger time: the tick polls this every 100 ms.
    Mode mode() override;
    void close() override;
    void setFileName(const QString& path) override;
    void open() override;
    /// Puts the play position back to the start; like a seek, it stops a playback that is running.
    void rewind() override;
    /// Starts from the play position and returns at once. When no sound output can be opened the device reads
    /// NotOpen from then on, until the next open().
    void play() override;

    Failure failure() const override { return m_failure; }
    QString outputError() const override { return m_outputError; }

    /// Whether SDL's audio output, and with it SDL's audio thread, is open.
    bool isOutputOpen() const { return m_output != 0; }

private:
    static void fillOutput(void* userdata, std::uint8_t* stream, int len);
    bool openOutput();
    void closeOutput();
    void release();
    // The sound is read on SDL's audio thread while the output is open, and from here only under its lock.
    std::int64_t readSound(std::int16_t* out, std::int64_t frames);
    bool soundEnded() const;
    void rewindSound();

    const std::chrono::milliseconds m_linger;
    QString m_fileName;
    // What open() opened: the file's decoder, or else the built-in bell.
    std::unique_ptr<SoundDecoder> m_decoder;
    PcmSound m_bell;
    int m_sampleRate = 0;
    int m_channels = 0;
    bool m_loaded = false;
    Failure m_failure = Failure::None;
    QString m_outputError;
    std::uint32_t m_output = 0;
    std::optional<std::chrono::steady_clock::time_point> m_idleSince;

    // Shared with SDL's audio thread while the output is open, under the output's lock.
    std::int64_t m_bellCursor = 0; // the bell's next frame to be played
    bool m_playing = false;
};
