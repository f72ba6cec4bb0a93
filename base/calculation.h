// What every calculation returns, and which measurements a run over a folder takes; shared by
// the impulse, running-ACF and noise calculations so that the desktop and the command line
// drive them alike.
#pragma once

namespace vesk {

// The outcome of one measurement's calculation. Unusable: the measurement cannot be computed
// (no samples for its length, no sampling rate, conditions it cannot take).
enum class CalcResult { Finished = 0, Cancelled = 1, Unusable = 2 };

// Which measurements a run takes: "non Calculation", "Selected Data", "All data".
enum class Target { NonCalculated = 0, Selected = 1, All = 2 };

}  // namespace vesk
