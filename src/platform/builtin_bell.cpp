#include "platform/builtin_bell.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <complex>
#include <numbers>

namespace {

struct Partial {
    double ratio;     // to the strike tone
    double amplitude; // before normalising
    double decay;     // seconds to fall to 1/e
};

// The overtones of a struck free bar lie at 2.756, 5.404 and 8.933 times the strike tone: inharmonic, so the ear
// hears a bell rather than a note. A second strike tone 0.3 % above the first beats slowly, the shimmer of a real
// bell. Higher partials die away sooner, leaving a clean tone in the tail.
constexpr std::array<Partial, 5> partials{{
    {1.000, 1.00, 0.40},
    {1.003, 0.25, 0.40},
    {2.756, 0.45, 0.18},
    {5.404, 0.22, 0.08},
    {8.933, 0.10, 0.04},
}};

constexpr int sampleRate = 48000;
constexpr double strikeHz = 784.0; // G5: clear above speech, well below harshness
constexpr double lengthSeconds = 1.0;
// A few milliseconds of rise spare the speaker the click of a sine that starts at full swing; the fade at the end
// brings the ringing tail to zero instead of cutting it.
constexpr double attackSeconds = 0.004;
constexpr double releaseSeconds = 0.12;
// Half of full scale: plainly audible, with headroom for any output conversion.
constexpr double peakLevel = 0.5;

} // namespace

PcmSound builtinBell()
{
    const int frames = int(lengthSeconds * sampleRate);
    std::vector<double> wave(std::size_t(frames), 0.0);
    // Each partial is a decaying phasor, turned and shrunk by one fixed factor per sample: the same wave as
    // exp(-t / decay) * sin(2 pi f t), at a hundredth of the cost, so that opening the bell does not slow the start.
    for (const Partial& p : partials) {
        const double omega = 2.0 * std::numbers::pi * strikeHz * p.ratio / sampleRate;
        const std::complex<double> step = std::polar(std::exp(-1.0 / (p.decay * sampleRate)), omega);
        std::complex<double> phasor(p.amplitude, 0.0);
        for (double& sample : wave) {
            sample += phasor.imag();
            phasor *= step;
        }
    }
    for (int i = 0; i < frames; ++i) {
        const double t = double(i) / sampleRate;
        double envelope = 1.0;
        if (t < attackSeconds)
            envelope = 0.5 - 0.5 * std::cos(std::numbers::pi * t / attackSeconds);
        const double untilEnd = lengthSeconds - t;
        if (untilEnd < releaseSeconds)
            envelope *= 0.5 - 0.5 * std::cos(std::numbers::pi * untilEnd / releaseSeconds);
        wave[std::size_t(i)] *= envelope;
    }

    double peak = 0.0;
    for (const double v : wave)
        peak = std::max(peak, std::abs(v));
    const double gain = peak > 0.0 ? peakLevel * 32767.0 / peak : 0.0;

    PcmSound bell;
    bell.sampleRate = sampleRate;
    bell.channels = 1;
    bell.samples.reserve(wave.size());
    for (const double v : wave)
        bell.samples.push_back(static_cast<std::int16_t>(std::lround(v * gain)));
    return bell;
}
