// The text and CSV output files of a folder: the folder's header, every measurement's recording
// data and, where results exist, its parameters or factors.
#pragma once

#include <cstdint>
#include <string>

namespace vesk {

enum class OutputStatus {
    Written = 0,
    StoreFailed = 1,   // the store showed its message; no file was made
    CantCreate = 2,    // the file could not be written (the message names the path)
    BadExtension = 3,  // neither .txt nor .csv: "Choose *.txt or *.csv as file extension."
    NoContent = 4,     // a folder kind without an output file
};

// Each writes the whole file beside the target and renames it into place, so an older file
// is never replaced by a half-written one. Lines end with CR LF.
OutputStatus WriteImpulseText(std::int32_t folderId, const std::string& path);
OutputStatus WriteImpulseCsv(std::int32_t folderId, const std::string& path);
OutputStatus WriteAcfText(std::int32_t folderId, const std::string& path);
OutputStatus WriteAcfCsv(std::int32_t folderId, const std::string& path);
OutputStatus WriteNoiseText(std::int32_t folderId, const std::string& path);
OutputStatus WriteNoiseCsv(std::int32_t folderId, const std::string& path);

// The Output File command: the writer of the folder's kind ("I", "A", "N") chosen by the
// extension, case ignored.
OutputStatus WriteOutputFile(std::int32_t folderId, const std::string& kind,
                             const std::string& path);

// One measurement's sections in the text form, numbered as in the folder's file, without CR;
// empty when the folder or measurement cannot be read (after the store's message).
std::string MeasurementText(std::int32_t folderId, std::int32_t recordId);

}  // namespace vesk
