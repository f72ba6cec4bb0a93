// The running ACF engine: frame by frame along a recording, the weighted autocorrelation and its
// factors Phi(0), tau-e, tau1/phi1 and further peaks, and for two channels the interaural
// cross-correlation factors. Correlations are formed in the frequency domain on float arrays;
// intermediate products are doubles.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "acf/acf_conditions.h"
#include "base/calculation.h"
#include "base/no_value.h"
#include "store/samples.h"

namespace vesk {

// One frame's factors; times in seconds. 40 bytes stored.
struct AcfFactorRecord {
    float phi0 = 0;           // 10 log10 of the ACF at lag 0, dB
    float tauE = 0;           // effective duration
    float tau1 = 0;           // lag of the first ACF peak
    float phi1 = 0;           // normalised ACF at that peak
    float intercept = 0;      // the envelope line's level at lag 0, dB
    float binauralLevel = 0;  // 10 log10 of the geometric mean of both ACFs at lag 0, dB
    float iacc = 0;
    float tauIacc = 0;
    float wiacc = 0;
    float wiaccLeft = 0;  // the part of WIACC left of the maximum
};
static_assert(sizeof(AcfFactorRecord) == 40);

// The first ten ACF peaks of a frame; entries past the last peak found are 0. 80 bytes stored.
struct AcfPeakRecord {
    std::array<float, 10> tau{};
    std::array<float, 10> phi{};
};
static_assert(sizeof(AcfPeakRecord) == 80);

// Called before each frame with the percent done; non-zero cancels.
using AcfProgressCallback = std::function<int(int percent)>;

struct RunningAcfResult {
    std::vector<AcfFactorRecord> factors;  // one per frame; empty after a cancel
    std::vector<AcfPeakRecord> peaks;      // one per frame; kept after a cancel
    std::int32_t frames = 0;               // F, or the frames finished before a cancel
};

// Dispatches on the block's channel count: 1 mono, 2 binaural without calibration, another
// count Unusable. Conditions must pass CheckRunningAcfConditions.
CalcResult CalcRunningAcf(const SampleBlock& block, const AcfConditionBlock& conditions, double fs,
                          const AcfProgressCallback& callback, RunningAcfResult* result);

// `sampleNum` samples per channel are analysed, bounded by the samples the block holds. The
// first channel of the block is taken; a calibration is applied as in the binaural engine.
CalcResult CalcRunningAcfMono(const SampleBlock& block, std::int32_t sampleNum,
                              const RunningAcfConditions& conditions, double fs,
                              const AcfProgressCallback& callback, RunningAcfResult* result,
                              const MicCalibration* calibration = nullptr);
// Left and right of a two-channel block (a one-channel block is Unusable). With a calibration
// the weighting is divided by the microphone response and scaled to pascal-like units.
CalcResult CalcRunningAcfBinaural(const SampleBlock& block, std::int32_t sampleNum,
                                  const RunningAcfConditions& conditions, double wiaccWidth,
                                  const MicCalibration* calibration, double fs,
                                  const AcfProgressCallback& callback, RunningAcfResult* result);

// The real, symmetric weighting response of length n (with the calibration when given).
std::vector<float> AcfWeightingResponse(std::uint32_t weighting, const MicCalibration* calibration,
                                        std::int32_t n, double fs);

// The frame functions of the engine, for the result pages; each returns n values.
// ACF of x over L samples against L + D (lag t at index t).
std::vector<float> FrameAcfMono(const float* x, std::int32_t L, std::int32_t LD, std::int32_t n,
                                const float* response);
// Left ACF of the L-sample segments; energy = sqrt(left ACF(0) * right ACF(0)).
std::vector<float> FrameAcfBinaural(const float* left, const float* right, std::int32_t L,
                                    std::int32_t n, const float* response, float* energy);
// Cross-correlation: index t holds lag t >= 0 (left lags right), index n - t lag -t.
std::vector<float> FrameIacf(const float* left, const float* right, std::int32_t L, std::int32_t n,
                             const float* response);

// The ACF factors of one frame from the ACF array (`size` values, lag t at index t) analysed up
// to lag D. The tau-e envelope search never reads lags at or beyond D.
void ExtractAcfFactors(const RunningAcfConditions& conditions, AcfFactorRecord* record,
                       AcfPeakRecord* peaks, double fs, const float* acf, std::int32_t size,
                       std::int32_t maxDelay);
// The tau-e envelope of a normalised ACF p analysed up to lag D: the points (seconds, dB) the
// regression line is fitted to.
struct AcfEnvelope {
    static constexpr int kMaxPoints = 256;
    int count = 0;
    std::array<float, kMaxPoints> time{};
    std::array<float, kMaxPoints> level{};
};
AcfEnvelope TauEEnvelope(const RunningAcfConditions& conditions, double fs, const float* p,
                         std::int32_t maxDelay);

// The interaural factors from the window w of m values (lags -m/2 .. m/2 - 1) and the energy.
void ExtractIacfFactors(double wiaccWidth, AcfFactorRecord* record, float fs, const float* w,
                        std::int32_t m, float energy);

// One frame as the result pages draw it, computed again from the samples: the ACF of the first
// channel over L samples against L + D (for two channels too), normalised by its value at lag 0,
// with its factors and tau-e envelope; for two channels also the interaural window of lags
// -h .. h - 1 normalised by the binaural energy, with the interaural factors.
struct AcfFrameView {
    bool valid = false;
    std::vector<float> phi;  // lag t at index t, D values
    AcfFactorRecord factors;
    AcfEnvelope envelope;
    std::vector<float> iacf;  // empty for one channel
};

// Keeps the framing and the weighting response of a recording, so that stepping from frame to
// frame only transforms the frame.
class AcfFrameViewer {
  public:
    // Conditions that fail CheckRunningAcfConditions give no frames.
    AcfFrameViewer(const SampleBlock& block, std::int32_t sampleNum,
                   const RunningAcfConditions& conditions, double wiaccWidth,
                   const MicCalibration* calibration, double fs);
    std::int32_t Frames() const { return m_response.empty() ? 0 : m_framing.frames; }
    const AcfFraming& Framing() const { return m_framing; }
    double SamplingRate() const { return m_fs; }
    AcfFrameView Frame(std::int32_t k, bool withIacf) const;

  private:
    const SampleBlock& m_block;
    RunningAcfConditions m_conditions;
    double m_wiaccWidth, m_fs;
    std::int64_t m_available = 0;
    AcfFraming m_framing;
    std::vector<float> m_response;
};

}  // namespace vesk
