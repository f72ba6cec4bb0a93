// What every calculation returns, which measurements a run over a folder takes, and what the
// run found; shared by the impulse, running-ACF and noise calculations so that the desktop and
// the command line drive them alike.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vesk {

// The outcome of one measurement's calculation. Unusable: the measurement cannot be computed
// (no samples for its length, no sampling rate, conditions it cannot take).
enum class CalcResult { Finished = 0, Cancelled = 1, Unusable = 2 };

// Which measurements a run takes: "non Calculation", "Selected Data", "All data".
enum class Target { NonCalculated = 0, Selected = 1, All = 2 };

// What a run over a folder did. A count a kind of calculation never sets stays 0.
struct RunSummary {
    int taken = 0;  // measurements the target chose
    int computed = 0;
    int identified = 0;     // noise: computed and matched to a template
    int skipped = 0;        // without samples, gone since the folder was read, or not computable
    int damaged = 0;        // could not be read, each named in a store message
    int writeFailures = 0;  // 1 when a result could not be written (the run stopped there)
    bool cancelled = false;
    // A table, the folder or the template library could not be read (nothing computed), or a
    // result could not be written.
    bool failed = false;
    std::string refused;  // conditions that cannot be used; nothing was computed
    // Impulse: measurements computed although their direct sound lies past the searched first
    // half.
    struct Measurement {
        std::int32_t id;
        std::string title;
    };
    std::vector<Measurement> directSoundBeyondSearch;
};

}  // namespace vesk
