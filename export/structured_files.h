// Machine-readable output files of a folder: all its results as JSON, and as a plain table
// (one row per measurement and band, or frame) in RFC 4180 CSV.
#pragma once

#include <cstdint>
#include <string>

#include "export/output_files.h"

namespace vesk {

// Both are written beside the target and renamed into place. A value that cannot be formed is
// null in JSON and an empty field in the table; a value the text file shows has the same
// number. StoreFailed after the store's message, CantCreate after "Can't create the output
// file PATH.", NoContent for a kind other than "I", "A" or "N".
OutputStatus WriteJsonFile(std::int32_t folderId, const std::string& kind, const std::string& path);
OutputStatus WriteTableCsv(std::int32_t folderId, const std::string& kind, const std::string& path);

// A JSON string literal of the text: quotes, backslashes and control characters escaped, bytes
// that are not UTF-8 replaced by U+FFFD.
std::string JsonString(const std::string& text);
// An RFC 4180 field: quoted when it holds a comma, quote, CR or LF, quotes doubled.
std::string CsvField(const std::string& text);

}  // namespace vesk
