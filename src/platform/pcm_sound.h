#pragma once

#include <cstdint>
#include <vector>

/// A sound held whole in memory, ready for the output: interleaved signed 16-bit samples at the sound's own rate.
struct PcmSound {
    int sampleRate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;

    std::int64_t frames() const { return channels > 0 ? std::int64_t(samples.size()) / channels : 0; }
};
