// A finished sound-card measurement stored in its folder, as an imported file of its kind.
#pragma once

#include <cstdint>
#include <string>

#include "audio/measurement.h"
#include "shell/settings.h"
#include "store/records.h"

namespace vesk {

struct StoredMeasurement {
    bool ok = false;
    std::int32_t id = 0;  // the new record's ID
    std::string note;     // what the user should know (a response scaled to fit), or the failure
};

// Impulse folders take an MLS recording (mls) or a response, the others a recording; noise
// recordings take the next free number and the calibration level with the noise conditions of
// the settings. The samples are the store's 16 bits; a response that would clip is scaled
// to -1 dBFS.
StoredMeasurement StoreMeasurement(const FolderRecord& folder, const std::string& title,
                                   const audio::Measurement& m, bool mls, double calLevel,
                                   const AppSettings& settings);

}  // namespace vesk
