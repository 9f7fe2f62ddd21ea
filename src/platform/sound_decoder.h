#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

/// The bounds a chime file must keep. A file beyond them is refused from its header, before anything is decoded,
/// so that a wrong choice of file cannot hold up the restart of a count or exhaust the memory.
namespace SoundLimits {
inline constexpr double maxSeconds = 600.0;
inline constexpr int minSampleRate = 1000;
inline constexpr int maxSampleRate = 768000;
inline constexpr int maxChannels = 8;
/// 256 MiB of 16-bit samples: ten minutes of 96 kHz stereo fit, ten minutes of 8 channels at 192 kHz do not.
inline constexpr std::int64_t maxSamples = std::int64_t(128) * 1024 * 1024;
} // namespace SoundLimits

/// A sound file (every WAV encoding libsndfile reads, and its other formats) decoded piece by piece into 16-bit
/// samples at its own rate. Opening reads the header and the first frame only, so it costs the same for a bell of
/// one second as for one of ten minutes, and the decoder holds a few kilobytes whatever the file's length.
/// One thread at a time.
class SoundDecoder {
public:
    /// Why a sound was refused.
    enum class Refusal {
        None,
        Missing,     ///< no file at the path
        Unreadable,  ///< not an ordinary file (a folder, a device), or one that cannot be read
        NotSound,    ///< no sound libsndfile knows, or one without a single frame
        TooLong,     ///< longer than SoundLimits::maxSeconds, or more samples than SoundLimits::maxSamples
        OutOfBounds, ///< more channels, or a sample rate outside what SoundLimits allow
    };

    /// Empty when the file is not an ordinary readable file, is no sound libsndfile knows, holds no frame at all,
    /// or lies outside SoundLimits by its header; `why` then tells which, and the refusal is logged under
    /// lectern.sound. The file stays open until the decoder is destroyed.
    static std::unique_ptr<SoundDecoder> openFile(const QString& path, Refusal* why = nullptr);
    /// The same for the bytes of a file in memory, which must outlive the decoder.
    static std::unique_ptr<SoundDecoder> openBytes(const void* data, std::size_t size);

    ~SoundDecoder();
    SoundDecoder(const SoundDecoder&) = delete;
    SoundDecoder& operator=(const SoundDecoder&) = delete;

    int sampleRate() const;
    int channels() const;

    /// Decodes up to `frames` frames, interleaved, into `out` and returns how many it wrote: fewer only at the end.
    /// A file cut short ends where its frames end; one whose header cannot tell its length ends at SoundLimits.
    std::int64_t read(std::int16_t* out, std::int64_t frames);
    /// Whether read() has nothing more to give.
    bool atEnd() const;
    /// The most frames read() can give: the header's length, or the bound when the header cannot tell.
    std::int64_t frames() const;
    /// Whether the file still has the size and modification time it had when it was opened: a file written over
    /// while it is read gives the new bytes under the old header. Always true for bytes in memory.
    bool unchanged() const;
    /// Back to the first frame. False when the file cannot be read again; read() then gives nothing.
    bool rewind();

    struct State;

private:
    static std::unique_ptr<SoundDecoder> open(std::unique_ptr<State> state, Refusal* why);
    explicit SoundDecoder(std::unique_ptr<State> state);

    std::unique_ptr<State> m_state;
};
