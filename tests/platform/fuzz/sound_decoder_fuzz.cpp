// Fuzz entry for the loading of chime files: any bytes go through the decoder the chime device uses, as it reads
// them while a bell rings, without a crash, a hang or undefined behaviour. A sound it accepts keeps the limits,
// and after a rewind it plays the same samples again, as the second chime of a phase change does.
#include "platform/sound_decoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what, long long got, long long bound)
{
    std::fprintf(stderr, "sound decoder: %s: %lld (bound %lld)\n", what, got, bound);
    std::abort();
}

struct Reading {
    std::int64_t frames = 0;
    std::uint64_t hash = 14695981039346656037u; // FNV-1a over the samples: a ten-minute sound is not kept whole

    bool operator==(const Reading&) const = default;
};

Reading readToEnd(SoundDecoder& decoder, std::int64_t piece)
{
    // Sized exactly for one piece, so that AddressSanitizer reports any sample written beyond it.
    std::vector<std::int16_t> buffer(std::size_t(piece * decoder.channels()));
    Reading reading;
    while (!decoder.atEnd()) {
        const std::int64_t got = decoder.read(buffer.data(), piece);
        if (got < 0 || got > piece)
            fail("frames read beyond the piece asked for", got, piece);
        if (got < piece && !decoder.atEnd())
            fail("a short read that is not the end", got, piece);
        for (std::int64_t i = 0; i < got * decoder.channels(); ++i) {
            reading.hash ^= std::uint16_t(buffer[std::size_t(i)]);
            reading.hash *= 1099511628211u;
        }
        reading.frames += got;
        if (got == 0)
            break;
    }
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::unique_ptr<SoundDecoder> decoder = SoundDecoder::openBytes(data, size);
    if (!decoder)
        return 0;
    const int rate = decoder->sampleRate();
    const int channels = decoder->channels();
    if (channels < 1 || channels > SoundLimits::maxChannels)
        fail("channels", channels, SoundLimits::maxChannels);
    if (rate < SoundLimits::minSampleRate || rate > SoundLimits::maxSampleRate)
        fail("sample rate", rate, SoundLimits::maxSampleRate);

    // The output asks for 64 to 8192 frames at a time, depending on the rate; the input picks one.
    const std::int64_t piece = std::int64_t(64) << (size % 8);
    const Reading first = readToEnd(*decoder, piece);
    const std::int64_t bound =
        std::min(std::int64_t(SoundLimits::maxSeconds * rate), SoundLimits::maxSamples / channels);
    // No lower bound: opening reads one frame, but libsndfile's MPEG reading may give nothing at all for a read of
    // many frames that runs into a broken frame. The device then stays silent, which is all a broken file asks.
    if (first.frames > bound)
        fail("frames beyond the limits", first.frames, bound);

    if (!decoder->rewind())
        return 0; // the device then stays silent for the chimes that follow
    const Reading again = readToEnd(*decoder, piece);
    if (!(again == first))
        fail("a rewound sound differs; frames the second time", again.frames, first.frames);
    return 0;
}
