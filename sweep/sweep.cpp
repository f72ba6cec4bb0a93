#include "sweep/sweep.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <new>
#include <numbers>

namespace vesk {
namespace {

using Complex = std::complex<double>;

// Double precision throughout: the inverse's gain spans some 30 dB over the band and more at its
// edges, and a decay is read 60 to 80 dB below its peak, so single precision's rounding (near
// -120 dB of the peak per transform of a million points) would come within reach.
// A plain radix-2 transform, no scaling; n a power of two.
void Transform(std::vector<Complex>& a, bool inverse) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    // Twiddles computed one by one (not by recurrence) to keep their error at one rounding.
    std::vector<Complex> roots(n / 2);
    const double sign = inverse ? 1.0 : -1.0;
    for (std::size_t k = 0; k < n / 2; ++k) {
        const double angle =
            sign * 2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n);
        roots[k] = Complex(std::cos(angle), std::sin(angle));
    }
    for (std::size_t len = 2; len <= n; len *= 2) {
        const std::size_t half = len / 2, step = n / len;
        for (std::size_t i = 0; i < n; i += len) {
            for (std::size_t j = 0; j < half; ++j) {
                const Complex u = a[i + j];
                const Complex v = a[i + j + half] * roots[j * step];
                a[i + j] = u + v;
                a[i + j + half] = u - v;
            }
        }
    }
}

std::size_t PowerOfTwoAtLeast(std::size_t n) {
    std::size_t p = 1;
    while (p < n)
        p *= 2;
    return p;
}

bool AllZero(const std::vector<float>& x) {
    return std::all_of(x.begin(), x.end(), [](float v) { return v == 0.0f; });
}

bool AllFinite(const std::vector<float>& x) {
    return std::all_of(x.begin(), x.end(), [](float v) { return std::isfinite(v); });
}

DeconvolvedResponse Refuse(SweepStatus status, std::string message) {
    DeconvolvedResponse r;
    r.status = status;
    r.message = std::move(message);
    return r;
}

struct Band {
    double from = 0, to = 0;  // Hz, the -6 dB points
};

// Replaces the excitation's spectrum X (n bins of a real signal at rate fs) by its regularised
// inverse times a zero-phase band-pass over the sweep's band, and returns the band's -6 dB points.
//
// An exponential sweep's density |X|^2 falls as 1/f (it dwells L/f seconds per hertz), so
// |X|^2 f has a plateau P over the band. The -6 dB points are where |X|^2 f falls to P/4: a
// chirp's spectrum is half its amplitude where a raised-cosine fade is half done (and where an
// unfaded chirp starts or stops).
//
// The inverse is B conj(X) / (|X|^2 + eps), eps = 1e-4 P / f: 40 dB below the sweep's density,
// so the division is exact to 1e-4 (0.0004 dB) wherever the sweep has energy and undoes the
// fades and the ripple, while where it has none the gain stays bounded. B is a raised cosine in
// log frequency across each fade, the fade's own shape in frequency (an exponential sweep maps
// time to log frequency), so B conj(X) / |X|^2 stays bounded to the fade's end; smooth edges keep
// the band limit's ringing within some tens of periods of the edge frequency, where a brick wall
// would ring as 1/t under the whole decay.
Band InvertSpectrum(std::vector<Complex>& x, double fs) {
    constexpr double kRegularisation = 1e-4;
    // Bins within 20 dB of the densest define the plateau; the edges' few bins below that do not
    // shift the median.
    constexpr double kPlateauFloor = 1e-2;
    const std::size_t n = x.size();
    const double binHz = fs / static_cast<double>(n);
    std::vector<double> density(n / 2 + 1, 0.0);
    for (std::size_t k = 1; k <= n / 2; ++k)
        density[k] = std::norm(x[k]) * static_cast<double>(k) * binHz;
    const double densest = *std::max_element(density.begin(), density.end());
    std::vector<double> plateauBins;
    for (double d : density)
        if (d >= kPlateauFloor * densest) plateauBins.push_back(d);
    const auto middle = plateauBins.begin() + static_cast<std::ptrdiff_t>(plateauBins.size() / 2);
    std::nth_element(plateauBins.begin(), middle, plateauBins.end());
    const double plateau = *middle;

    std::size_t low = 1, high = n / 2;
    while (density[low] < plateau / 4)
        ++low;
    while (density[high] < plateau / 4)
        --high;
    const Band band{static_cast<double>(low) * binHz, static_cast<double>(high) * binHz};

    const double halfEdge = kSweepFadeOctaves / 2;
    for (std::size_t k = 0; k < n; ++k) {
        const double f = static_cast<double>(std::min(k, n - k)) * binHz;
        // Octaves inside the band from the nearer -6 dB point, clamped to half a fade.
        const double inside =
            f <= 0 ? -halfEdge
                   : std::clamp(std::min(std::log2(f / band.from), std::log2(band.to / f)),
                                -halfEdge, halfEdge);
        const double pass = 0.5 * (1 + std::sin(std::numbers::pi * inside / kSweepFadeOctaves));
        const double eps = f > 0 ? kRegularisation * plateau / f : 1.0;
        x[k] = pass == 0 ? 0 : pass * std::conj(x[k]) / (std::norm(x[k]) + eps);
    }
    return band;
}

}  // namespace

const char* SweepStatusText(SweepStatus status) {
    switch (status) {
        case SweepStatus::kDone:
            return "done";
        case SweepStatus::kBadParameters:
            return "sweep parameters out of range";
        case SweepStatus::kRateMismatch:
            return "the recording and the excitation have different sampling rates";
        case SweepStatus::kBadChannels:
            return "the recording needs one or two channels";
        case SweepStatus::kUnequalChannels:
            return "the recording's channels have different lengths";
        case SweepStatus::kShortRecording:
            return "the recording is shorter than the excitation";
        case SweepStatus::kSilentExcitation:
            return "the excitation is empty or silent";
        case SweepStatus::kSilentRecording:
            return "the recording is empty or silent";
        case SweepStatus::kNotFinite:
            return "a sample is infinite or not a number";
        case SweepStatus::kNoMemory:
            return "not enough memory for the deconvolution";
    }
    return "unknown sweep status";
}

double SweepTimeConstantS(const SweepParameters& parameters) {
    return parameters.lengthS /
           std::log(parameters.toHz / parameters.fromHz * std::exp2(2 * kSweepFadeOctaves));
}

double HarmonicAdvanceS(int k, const SweepParameters& parameters) {
    return SweepTimeConstantS(parameters) * std::log(static_cast<double>(k));
}

SweepSignal MakeSweep(const SweepParameters& parameters) {
    SweepSignal out;
    const auto bad = [&](std::string what) {
        out.status = SweepStatus::kBadParameters;
        out.message = std::move(what);
        return out;
    };
    const double start = parameters.fromHz * std::exp2(-kSweepFadeOctaves);
    const double stop = parameters.toHz * std::exp2(kSweepFadeOctaves);
    // Negated comparisons so that NaN fails them too.
    if (!(parameters.rate >= 8000 && parameters.rate <= 768000))
        return bad("the sampling rate must be 8000..768000 Hz");
    if (!(parameters.fromHz > 0 && parameters.toHz >= 2 * parameters.fromHz))
        return bad("the sweep must span at least an octave above 0 Hz");
    if (!(stop <= parameters.rate / 2))
        return bad("the sweep's end, a twelfth of an octave above " +
                   std::to_string(std::lround(parameters.toHz)) +
                   " Hz, must not pass half the rate");
    if (!(parameters.lengthS >= 0.1 && parameters.lengthS <= 600))
        return bad("the length must be 0.1..600 s");
    if (!(parameters.tailS >= 0 && parameters.tailS <= 600))
        return bad("the tail must be 0..600 s");
    if (!(parameters.peak > 0 && parameters.peak <= 1)) return bad("the peak must be in (0, 1]");

    const auto sweepSamples =
        static_cast<std::size_t>(std::lround(parameters.lengthS * parameters.rate));
    const auto tailSamples =
        static_cast<std::size_t>(std::lround(parameters.tailS * parameters.rate));
    const double l = SweepTimeConstantS(parameters);
    const double end = static_cast<double>(sweepSamples - 1) / parameters.rate;
    const double fade = l * std::numbers::ln2 * kSweepFadeOctaves;
    try {
        out.samples.assign(sweepSamples + tailSamples, 0.0f);
    } catch (const std::bad_alloc&) {
        out.status = SweepStatus::kNoMemory;
        out.message = SweepStatusText(out.status);
        return out;
    }
    for (std::size_t i = 0; i < sweepSamples; ++i) {
        const double t = static_cast<double>(i) / parameters.rate;
        const double phase = 2 * std::numbers::pi * start * l * std::expm1(t / l);
        double gain = 1;
        if (t < fade) gain = 0.5 * (1 - std::cos(std::numbers::pi * t / fade));
        if (end - t < fade) gain = 0.5 * (1 - std::cos(std::numbers::pi * (end - t) / fade));
        out.samples[i] = static_cast<float>(parameters.peak * gain * std::sin(phase));
    }
    return out;
}

DeconvolvedResponse Deconvolve(const std::vector<std::vector<float>>& recording,
                               double recordingRate, const std::vector<float>& excitation,
                               double excitationRate, const DeconvolveOptions& options) {
    // Every input is checked before any work starts.
    if (recording.empty() || recording.size() > 2)
        return Refuse(SweepStatus::kBadChannels, "the recording has " +
                                                     std::to_string(recording.size()) +
                                                     " channels; one or two (binaural) are needed");
    if (!(recordingRate > 0) || recordingRate != excitationRate)
        return Refuse(SweepStatus::kRateMismatch,
                      "the recording is at " + std::to_string(std::lround(recordingRate)) +
                          " Hz and the excitation at " +
                          std::to_string(std::lround(excitationRate)) + " Hz");
    if (recording.size() == 2 && recording[0].size() != recording[1].size())
        return Refuse(SweepStatus::kUnequalChannels,
                      SweepStatusText(SweepStatus::kUnequalChannels));
    if (!AllFinite(excitation))
        return Refuse(SweepStatus::kNotFinite,
                      "the excitation holds a sample that is not a number");
    for (std::size_t c = 0; c < recording.size(); ++c)
        if (!AllFinite(recording[c]))
            return Refuse(SweepStatus::kNotFinite, "channel " + std::to_string(c + 1) +
                                                       " of the recording holds a sample that is "
                                                       "not a number");
    if (excitation.empty() || AllZero(excitation))
        return Refuse(SweepStatus::kSilentExcitation,
                      SweepStatusText(SweepStatus::kSilentExcitation));
    const std::size_t recorded = recording[0].size();
    for (std::size_t c = 0; c < recording.size(); ++c)
        if (recorded == 0 || AllZero(recording[c]))
            return Refuse(
                SweepStatus::kSilentRecording,
                "channel " + std::to_string(c + 1) + " of the recording is empty or silent");
    if (recorded < excitation.size())
        return Refuse(SweepStatus::kShortRecording,
                      "the recording has " + std::to_string(recorded) +
                          " samples per channel, fewer than the excitation's " +
                          std::to_string(excitation.size()));
    if (!(options.preDelayS >= 0 && options.preDelayS <= 1))
        return Refuse(SweepStatus::kBadParameters, "the pre-delay must be 0..1 s");

    std::size_t active = excitation.size();
    while (excitation[active - 1] == 0.0f)
        --active;
    // Lags up to endLag (exclusive) hold the response to every frequency of the sweep.
    const auto endLag = static_cast<long>(recorded - active + 1);
    // Linear, not circular, correlation: lags from -(excitation length - 1) up to the recording's
    // length fit without wrapping onto each other, so the harmonics' images stay apart.
    const std::size_t n = PowerOfTwoAtLeast(recorded + excitation.size());
    // The negative lags the buffer holds unwrapped bound the pre-delay.
    const long preDelay = std::min(std::lround(options.preDelayS * recordingRate),
                                   static_cast<long>(excitation.size()) - 1);

    DeconvolvedResponse out;
    try {
        std::vector<Complex> inverse(n), y(n);
        for (std::size_t i = 0; i < excitation.size(); ++i)
            inverse[i] = excitation[i];
        Transform(inverse, false);
        const Band band = InvertSpectrum(inverse, recordingRate);
        const double halfFade = std::exp2(kSweepFadeOctaves / 2);
        out.bandFromHz = band.from * halfFade;
        out.bandToHz = band.to / halfFade;
        // Both ears in one transform as real and imaginary parts: the inverse is the spectrum
        // of a real filter, so it filters each part on its own.
        for (std::size_t i = 0; i < recorded; ++i)
            y[i] = Complex(recording[0][i], recording.size() == 2 ? recording[1][i] : 0.0f);
        Transform(y, false);
        for (std::size_t k = 0; k < n; ++k)
            y[k] *= inverse[k] / static_cast<double>(n);
        Transform(y, true);
        const auto part = [&](std::size_t c, std::size_t i) {
            return c == 0 ? y[i].real() : y[i].imag();
        };

        // Onset as ISO 3382-1 finds the start of a response: the first sample whose square
        // reaches 20 dB below the peak; the earlier ear for both, to keep the interaural delay.
        constexpr double kOnsetRatio = 0.01;
        long onset = endLag;
        for (std::size_t c = 0; c < recording.size(); ++c) {
            double peak = 0;
            for (long i = 0; i < endLag; ++i)
                peak = std::max(peak, part(c, static_cast<std::size_t>(i)) *
                                          part(c, static_cast<std::size_t>(i)));
            for (long i = 0; i < onset; ++i) {
                const double v = part(c, static_cast<std::size_t>(i));
                if (v * v >= kOnsetRatio * peak) {
                    onset = i;
                    break;
                }
            }
        }
        const long start = onset - preDelay;
        const auto length = static_cast<std::size_t>(endLag - start);
        out.onsetLag = onset;
        out.channels.assign(recording.size(), std::vector<float>(length));
        for (std::size_t c = 0; c < recording.size(); ++c)
            for (std::size_t i = 0; i < length; ++i) {
                // Negative lags sit at the buffer's end.
                const long lag = start + static_cast<long>(i);
                const auto at =
                    static_cast<std::size_t>(lag < 0 ? lag + static_cast<long>(n) : lag);
                out.channels[c][i] = static_cast<float>(part(c, at));
            }
    } catch (const std::bad_alloc&) {
        return Refuse(SweepStatus::kNoMemory, SweepStatusText(SweepStatus::kNoMemory));
    }
    return out;
}

}  // namespace vesk
