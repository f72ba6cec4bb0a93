// Measurements brought into a folder from audio and SOFA files: the one import the desktop and
// the command line share. A file is read and checked whole (PrepareImportFile) before the store
// is touched; its measurements are then written together (StoreImported), so a refused,
// cancelled or failed file leaves the store as it was before that file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "acf/acf_conditions.h"
#include "base/progress.h"
#include "shell/audio.h"
#include "sofa/sofa_file.h"

namespace vesk {

// How the samples of an impulse-response file were measured.
enum class ResponseForm { kMls, kPlain, kSweep };

struct ImportChoices {
    char kind = 'I';  // the folder's kind: 'I', 'A' or 'N'
    ResponseForm form = ResponseForm::kPlain;
    // MLS recordings: the order (10..19), or -1 to take it from a length of 2^order frames.
    int mlsOrder = -1;
    std::string excitation;     // sweep recordings: the excitation's audio file
    std::vector<int> channels;  // of each audio file, from 1; empty for mono or stereo files
    sofa::Choice sofa;          // the responses and ears of SOFA files
    long multiplier = 1;        // impulse responses
    double calLevel = 0.0;      // noise: the microphone's reference level in dB
    // Noise: the conditions in use and the WIACC width, kept with each recording.
    RunningAcfConditions noiseConditions = NoiseConditionDefaults();
    double noiseParameter = 0.1;
};

// The excitation of sweep recordings, read once for all files.
struct Excitation {
    FloatAudio audio;
};
// false with the reason when the file is no usable excitation.
bool LoadExcitation(const std::string& path, Excitation* out, std::string* error);

// One measurement read from a file, ready to be stored.
struct ImportedMeasurement {
    std::string path;   // "FILE#N" for response N of a SOFA file
    std::string title;  // the file's name without extension, or a SOFA response's positions
    std::string stem;   // the file's name without extension, for a new folder's title
    std::string time;   // YYYYMMDDhhmmss of the file's modification
    AudioData audio;
    int mesTime = 0;  // impulse responses: base-2 exponent
};

// Reads one file into its measurements (several for a SOFA file). `excitation` is needed for
// sweep recordings. Notes on what was changed ("warning: ..." for doubtful input) are added to
// *notes, each naming the file. false with the reason, naming the file, when it is refused.
bool PrepareImportFile(const std::string& path, const ImportChoices& choices,
                       const Excitation* excitation, std::vector<ImportedMeasurement>* out,
                       std::string* reason, std::vector<std::string>* notes);

// The next free NUMBER of a noise folder (counted from 0); false after a store failure.
bool NextNoiseNumber(std::int32_t folderId, std::int64_t* number);

// Writes a file's measurements into a folder of the choices' kind, IDs from the table's next
// free one; noise recordings take NUMBER from *number on. Either all are written or, after a
// store failure (the store's message shown), none stays. The new IDs go to *ids.
bool StoreImported(std::int32_t folderId, const ImportChoices& choices,
                   const std::vector<ImportedMeasurement>& measurements, std::int64_t* number,
                   std::vector<std::int32_t>* ids);

// The outcome of one file of ImportFiles.
struct ImportOutcome {
    enum class Status { kImported, kRefused, kCancelled, kStoreFailure, kSkipped };
    std::string path;
    Status status = Status::kSkipped;
    std::string reason;  // refusals
    std::vector<std::int32_t> ids;
};

struct ImportSummary {
    std::vector<ImportOutcome> files;  // one per file given, in order
    std::vector<std::string> notes;
    int Imported() const;
    bool Cancelled() const;
    bool StoreFailed() const;
    // "file: reason" lines of the refused files.
    std::string Refusals() const;
};

// Imports files one by one into an existing folder of the choices' kind. A refused file is
// named with its reason and the others are still imported; a confirmed cancel stops before the
// store is touched for the file at hand, whose earlier files stay imported; a store failure
// stops the run. `progress` may be null.
ImportSummary ImportFiles(std::int32_t folderId, const std::vector<std::string>& paths,
                          const ImportChoices& choices, Progress* progress);

// Whether a name looks like a file the import may read: an audio file libsndfile knows by its
// extension, or a SOFA file. For dropped files, before the dialog is shown.
bool IsImportablePath(const std::string& path);

}  // namespace vesk
