// The noise-source template library: templates in the NSTMP table, the factor weights in
// "NSWEIGHT.DAT", ".nst" exchange files, the merge of statistics and the recomputed weights,
// and the editor's actions as functions without a window.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "store/tables.h"

namespace vesk {

// One template: per factor (0 Phi(0) dB, 1 tau-e s, 2 tau1 s, 3 phi1) a standard value with
// optional limits, and the statistics of the measurements it was learnt from.
struct NoiseTemplateData {
    std::array<float, 4> standard{};
    std::array<float, 4> upper{};
    std::array<float, 4> lower{};
    std::array<std::int32_t, 4> useUpper{};
    std::array<std::int32_t, 4> useLower{};
    std::int32_t count = 0;             // measurements the standard values are the mean of
    std::array<float, 4> sumSquares{};  // of those measurements
};

enum Factor { kPhi0 = 0, kTauE = 1, kTau1 = 2, kPhi1 = 3 };

constexpr int kTemplateDataSize = 100;
constexpr int kTemplateNameWidth = 32;                                    // NSTMPNAME
void EncodeTemplateData(const NoiseTemplateData& d, unsigned char* out);  // 100 bytes
NoiseTemplateData DecodeTemplateData(const unsigned char* in);

struct NoiseTemplate {
    std::int32_t id = 0;
    std::string name;
    NoiseTemplateData data;
};

// w0 Phi(0), w1 tau-e, w2 tau1, w3 phi1.
struct FactorWeights {
    std::array<float, 4> w{0.0f, 1.0f, 1.0f, 1.0f};
};

constexpr const char* kWeightsFileName = "NSWEIGHT.DAT";
// The defaults (0, 1, 1, 1) when the file is missing or shorter than 16 bytes.
FactorWeights ReadFactorWeights(const std::string& dataPath = DataPath());
// false when the file could not be written (nothing is reported, as the editor expects).
bool WriteFactorWeights(const FactorWeights& weights, const std::string& dataPath = DataPath());

// Every template in ID order; false after the table's message.
bool LoadTemplates(std::vector<NoiseTemplate>* out);
// The template of that ID; 0 when there is none or it cannot be read (after the message).
int ReadNoiseTemplate(std::int32_t id, NoiseTemplate* out);
// The template of that name (as stored: cut to 32 characters); 0 when there is none.
int FindTemplateByName(CNsTmpTable& table, const std::string& name, NoiseTemplate* out);

// Merges statistics: `imported` becomes the mean of both by their counts, with summed squares.
// A negative count counts as 0; the sum stops at kMaxTemplateCount.
void MergeTemplate(NoiseTemplateData* imported, const NoiseTemplateData& existing);
// The most measurements a template counts: far beyond any real library, far below overflow.
constexpr std::int32_t kMaxTemplateCount = 1000000000;
// Rewrites w1..w3 from the spread of the templates learnt from measurements; w0 stays.
bool RecomputeWeights();
// The arithmetic of RecomputeWeights on given templates and a w0.
FactorWeights ComputeWeights(const std::vector<NoiseTemplate>& templates, float w0);

// ".nst" files: 133-byte entries (a 33-byte zero-filled name, then the 100 data bytes).
struct NstEntry {
    std::string name;
    NoiseTemplateData data;
};
// Reads entries until fewer than 33 bytes remain; a trailing entry without all its data bytes
// reads the missing bytes as 0. false when the file cannot be opened, or when an entry has a
// blank name, a value that is not a finite number, or a count outside 0..kMaxTemplateCount;
// `problem` then says which.
bool ReadNstFile(const std::string& path, std::vector<NstEntry>* entries,
                 std::string* problem = nullptr);
bool WriteNstFile(const std::string& path, const std::vector<NstEntry>& entries);

// The editor's actions. Each reports its failures through the store's messages.
enum class TemplateAction { Done = 0, Failed = 1, NoName = 2, CantOpenFile = 3 };
// "&New": a new template with the next free ID (statistics 0). Gives the ID.
TemplateAction SaveNewTemplate(const std::string& name, NoiseTemplateData data, std::int32_t* id);
// "&Update": replaces the template's name and data; its statistics are cleared.
TemplateAction UpdateTemplate(std::int32_t id, const std::string& name, NoiseTemplateData data);
TemplateAction DeleteTemplate(std::int32_t id);
// Export of the templates whose IDs are listed, in ID order; none listed writes an empty file.
TemplateAction ExportTemplates(const std::string& path, const std::vector<std::int32_t>& ids);
// Import of the file's entries whose index is in `selected` (all when `all`), in file order,
// merged into or replacing a template of the same name, else added; then the weights are
// recomputed (also when nothing was selected).
TemplateAction ImportTemplates(const std::string& path, const std::vector<bool>& selected,
                               bool merge, int* imported = nullptr);

// A template learnt from measured factors: count, means and sums of squares of the four
// factors (in double, stored as float); no limits.
NoiseTemplateData LearnTemplateData(const std::vector<std::array<float, 4>>& factors);
// Merges learnt data into the template of that name (or adds it), as an import would, then
// recomputes the weights.
TemplateAction MergeLearntTemplate(const std::string& name, const NoiseTemplateData& learnt,
                                   std::int32_t* id);

}  // namespace vesk
