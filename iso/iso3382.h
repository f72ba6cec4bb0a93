// Room-acoustic parameters of ISO 3382-1 from one or two impulse responses: decay times (EDT,
// T20, T30) with their fit quality, energy ratios (C50, C80, D50), centre time Ts and, for two
// ears, IACC early, late and whole, per band of IEC 61260-1 class 1 octave or third-octave
// filters and broadband. A value that cannot be formed is NaN with a reason, never a number
// taken from a shorter range than its name says.
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/no_value.h"

namespace vesk::iso {

enum class BandSystem { Octave = 0, ThirdOctave = 1 };

// One band-pass of the bank: a Butterworth band-pass (low-pass prototype of order `order`,
// so `order` biquads) made by the bilinear transform with both band edges prewarped.
struct Biquad {
    double b0, b1, b2, a1, a2;  // y = b0 x + b1 x[-1] + b2 x[-2] - a1 y[-1] - a2 y[-2]
};
struct BandFilter {
    double nominalCentre = 0;             // Hz, the label (IEC 61260-1 Annex E)
    double exactCentre = 0;               // Hz, 1000 * G^(x/b), G = 10^(3/10)
    double lowerEdge = 0, upperEdge = 0;  // Hz, exactCentre * G^(-+1/(2b))
    int order = 0;
    bool timeReversed = false;  // filtered backwards in time (see DesignBandFilters)
    std::vector<Biquad> sections;
};

// Bands below this nominal centre are filtered time-reversed by default, as ISO 3382-1 allows.
// Forward filtering keeps its ringing out of the decay for B*T > 16 (Jacobsen 1987),
// time-reversed filtering already for B*T > 4 (Rasmussen, Rindel, Henriksen 1991); at 250 Hz a
// third-octave (B = 58 Hz) filtered forwards meets B*T > 16 from T = 0.28 s, shorter than the rooms
// this is meant for, while the 125 Hz third-octave would need 0.55 s. Forward above it keeps the
// early energy (C50, C80, Ts, IACC_E) free of the pre-ringing a reversed filter puts before the
// onset.
constexpr double kReversedBelowDefault = 250.0;

// The bands of the system whose nominal centre lies in [lowest, highest] (Hz) and whose upper
// edge lies below fs/2, in rising order. Each filter meets the IEC 61260-1:2014 class 1 limits
// at its breakpoints below fs/2: the order starts at 3 and rises near Nyquist, where the
// bilinear transform squeezes the lower skirt. Empty for fs <= 0.
std::vector<BandFilter> DesignBandFilters(BandSystem system, double fs, double lowest,
                                          double highest,
                                          double reversedBelow = kReversedBelowDefault);

// The filter's complex response at f Hz (for the display).
std::complex<double> FilterResponse(const BandFilter& filter, double f, double fs);

// Filters n samples of x into y, forwards or backwards in time as the filter says, from rest.
void ApplyBandFilter(const BandFilter& filter, const float* x, double* y, std::size_t n);

// Why a value is missing.
enum class Missing : std::uint8_t {
    None = 0,
    NoSignal,    // the channel holds no energy
    NoDecay,     // no decay stands 10 dB above the noise (Lundeby's first regression fails)
    Range,       // the impulse-to-noise ratio is below what the range needs
    OneChannel,  // IACC of a one-channel measurement
};
const char* MissingText(Missing why);

// Flags, as short words in FlagWords for a machine-readable export.
enum Flag : std::uint32_t {
    kFlagRange = 1u << 0,      // a decay time had no range ("range")
    kFlagR = 1u << 1,          // a fitted line with |r| < 0.98 ("r")
    kFlagXi = 1u << 2,         // non-linearity above 10 per mille ("xi")
    kFlagCurvature = 1u << 3,  // curvature outside 0..10 % ("curvature")
    kFlagNoise = 1u << 4,      // no decay above the noise, or truncation inside 80 ms ("noise")
};
std::vector<std::string> FlagWords(std::uint32_t flags);

// The store keeps kNoValue for a missing value; this is the one place that maps NaN to it.
double ToStoreValue(double value);

struct DecayTime {
    double seconds;       // NaN when missing
    double r;             // correlation coefficient of the fitted line (negative for a decay)
    double xi;            // ISO 3382-2 Annex B non-linearity, per mille: 1000 (1 - r^2)
    double lineAtOnset;   // dB, the fitted line's level at the onset (to draw it)
    double fromDb, toDb;  // the evaluation range on the backward-integrated curve
    Missing missing;
    std::uint32_t flags;
};

struct ChannelResult {
    double onset;       // s from the start: this band's first sample 20 dB below its max
    double truncation;  // s after the onset where Lundeby's decay meets the noise
    double noiseDb;     // noise power per sample, dB re the largest squared sample
    double inr;         // dB, impulse-to-noise ratio: 10 ms peak power over the noise power
    DecayTime edt, t20, t30;
    double curvature;          // % = 100 (T30 / T20 - 1); NaN when either is missing (their
                               // reasons say why)
    double c50, c80, d50, ts;  // dB, dB, fraction, s; NaN when missing
    Missing energyMissing;     // the reason when c50 .. ts are missing
    std::uint32_t flags;       // union of the decay times' flags and the band's own
};

struct Iacc {
    double value;  // max |IACF| over |tau| <= 1 ms; NaN when missing
    double tauMs;  // lag of that maximum, ms; positive when the right ear lags
};

struct BandResult {
    double nominalCentre;  // 0 for broadband
    bool timeReversed;
    ChannelResult channel[2];  // [1] unused for one channel
    Iacc early, late, all;     // 0..80 ms, 80 ms..end, whole, from the earlier ear's onset
    Missing iaccMissing;
};

// ISO 3382-1 Table A.1: means of the 500 Hz and 1 kHz octaves; IACC_E3 and IACC_L3 means of
// the 500 Hz, 1 kHz and 2 kHz octaves. Always from octave filters, also when the bands are
// third-octaves (then those octaves are filtered in addition): the table defines octaves, and
// an octave filter's energy is not the mean of its thirds' decay times. NaN when a band
// lacks the value (its reason is in an octave analysis of the same response).
struct SingleNumbers {
    double edt[2], t20[2], t30[2], c50[2], c80[2], d50[2], ts[2];
    double iaccE3, iaccL3;
};

struct Options {
    BandSystem system = BandSystem::Octave;
    double lowest = 31.5;    // Hz, nominal
    double highest = 16000;  // Hz, nominal
    double reversedBelow = kReversedBelowDefault;
};

struct Results {
    int channels = 0;
    std::vector<BandResult> bands;  // [0] broadband, then every band in rising order
    SingleNumbers single{};
};

enum Status { kDone = 0, kBadInput = 1 };

// Computes broadband and every band of the options for one channel (right == nullptr) or two.
// Trailing samples that are zero in every channel are padding and left out. kBadInput, and
// nothing computed, when left is null, n == 0, fs <= 0 or lowest > highest.
// An Analyzer keeps its designed filters for the next call with the same fs and options.
// The bands are independent: `parallel`, when given, runs body(i) for every i below count, on
// any threads, and returns when all are done; each band is computed exactly as alone.
using ParallelFor =
    std::function<void(std::size_t count, const std::function<void(std::size_t)>& body)>;
class Analyzer {
  public:
    int Calculate(const float* left, const float* right, std::size_t n, double fs,
                  const Options& options, Results* results, const ParallelFor& parallel = {});

  private:
    double m_fs = 0;
    Options m_options;
    std::vector<BandFilter> m_filters, m_singleFilters;
};

}  // namespace vesk::iso
