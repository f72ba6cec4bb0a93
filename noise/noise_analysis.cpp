#include "noise/noise_analysis.h"

#include <cmath>
#include <cstring>

#include "resources/strings.h"
#include "store/file_io.h"

namespace vesk {

using namespace detail;

void EncodeNoiseConditionBlock(const NoiseConditionBlock& b, unsigned char* p) {
    EncodeAcfConditionBlock(b.acf, p);
    EncodeMicCalibration(b.calibration, p + kAcfConditionBlockSize);
}

NoiseConditionBlock DecodeNoiseConditionBlock(const unsigned char* p) {
    NoiseConditionBlock b;
    b.acf = DecodeAcfConditionBlock(p);
    b.calibration = DecodeMicCalibration(p + kAcfConditionBlockSize);
    return b;
}

void EncodeNoiseSourceResult(const NoiseSourceResult& r, unsigned char* p) {
    std::memset(p, 0, kNoiseSourceResultSize);
    for (int k = 0; k < 4; ++k)
        PutF32(p + 4 * k, r.terms[static_cast<std::size_t>(k)]);
    std::memcpy(p + 16, r.name.data(), std::min<std::size_t>(r.name.size(), 31));
}

NoiseSourceResult DecodeNoiseSourceResult(const unsigned char* p) {
    NoiseSourceResult r;
    for (int k = 0; k < 4; ++k)
        r.terms[static_cast<std::size_t>(k)] = GetF32(p + 4 * k);
    const char* name = reinterpret_cast<const char*>(p + 16);
    r.name.assign(name, strnlen(name, 32));
    return r;
}

std::string DisplayedSourceName(const std::string& name) {
    return !name.empty() && name[0] == '=' ? name.substr(1) : name;
}

CalcResult CalcNoiseFactors(const SampleBlock& block, const NoiseConditionBlock& c, double fs,
                            const AcfProgressCallback& callback,
                            std::vector<AcfFactorRecord>* factors, std::int32_t* frames) {
    RunningAcfResult result;
    CalcResult status;
    if (block.channels == 2)
        status = CalcRunningAcfBinaural(block, c.acf.sampleNum, c.acf.conditions, c.acf.wiaccWidth,
                                        &c.calibration, fs, callback, &result);
    else if (block.channels == 1)
        status = CalcRunningAcfMono(block, c.acf.sampleNum, c.acf.conditions, fs, callback, &result,
                                    &c.calibration);
    else
        status = CalcResult::Unusable;
    *factors = std::move(result.factors);
    *frames = result.frames;
    return status;
}

std::array<float, 5> SelectEvaluationFrame(const std::vector<AcfFactorRecord>& factors,
                                           const IdentificationSettings& settings) {
    if (factors.empty()) return {};
    const std::int64_t count = static_cast<std::int64_t>(factors.size());
    std::int64_t m = 0;
    for (std::int64_t k = 1; k < count; ++k)
        if (factors[static_cast<std::size_t>(k)].phi0 > factors[static_cast<std::size_t>(m)].phi0)
            m = k;
    std::int64_t chosen = m;
    if (settings.mode == 1) {
        auto consider = [&](std::int64_t k) {
            if (factors[static_cast<std::size_t>(k)].tauE <
                factors[static_cast<std::size_t>(chosen)].tauE)
                chosen = k;
        };
        for (std::int64_t k = 1; k <= settings.stepsBefore && m - k >= 0; ++k)
            consider(m - k);
        for (std::int64_t k = 1; k <= settings.stepsAfter && m + k < count; ++k)
            consider(m + k);
    }
    const AcfFactorRecord& f = factors[static_cast<std::size_t>(chosen)];
    return {f.phi0, f.tauE, f.tau1, f.phi1, f.intercept};
}

std::int32_t IdentifyAgainst(const std::vector<NoiseTemplate>& templates,
                             const FactorWeights& weights, const std::array<float, 5>& frame,
                             NoiseSourceResult* result) {
    const float value[4] = {frame[0], frame[1], frame[2], frame[3]};
    const float w0 = weights.w[0], w1 = weights.w[1], w2 = weights.w[2], w3 = weights.w[3];
    const double logE = std::log(static_cast<double>(value[kTauE]));
    const double logT = std::log(static_cast<double>(value[kTau1]));
    const double logH = std::log(static_cast<double>(value[kPhi1]));
    result->name = LoadString(str::kUnknownSource);
    double best = 1000.0;
    std::int32_t chosen = -1;
    for (const NoiseTemplate& t : templates) {
        const NoiseTemplateData& d = t.data;
        bool rejected = false;
        for (std::size_t f = 0; f < 4 && !rejected; ++f)
            rejected = (d.useLower[f] && value[f] < d.lower[f]) ||
                       (d.useUpper[f] && value[f] > d.upper[f]);
        if (rejected) continue;
        const double d0 =
            std::fabs(static_cast<double>(value[kPhi0] - d.standard[kPhi0])) * w0 * 0.1;
        const double d1 = std::fabs(logE - std::log(static_cast<double>(d.standard[kTauE]))) * w1;
        const double d2 = std::fabs(logT - std::log(static_cast<double>(d.standard[kTau1]))) * w2;
        const double d3 = std::fabs(logH - std::log(static_cast<double>(d.standard[kPhi1]))) * w3;
        const double total = d3 + d2 + d1 + d0;
        if (total < best) {
            best = total;
            result->terms = {static_cast<float>(d0), static_cast<float>(d1), static_cast<float>(d2),
                             static_cast<float>(d3)};
            result->name = t.name;
            chosen = t.id;
        }
    }
    return chosen;
}

std::int32_t IdentifyNoiseSource(const std::vector<AcfFactorRecord>& factors,
                                 NoiseSourceResult* result,
                                 const IdentificationSettings& settings) {
    if (factors.empty()) return -1;
    std::vector<NoiseTemplate> templates;
    if (!LoadTemplates(&templates)) return -1;
    return IdentifyAgainst(templates, ReadFactorWeights(), SelectEvaluationFrame(factors, settings),
                           result);
}

}  // namespace vesk
