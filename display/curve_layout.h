// The series of the "Parameters" graph from the parameter list's rows.
#pragma once

#include <vector>

#include "display/result_lists.h"
#include "plot/curve_layout.h"

namespace vesk {

// `rows` are the parameter list's rows in band order (AcousticParameterRows).
ParameterPlot ParameterSeries(const std::vector<ResultRow>& rows, int channels,
                              ShownParameter choice);

}  // namespace vesk
