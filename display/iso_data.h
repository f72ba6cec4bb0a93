// What the "ISO 3382" page and the "Parameters" graph show of a measurement's ISO 3382-1 result,
// without a window: the table rows with their units and missing-value reasons, the decay curve
// of one band with its fitted lines, and the series of one parameter over the bands.
#pragma once

#include <string>
#include <vector>

#include "display/curve_layout.h"
#include "display/result_lists.h"
#include "iso/iso3382.h"
#include "store/iso_result.h"

namespace vesk {

// The ISO result of recovered responses, computed in the band system and range of an ACPARAM
// record (octaves or third-octaves between its lowest and highest band); false without samples.
bool ComputeIsoForDisplay(const std::vector<float>& left, const std::vector<float>& right,
                          double fs, const AcParamRecord& result, IsoResultRecord* out);

// One row per band and ear; the key is band * 2 + ear. A missing value reads as its reason.
std::vector<ResultColumn> IsoColumns();
std::vector<ResultRow> IsoRows(const IsoResultRecord& result);
// "Broadband" or "1000 Hz octave" / "1250 Hz third-octave".
std::string IsoBandTitle(const IsoResultRecord& result, std::size_t band);
// The single-number values of ISO 3382-1 Table A.1, one line.
std::string IsoSingleNumberText(const IsoResultRecord& result);

// The backward-integrated decay of one band and ear from its onset, in dB, with the EDT, T20 and
// T30 lines over the ranges they were fitted on.
struct IsoDecayLine {
    std::string name;
    double t0 = 0, level0 = 0, t1 = 0, level1 = 0;  // s after the onset, dB
};
struct IsoDecayCurve {
    std::vector<double> t, level;  // s after the onset, dB (0 at the onset)
    std::vector<IsoDecayLine> lines;
};
// `response` is the whole (unfiltered) response at fs; empty when the band has no onset or the
// response is empty.
IsoDecayCurve IsoDecayOf(const std::vector<float>& response, double fs,
                         const IsoResultRecord& result, std::size_t band, int ear);

enum class IsoParameter { Edt, T20, T30, C50, C80, D50, Ts, Inr, IaccE, IaccL, IaccA };
constexpr int kIsoParameterCount = 11;
const char* IsoParameterName(IsoParameter p);
// One value per band (broadband first); for two ears the mean, then left and right.
ParameterPlot IsoParameterSeries(const IsoResultRecord& result, IsoParameter p);

}  // namespace vesk
