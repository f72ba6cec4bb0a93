// The graphs of a stored measurement's result pages, loaded without a window: for graph files,
// reports and the desktop's statistics.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "acf/running_acf.h"
#include "plot/graphs.h"
#include "store/iso_result.h"
#include "store/records.h"

namespace vesk {

// A measurement with its stored result, as the result pages draw it.
struct LoadedMeasurement {
    char kind = 'I';
    std::int32_t id = 0;
    std::string title;
    int channels = 1;
    double fs = 0;
    bool hasResult = false;
    // Impulse responses.
    ImpulseRecord impulse;
    std::vector<float> left, right;  // recovered responses; empty without samples
    AcParamRecord result;
    double splOffset = 0;
    // The ISO 3382-1 result: stored, or computed from the samples for display (isoComputed).
    bool hasIso = false, isoComputed = false;
    IsoResultRecord iso;
    // Running sound and noise.
    std::vector<AcfFactorRecord> factors;
    double step = 0.1, phiOffset = 0, wiaccWidth = 0.1;
    std::string source;  // the identified source of a noise recording
    SampleBlock block;
    RunningAcfConditions conditions;
    std::int32_t sampleNum = 0;
    MicCalibration calibration;
    bool calibrated = false;
};

enum class LoadStatus { Done, NoMeasurement, StoreFailed };
// Reads measurement `id` of a folder of `kind` ("I", "A", "N") with its result; the samples
// too when `samples` (the graphs over time need them).
LoadStatus LoadMeasurement(std::int32_t folderId, const std::string& kind, std::int32_t id,
                           bool samples, LoadedMeasurement* out);

// The values of one band entry as the parameter list shows them (levels with the SPL reference;
// for two channels the means, -1000 where either channel has none). One channel leaves the
// right and interaural values at -1000.
struct BandParameters {
    std::int32_t freq = 0;
    std::string label;
    double spl = -1000, splL = -1000, splR = -1000, a = -1000, aL = -1000, aR = -1000, tsub = -1000,
           tsubL = -1000, tsubR = -1000, iacc = -1000, tiacc = -1000, wiacc = -1000;
};
std::vector<BandParameters> ParameterTable(const LoadedMeasurement& m);

// The page names of a folder kind, lower-case with hyphens.
std::vector<std::string> GraphPageNames(char kind);
// The band names of an impulse result ("All(F)", "125", ...), in stored order; of the
// "iso-3382" page the ISO result's ("All", "125", "1k", ...).
std::vector<std::string> BandNames(const LoadedMeasurement& m);

struct PageChoice {
    std::string page;
    std::string band;  // empty: the first entry
    int frame = 0;
};

enum class PageStatus { Done, UnknownPage, UnknownBand, UnknownFrame };
// The graphs of one page, top to bottom. `valid` lists the names that would have been accepted
// when the page, band or frame is unknown.
PageStatus PageGraphs(const LoadedMeasurement& m, const PageChoice& choice,
                      std::vector<std::unique_ptr<Graph>>* graphs, std::vector<std::string>* valid);

}  // namespace vesk
