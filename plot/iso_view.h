// What is shown of a measurement's ISO 3382-1 result, without a window: its table, the decay
// curve of one band and ear with its fitted lines, the series of one parameter over the bands,
// and the texts that name them. The desktop page, the graph files and the reports share them.
#pragma once

#include <string>
#include <vector>

#include "plot/curve_layout.h"
#include "plot/graphs.h"
#include "plot/table_rows.h"
#include "store/iso_result.h"

namespace vesk {

// The ISO result of recovered responses, computed in the band system and range of an ACPARAM
// record (octaves or third-octaves between its lowest and highest band); false without samples.
bool ComputeIsoForDisplay(const std::vector<float>& left, const std::vector<float>& right,
                          double fs, const AcParamRecord& result, IsoResultRecord* out);

// A measurement's stored ISO result or, where none was stored, one computed for display from
// its recovered responses (*computed). *has is false, and *out empty, when neither can be had.
IsoLoad LoadIsoForDisplay(long impulseId, const std::vector<float>& left,
                          const std::vector<float>& right, double fs, const AcParamRecord& result,
                          IsoResultRecord* out, bool* has, bool* computed);

// One row per band and ear; the key is band * 2 + ear. A missing value reads as its reason.
std::vector<ResultColumn> IsoColumns();
std::vector<ResultRow> IsoRows(const IsoResultRecord& result);

// "Broadband" or "1000 Hz octave" / "1250 Hz third-octave".
std::string IsoBandTitle(const IsoResultRecord& result, std::size_t band);
// The short names of the bands, as the table shows them: "All", "125", "1k", ...
std::vector<std::string> IsoBandNames(const IsoResultRecord& result);
// The single-number values of ISO 3382-1 Table A.1, one line; or two, the decay times first.
std::string IsoSingleNumberText(const IsoResultRecord& result);
std::vector<std::string> IsoSingleNumberLines(const IsoResultRecord& result);

// The backward-integrated decay of one band and ear from its onset (s after it, 0 dB at it),
// with the EDT, T20 and T30 lines over the ranges they were fitted on. `response` is the whole
// (unfiltered) response at fs; no curve when the band has no onset or the response is empty.
FittedDecayGraph IsoDecayOf(const std::vector<float>& response, double fs,
                            const IsoResultRecord& result, std::size_t band, int ear);

enum class IsoParameter { Edt, T20, T30, C50, C80, D50, Ts, Inr, IaccE, IaccL, IaccA };
constexpr int kIsoParameterCount = 11;
const char* IsoParameterName(IsoParameter p);
// One value per band (broadband first); for two ears the mean, then left and right.
ParameterPlot IsoParameterSeries(const IsoResultRecord& result, IsoParameter p);

}  // namespace vesk
