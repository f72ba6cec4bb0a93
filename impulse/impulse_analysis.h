// Parameters of binaural impulse responses: band level, direct sound and first reflection,
// decay curve, A-value and Tsub, and the interaural cross-correlation measures.
#pragma once

#include <cstdint>
#include <vector>

#include "base/no_value.h"

namespace vesk {

// 10*log10 of the energy after removing the mean, per sample of `per` samples (n when not
// given), samples scaled by the multiplier (0 counts as 1). A channel without energy gives
// kNoValue.
double BandLevel(const float* x, std::int32_t n, std::int32_t multiplier);
double BandLevel(const float* x, std::int32_t n, std::int32_t multiplier, double per);
// BandLevel of two channels, each the value it has alone.
void BandLevelPair(const float* l, const float* r, std::int32_t n, std::int32_t multiplier,
                   double per, double* levelL, double* levelR);

// The energy spectrum of a plain impulse response, taken over the response itself rather than
// over the period that padding it to a power of two makes, so that the same response with any
// padding, leading or trailing silence has the same band energies. (An MLS recording is one
// period, and its bands are those of the period.)
class ResponseSpectrum {
  public:
    ResponseSpectrum() = default;
    ResponseSpectrum(const float* x, std::int32_t n);
    bool Empty() const { return lags_.empty(); }
    // Energy of the band lower .. upper Hz with vertical edges (both halves of the spectrum)
    // at fs: what filtering the response alone by the band would leave.
    double BandEnergy(double lower, double upper, double fs) const;
    // BandEnergy of `count` spectra at once, each the value it has alone.
    static void BandEnergies(const ResponseSpectrum* const* spectra, int count, double lower,
                             double upper, double fs, double* energies);

  private:
    std::vector<double> lags_;  // autocorrelation from lag 0 on
};

// 10*log10 of the band's energy, samples scaled by the multiplier (0 counts as 1), per `per`
// samples; kNoValue without energy.
double BandLevel(const ResponseSpectrum& s, double lower, double upper, double fs,
                 std::int32_t multiplier, double per);

// BandLevel of both ears' spectra, each the value it has alone.
void BandLevelPair(const ResponseSpectrum& l, const ResponseSpectrum& r, double lower, double upper,
                   double fs, std::int32_t multiplier, double per, double* levelL, double* levelR);

// The binaural energy mean of two levels.
double ListeningLevel(double splLeft, double splRight);

// Direct sound and first reflection in the first half of one channel, in ms from its start.
void FindDirectAndFirstReflection(const float* x, std::int32_t n, double fs, double minimumDelayMs,
                                  double* directMs, double* reflectionMs);

// True when the channel's largest sample lies in its second half, past the search for the
// direct sound: delta-t1, A and Tsub are then taken from a wrong reference.
bool DirectSoundBeyondSearch(const float* x, std::int32_t n);

// levels[i] = 10 log10(sums[i] / r) as a float, -1000 where sums[i] or r is not positive: the
// floats of that expression with the library's logarithm, taken faster.
void DecayLevels(const double* sums, double r, std::int32_t count, float* levels);

// Backward-integrated decay curve in dB, 0 dB at the first-reflection sample, -1000 where the
// integral is not positive; y (optional) is averaged in. All -1000 when the integral from the
// first reflection on is 0.
void DecayCurve(const float* x, const float* y, float* curve, std::int32_t n, double fs,
                double t1Ms, double noiseRate);

struct TsubResult {
    double tsub = kNoValue;    // s; kNoValue when the regression range gives no slope
    double aValue = kNoValue;  // at most 20; kNoValue when the first reflection has no energy
    double slope = 0.0;        // dB per second of the regression line (0 without a slope)
    // The fit's quality: how far the curve falls over the regression range (dB) and the
    // correlation coefficient of its points with time; kNoValue without a slope.
    double rangeDb = kNoValue;
    double r = kNoValue;
};

// Tsub from a line through 0 dB at the first reflection, fitted down to the end of the
// regression; no fit ever takes a -1000 mark. bandwidthHz is the width of the band the signal
// was filtered to (0 for broadband), which sets how many samples the automatic end averages.
// When the noise range holds only digital silence, the response is taken to end at its last
// sample with energy and the noise range is the same share of that.
TsubResult ComputeTsub(const float* x, const float* y, std::int32_t n, double fs, double t1Ms,
                       double tsubEnd, int tsubAuto, double noiseRate, double bandwidthHz = 0.0);

// ComputeTsub of two single channels (y nullptr) with their own first reflections, each the
// result it has alone.
void ComputeTsubPair(const float* l, const float* r, std::int32_t n, double fs, double t1L,
                     double t1R, double tsubEnd, int tsubAuto, double noiseRate, double bandwidthHz,
                     TsubResult* left, TsubResult* right);

// Samples the automatic end of the regression averages the energy over.
std::int32_t TsubEndWindow(double fs, double bandwidthHz);

// IACF of length m = 2*trunc(0.002*fs) - 1 around lag 0 (entry c = m/2). A silent channel gives
// all zeros and false.
std::int32_t IacfLength(double fs);
bool ComputeIacf(const float* left, const float* right, std::int32_t n, float* iacf,
                 std::int32_t m);

struct IacfResult {
    double iacc = kNoValue;     // kNoValue when the IACF has no correlation to evaluate
    double tauIacc = kNoValue;  // ms
    double wiacc = kNoValue;    // ms, at most 50
    double leftWidth = 0.0, rightWidth = 0.0;  // ms
};

// IACC within +-1 ms, its lag, and the width of the peak at (1 - delta) * IACC. A side without
// a crossing runs to the end of the array with no interpolation.
IacfResult EvaluateIacf(const float* iacf, std::int32_t m, double fs, double delta);

// The curves of the reverberation page for one channel or the left/right average (x = left,
// y = right, t1 the mean of both): the energy over its maximum, the decay curves with and
// without noise correction, and the slope of the regression line from t1.
enum class DecayChannel { Average, Left, Right };
struct DecayDisplay {
    std::vector<float> echo;
    std::vector<float> withNoise;  // empty when the noise rate is 0
    std::vector<float> withoutNoise;
    double t1Ms = 0;
    double slope = 0;  // dB per second
};
// Empty curves when the channel is missing (right or average of one channel). The slope is that
// of ComputeTsub over the first decayLength samples (n when 0) with the band's lower edge.
DecayDisplay ComputeDecayDisplay(const float* left, const float* right, std::int32_t n, double fs,
                                 double t1LeftMs, double t1RightMs, double tsubEnd, int tsubAuto,
                                 double noiseRate, DecayChannel channel,
                                 std::int32_t decayLength = 0, double bandwidthHz = 0.0);

}  // namespace vesk
