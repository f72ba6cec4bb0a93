// Exponential sine sweeps (the method of Farina): the excitation, and the deconvolution of a
// recording into the linear impulse response with the harmonic distortion products cut away.
#pragma once

#include <string>
#include <vector>

namespace vesk {

enum class SweepStatus {
    kDone = 0,
    kBadParameters,     // rate, band, length, tail, level or pre-delay out of range
    kRateMismatch,      // recording and excitation at different sampling rates
    kBadChannels,       // recording with no or more than two channels
    kUnequalChannels,   // recording channels of different lengths
    kShortRecording,    // recording shorter than the excitation
    kSilentExcitation,  // excitation empty or all zero
    kSilentRecording,   // recording empty, or a channel all zero
    kNotFinite,         // a sample of either signal infinite or NaN
    kNoMemory,
};

// A fixed English text for each status.
const char* SweepStatusText(SweepStatus status);

// Each fade of the sweep spans this fraction of an octave, and the sweep runs this far beyond
// each end of its band so that the fades lie outside it. A twelfth of an octave keeps the sweep
// within the rate for a 20 kHz band at 44.1 kHz, and is smooth enough that the sweep starts and
// stops without a click, whose broadband energy would ring in the response.
inline constexpr double kSweepFadeOctaves = 1.0 / 12.0;

// Default excitation: 48 kHz, 20 Hz to 20 kHz (the audible range: the octaves 31.5 Hz..8 kHz in
// full), 5 s (about 0.5 s per octave, so the 2nd harmonic's image lands 0.5 s ahead of the
// response), 2 s of silent tail (room for a large hall's decay), peak 0.5 (-6 dBFS: headroom
// for the playback chain's resampling and reconstruction overshoot).
struct SweepParameters {
    double rate = 48000;  // Hz
    double fromHz = 20;   // the band measured at 0 dB
    double toHz = 20000;
    double lengthS = 5;  // the sweep, fades included
    double tailS = 2;    // digital silence after the sweep
    double peak = 0.5;   // linear full-scale amplitude, (0, 1]
};

struct SweepSignal {
    SweepStatus status = SweepStatus::kDone;
    std::string message;  // names the offending value; empty when done
    // round(lengthS * rate) samples of sweep, then round(tailS * rate) zeros.
    std::vector<float> samples;
};

// x(t) = peak * sin(2 pi f1 L (exp(t/L) - 1)), t in [0, lengthS], with
//   f1 = fromHz 2^-kSweepFadeOctaves, f2 = toHz 2^kSweepFadeOctaves, L = lengthS / ln(f2/f1):
// the instantaneous frequency rises from f1 to f1 exp(t/L) = f2. Raised-cosine (half-Hann) fades
// take the first and the last kSweepFadeOctaves, below fromHz and above toHz. Needs
// 8000 <= rate <= 768000, 0 < 2 fromHz <= toHz, f2 <= rate/2 (toHz <= 22.6 kHz at 48 kHz),
// 0.1 s <= lengthS <= 600 s, 0 <= tailS <= 600 s, 0 < peak <= 1.
SweepSignal MakeSweep(const SweepParameters& parameters);

// L = lengthS / ln(f2/f1), the time the sweep takes to rise by a factor e, in seconds.
double SweepTimeConstantS(const SweepParameters& parameters);

// How much earlier than the linear response the k-th harmonic's image arrives after
// deconvolution of that sweep: L ln k seconds (L as for MakeSweep).
double HarmonicAdvanceS(int k, const SweepParameters& parameters);

struct DeconvolveOptions {
    // Kept before the linear response's onset, 0..1 s. 10 ms holds the direct sound's rise and
    // the band limit's ringing ahead of it, and stays well below the 2nd harmonic's advance,
    // which is the sweep's seconds per octave (0.1 s for 1 s over 20 Hz..20 kHz). A pre-delay
    // beyond HarmonicAdvanceS(2) of the excitation lets the 2nd harmonic's image in.
    double preDelayS = 0.01;
};

struct DeconvolvedResponse {
    SweepStatus status = SweepStatus::kDone;
    std::string message;
    // One response per recording channel, all of one length. Sample 0 lies preDelay before the
    // onset: the first sample of any channel whose square reaches -20 dB of that channel's peak
    // (a full-band arrival's band-limited side lobes reach that up to 3 samples ahead of it).
    std::vector<std::vector<float>> channels;
    long onsetLag = 0;  // samples from the recording's start to the onset (the latency)
    // The band held at 0 dB, found in the excitation's spectrum: where its density |X|^2 f falls
    // to a quarter of its plateau (half amplitude: where a fade is half done), half a fade
    // inwards.
    double bandFromHz = 0;
    double bandToHz = 0;
};

// Deconvolves a recording of the excitation (1 or 2 channels, each channels[c] one signal) by
// regularised spectral division with the excitation's amplitude-compensated inverse, band-limited
// to the band the excitation covers at full level: for a MakeSweep excitation, fromHz..toHz.
// Normalisation: 0 dB within that band, falling through -6 dB at half a fade beyond each edge to
// nothing at a whole fade beyond, with a raised cosine in log frequency (the fades' own shape).
// So a recording equal to the excitation convolved with h gives h band-limited to the sweep's
// band, and a unit impulse a band-limited unit impulse: peak 2 (b - a) / rate, where a and b
// are the -6 dB points (0.857 for 20 Hz..20 kHz at 48 kHz).
// Division rather than Farina's time-reversed sweep with a -6 dB/octave envelope: it has the
// same phase, so the k-th harmonic's image still lands HarmonicAdvanceS(k) ahead of the linear
// response, but it also divides out the fades and the ripple at the band edges, which makes the
// level exact. The response ends at the last lag the recording holds for every frequency of the
// sweep: the recording's length minus the excitation's active length (up to its last non-zero
// sample).
DeconvolvedResponse Deconvolve(const std::vector<std::vector<float>>& recording,
                               double recordingRate, const std::vector<float>& excitation,
                               double excitationRate, const DeconvolveOptions& options = {});

}  // namespace vesk
