#pragma once

#include "platform/pcm_sound.h"

#include <QString>

#include <optional>

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

/// Decodes a whole sound file (every WAV encoding libsndfile reads, and its other formats) into 16-bit samples.
/// Empty when the file is not an ordinary readable file, is no sound libsndfile knows, holds no frame at all, or
/// lies outside SoundLimits. A file cut short keeps the frames that are there.
std::optional<PcmSound> decodeSoundFile(const QString& path);
