// One measurement's result as the result dialogs show it: read from the store and decoded
// without a window, so that the dialogs and their recalculations never open a table themselves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "acf/acf_conditions.h"
#include "acf/running_acf.h"
#include "store/iso_result.h"
#include "store/records.h"
#include "store/samples.h"

namespace vesk {

// How far a load got. Anything but Loaded has been reported by the store already, except
// NoSamples, which the caller reports once its window is on screen.
enum class ResultLoad {
    Loaded,         // the measurement, its samples and its result if one is stored
    NoMeasurement,  // no record with that ID, or its table cannot be read: nothing else was read
    NoSamples,      // the record and any result, but the samples are missing or damaged
    DamagedResult,  // a result is stored but cannot be read; shown as no result
};

// The folder the measurement belongs to (defaults, with a scale of 1, when it cannot be read).
struct LoadedFolder {
    bool read = false;
    FolderRecord record;
};

struct ImpulseResultData {
    ResultLoad status = ResultLoad::NoMeasurement;
    LoadedFolder folder;
    ImpulseRecord measurement;
    SampleBlock block;
    // The recovered responses; empty without samples or when they cannot be recovered.
    std::vector<float> left, right;
    double fs = 0;  // the sampling rate with the folder's time scale applied
    int channels = 1;
    bool hasResult = false;
    AcParamRecord result;
    double splOffset = 0;  // the SPL reference of the result, in dB
    // The ISO 3382-1 result stored with it; one not stored is computed from the responses for
    // display (isoComputed), one that cannot be read is not (isoStatus Failed).
    IsoLoad isoStatus = IsoLoad::Absent;
    bool hasIso = false, isoComputed = false;
    IsoResultRecord iso;
};

// A running-ACF ('A') or noise ('N') recording with its factors.
struct FactorResultData {
    ResultLoad status = ResultLoad::NoMeasurement;
    LoadedFolder folder;
    std::int32_t sampling = 0, channels = 1;
    double dataTime = 0;
    std::string title, comment, time;  // noise: "No. n" and the identified source
    SampleBlock block;
    bool hasResult = false;  // a result record was read (noise: the recording was analysed)
    RunningAcfConditions conditions;
    std::int32_t sampleNum = 0;
    double wiaccWidth = 0.1;
    bool hasCalibration = false;  // noise recordings carry one
    MicCalibration calibration;
    std::vector<AcfFactorRecord> factors;
    std::vector<AcfPeakRecord> peaks;  // running ACF only
    double phiOffset = 0;              // the Phi(0) reference, running ACF only
    double Fs() const { return sampling / folder.record.TimeScale(); }
};

// Reads the folder, the IMPULSE record with its samples and the ACPARAM result, and recovers the
// impulse responses.
ImpulseResultData LoadImpulseResult(std::int32_t folderId, std::int32_t impulseId);
// kind 'A' reads ACF and ACFFACT, kind 'N' the NMS record with its blobs.
FactorResultData LoadFactorResult(char kind, std::int32_t folderId, std::int32_t recordId);

// Writes a recalculated impulse result; false after the store's message.
bool SaveImpulseResult(AcParamRecord& result);

}  // namespace vesk
