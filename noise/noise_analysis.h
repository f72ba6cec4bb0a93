// The factors of a noise recording (the running-ACF engine with the microphone calibration),
// the frame that represents it, and the identification of its source against the templates.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "acf/acf_conditions.h"
#include "acf/running_acf.h"
#include "noise/templates.h"
#include "store/samples.h"

namespace vesk {

// The NMSCOND blob: the running-ACF block with the noise conditions, then the calibration.
struct NoiseConditionBlock {
    AcfConditionBlock acf;
    MicCalibration calibration;
};
constexpr int kNoiseConditionBlockSize = 416;
void EncodeNoiseConditionBlock(const NoiseConditionBlock& b, unsigned char* out);
NoiseConditionBlock DecodeNoiseConditionBlock(const unsigned char* in);

struct IdentificationSettings {
    std::int32_t mode = 0;         // 0 "Maximum SPL", 1 "Minimum Tau-e"
    std::int32_t stepsBefore = 1;  // "Before Max.SPL"
    std::int32_t stepsAfter = 1;   // "After Max.SPL"
};

// The NOISESRC blob: the distance terms that decided, and the source's name.
struct NoiseSourceResult {
    std::array<float, 4> terms{};  // Phi(0), tau-e, tau1, phi1
    std::string name;              // a template name, "Unknown", or a name given by hand ("=...")
};
constexpr int kNoiseSourceResultSize = 48;
// The name is cut to 31 bytes so that it is always terminated within its 32.
void EncodeNoiseSourceResult(const NoiseSourceResult& r, unsigned char* out);
NoiseSourceResult DecodeNoiseSourceResult(const unsigned char* in);
// The name as lists and output files show it: one leading "=" is dropped.
std::string DisplayedSourceName(const std::string& name);

// The factor records of a noise recording: two channels through the binaural engine, one
// channel through the one-channel engine (both with the calibration); the peaks are dropped.
CalcResult CalcNoiseFactors(const SampleBlock& block, const NoiseConditionBlock& conditions,
                            double fs, const AcfProgressCallback& callback,
                            std::vector<AcfFactorRecord>* factors, std::int32_t* frames);

// Phi(0), tau-e, tau1, phi1 and the regression intercept of the frame that represents the
// recording: the first loudest frame, or the one of smallest tau-e around it. Zeros without
// frames.
std::array<float, 5> SelectEvaluationFrame(const std::vector<AcfFactorRecord>& factors,
                                           const IdentificationSettings& settings);

// The closest template whose limits the frame passes, with a total distance under 1000;
// its NSTMPID, or -1 ("Unknown"). The result's terms are those of the chosen template.
std::int32_t IdentifyAgainst(const std::vector<NoiseTemplate>& templates,
                             const FactorWeights& weights, const std::array<float, 5>& frame,
                             NoiseSourceResult* result);
// Reads the library and the weights, then IdentifyAgainst. -1 without touching the result when
// there are no frames or the template table cannot be opened.
std::int32_t IdentifyNoiseSource(const std::vector<AcfFactorRecord>& factors,
                                 NoiseSourceResult* result, const IdentificationSettings& settings);

}  // namespace vesk
