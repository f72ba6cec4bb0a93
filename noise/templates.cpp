// Noise-source templates. A template (record and data blob) and a whole import commit as one
// table transaction; NSWEIGHT.DAT is written beside itself and renamed into place.
#include "noise/templates.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "resources/strings.h"
#include "store/file_io.h"
#include "store/messages.h"

namespace vesk {

using namespace detail;

namespace {

constexpr std::size_t kNstNameSize = 33;
constexpr std::size_t kNstEntrySize = kNstNameSize + kTemplateDataSize;

// The name as NSTMPNAME holds it: at most 32 bytes, trailing blanks dropped. A cut never
// splits a UTF-8 character, which would leave a name no list can show.
std::string StoredName(const std::string& name) {
    std::string s = name.substr(
        0, Utf8FitLength(name.data(), name.size(), static_cast<std::size_t>(kTemplateNameWidth)));
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

int ReadTemplate(CNsTmpTable& table, long id, NoiseTemplate* out) {
    NsTmpRecord r;
    CNsTmpTable::TemplateData bytes{};
    if (!table.Read(id, &r, &bytes)) return 0;
    out->id = r.nsTmpId;
    out->name = r.nsTmpName;
    out->data = DecodeTemplateData(bytes.data());
    return 1;
}

CNsTmpTable::TemplateData Bytes(const NoiseTemplateData& d) {
    CNsTmpTable::TemplateData b{};
    EncodeTemplateData(d, b.data());
    return b;
}

int AddTemplate(CNsTmpTable& table, const std::string& name, const NoiseTemplateData& data,
                std::int32_t* id) {
    if (!table.NextTemplateId(id)) return 0;
    NsTmpRecord r;
    r.nsTmpId = *id;
    r.nsTmpName = StoredName(name);
    CNsTmpTable::TemplateData bytes = Bytes(data);
    return table.Append(r, &bytes);
}

int ReplaceTemplate(CNsTmpTable& table, std::int32_t id, const std::string& name,
                    const NoiseTemplateData& data) {
    NsTmpRecord r;
    r.nsTmpId = id;
    r.nsTmpName = StoredName(name);
    CNsTmpTable::TemplateData bytes = Bytes(data);
    return table.Update(r, &bytes);
}

// Merges (or, without `merge`, puts) data into the template of that name, or adds it.
int ApplyByName(CNsTmpTable& table, const std::string& name, NoiseTemplateData data, bool merge,
                std::int32_t* id) {
    bool found = false;
    if (!table.FindByName(StoredName(name), &found)) return 0;
    if (!found) return AddTemplate(table, name, data, id);
    NoiseTemplate existing;
    if (!ReadTemplate(table, -1, &existing)) return 0;
    if (merge) MergeTemplate(&data, existing.data);
    *id = existing.id;
    return ReplaceTemplate(table, existing.id, existing.name, data);
}

TemplateAction Committed(CDbTransaction& transaction) {
    DbStatus st = transaction.Commit();
    if (st == db::kOk) return TemplateAction::Done;
    ReportStoreError(str::kCantWriteNsTmp, st);
    return TemplateAction::Failed;
}

}  // namespace

void EncodeTemplateData(const NoiseTemplateData& d, unsigned char* p) {
    std::memset(p, 0, kTemplateDataSize);
    for (int f = 0; f < 4; ++f) {
        const std::size_t i = static_cast<std::size_t>(f);
        PutF32(p + 12 * f, d.standard[i]);
        PutF32(p + 12 * f + 4, d.upper[i]);
        PutF32(p + 12 * f + 8, d.lower[i]);
        PutU32(p + 48 + 8 * f, static_cast<std::uint32_t>(d.useUpper[i]));
        PutU32(p + 52 + 8 * f, static_cast<std::uint32_t>(d.useLower[i]));
        PutF32(p + 84 + 4 * f, d.sumSquares[i]);
    }
    PutU32(p + 80, static_cast<std::uint32_t>(d.count));
}

NoiseTemplateData DecodeTemplateData(const unsigned char* p) {
    NoiseTemplateData d;
    for (int f = 0; f < 4; ++f) {
        const std::size_t i = static_cast<std::size_t>(f);
        d.standard[i] = GetF32(p + 12 * f);
        d.upper[i] = GetF32(p + 12 * f + 4);
        d.lower[i] = GetF32(p + 12 * f + 8);
        d.useUpper[i] = static_cast<std::int32_t>(GetU32(p + 48 + 8 * f));
        d.useLower[i] = static_cast<std::int32_t>(GetU32(p + 52 + 8 * f));
        d.sumSquares[i] = GetF32(p + 84 + 4 * f);
    }
    d.count = static_cast<std::int32_t>(GetU32(p + 80));
    return d;
}

FactorWeights ReadFactorWeights(const std::string& dataPath) {
    FactorWeights w;
    std::ifstream in(dataPath + "/" + kWeightsFileName, std::ios::binary);
    if (!in) return w;
    unsigned char b[16];
    if (!in.read(reinterpret_cast<char*>(b), 16)) return w;  // short: the defaults
    for (int k = 0; k < 4; ++k)
        w.w[static_cast<std::size_t>(k)] = GetF32(b + 4 * k);
    return w;
}

bool WriteFactorWeights(const FactorWeights& weights, const std::string& dataPath) {
    unsigned char b[16];
    for (int k = 0; k < 4; ++k)
        PutF32(b + 4 * k, weights.w[static_cast<std::size_t>(k)]);
    return WriteFileAtomically(dataPath + "/" + kWeightsFileName, b, sizeof b);
}

bool LoadTemplates(std::vector<NoiseTemplate>* out) {
    out->clear();
    CNsTmpTable table;
    if (!table.Open() || !table.StartWalk()) return false;
    NsTmpRecord r;
    CNsTmpTable::TemplateData bytes{};
    bool failed = false;
    while (table.ReadNextWithData(&r, &bytes, &failed))
        out->push_back({r.nsTmpId, r.nsTmpName, DecodeTemplateData(bytes.data())});
    return !failed;
}

int ReadNoiseTemplate(std::int32_t id, NoiseTemplate* out) {
    CNsTmpTable table;
    return table.Open() && ReadTemplate(table, id, out);
}

int FindTemplateByName(CNsTmpTable& table, const std::string& name, NoiseTemplate* out) {
    bool found = false;
    if (!table.FindByName(StoredName(name), &found) || !found) return 0;
    return ReadTemplate(table, -1, out);
}

void MergeTemplate(NoiseTemplateData* a, const NoiseTemplateData& b) {
    // Counts come from files and tables: summed in 64 bits, so no stored value can overflow.
    const std::int64_t na = std::max(a->count, 0), nb = std::max(b.count, 0);
    const std::int64_t t = na + nb;
    if (t == 0) return;
    for (std::size_t f = 0; f < 4; ++f) {
        a->standard[f] = static_cast<float>(
            (static_cast<double>(nb) * b.standard[f] + static_cast<double>(na) * a->standard[f]) /
            static_cast<double>(t));
        a->sumSquares[f] = a->sumSquares[f] + b.sumSquares[f];
    }
    a->count = static_cast<std::int32_t>(std::min<std::int64_t>(t, kMaxTemplateCount));
}

FactorWeights ComputeWeights(const std::vector<NoiseTemplate>& templates, float w0) {
    double spread[3] = {0, 0, 0}, sum[3] = {0, 0, 0}, sumSq[3] = {0, 0, 0};
    int k = 0;
    for (const NoiseTemplate& t : templates) {
        const NoiseTemplateData& d = t.data;
        if (d.count <= 0) continue;
        ++k;
        for (std::size_t f = 1; f < 4; ++f) {
            const double n = d.count, s = d.standard[f], q = d.sumSquares[f];
            const double variance = (q - n * s * s) / n;
            spread[f - 1] += variance > 0 ? std::sqrt(variance) : 0.0;
            sum[f - 1] += s;
            sumSq[f - 1] += s * s;
        }
    }
    double raw[3];
    for (int f = 0; f < 3; ++f) {
        const double a = k > 0 ? spread[f] / k : 0.0;
        const double v = k > 0 ? (sumSq[f] - sum[f] * sum[f] / k) / k : 0.0;
        const double b = v > 0 ? std::sqrt(v) : 0.0;
        raw[f] = a == 0 ? 1.0 : std::sqrt(b / a);
    }
    double m = 0;
    for (double r : raw)
        if (r > m) m = r;
    FactorWeights w;
    w.w[0] = w0;
    for (int f = 0; f < 3; ++f)  // all raw weights 0 (every template mean equal): equal weights
        w.w[static_cast<std::size_t>(f + 1)] = m > 0 ? static_cast<float>(raw[f] / m) : 1.0f;
    return w;
}

bool RecomputeWeights() {
    std::vector<NoiseTemplate> templates;
    if (!LoadTemplates(&templates)) return false;
    WriteFactorWeights(ComputeWeights(templates, ReadFactorWeights().w[0]));
    return true;
}

namespace {
// Why an entry cannot be imported, or empty: values are checked as if typed into the editor.
std::string EntryProblem(const NstEntry& e) {
    if (e.name.find_first_not_of(" \t") == std::string::npos) return "has no name";
    const NoiseTemplateData& d = e.data;
    for (std::size_t f = 0; f < 4; ++f)
        if (!std::isfinite(d.standard[f]) || !std::isfinite(d.upper[f]) ||
            !std::isfinite(d.lower[f]) || !std::isfinite(d.sumSquares[f]))
            return "holds a value that is not a number";
    if (d.count < 0 || d.count > kMaxTemplateCount) return "has an impossible count";
    return {};
}
}  // namespace

bool ReadNstFile(const std::string& path, std::vector<NstEntry>* entries, std::string* problem) {
    entries->clear();
    if (problem) problem->clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (problem) *problem = "cannot be opened";
        return false;
    }
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    for (std::size_t at = 0; bytes.size() - at >= kNstNameSize; at += kNstEntrySize) {
        const char* name = reinterpret_cast<const char*>(bytes.data() + at);
        NstEntry e;
        e.name = StoredName(std::string(name, strnlen(name, kNstNameSize)));
        // A last entry cut short reads its missing data bytes as 0, never past the file.
        unsigned char data[kTemplateDataSize] = {};
        const std::size_t left =
            std::min<std::size_t>(kTemplateDataSize, bytes.size() - at - kNstNameSize);
        std::memcpy(data, bytes.data() + at + kNstNameSize, left);
        e.data = DecodeTemplateData(data);
        if (std::string why = EntryProblem(e); !why.empty()) {
            if (problem) *problem = "entry " + std::to_string(entries->size() + 1) + " " + why;
            entries->clear();
            return false;
        }
        entries->push_back(std::move(e));
        if (bytes.size() - at < kNstEntrySize) break;
    }
    return true;
}

bool WriteNstFile(const std::string& path, const std::vector<NstEntry>& entries) {
    std::vector<unsigned char> bytes(entries.size() * kNstEntrySize, 0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        unsigned char* b = bytes.data() + i * kNstEntrySize;
        const std::string name = StoredName(entries[i].name);
        std::memcpy(b, name.data(), name.size());
        EncodeTemplateData(entries[i].data, b + kNstNameSize);
    }
    return WriteFileAtomically(path, bytes.data(), bytes.size());
}

TemplateAction SaveNewTemplate(const std::string& name, NoiseTemplateData data, std::int32_t* id) {
    if (StoredName(name).empty()) {
        ShowStoreMessage(str::kNoTemplateName);
        return TemplateAction::NoName;
    }
    data.count = 0;
    data.sumSquares = {};
    CNsTmpTable table;
    if (!table.Open()) return TemplateAction::Failed;
    CDbTransaction transaction(table);
    if (!AddTemplate(table, name, data, id)) return TemplateAction::Failed;
    return Committed(transaction);
}

TemplateAction UpdateTemplate(std::int32_t id, const std::string& name, NoiseTemplateData data) {
    if (StoredName(name).empty()) {
        ShowStoreMessage(str::kNoTemplateName);
        return TemplateAction::NoName;
    }
    data.count = 0;  // an edited template no longer is the mean of its measurements
    data.sumSquares = {};
    CNsTmpTable table;
    if (!table.Open()) return TemplateAction::Failed;
    CDbTransaction transaction(table);
    if (!ReplaceTemplate(table, id, name, data)) return TemplateAction::Failed;
    return Committed(transaction);
}

TemplateAction DeleteTemplate(std::int32_t id) {
    CNsTmpTable table;
    if (!table.Open() || !table.Delete(id)) return TemplateAction::Failed;
    return TemplateAction::Done;
}

TemplateAction ExportTemplates(const std::string& path, const std::vector<std::int32_t>& ids) {
    std::vector<NoiseTemplate> templates;
    if (!LoadTemplates(&templates)) return TemplateAction::Failed;
    std::vector<NstEntry> entries;
    for (const NoiseTemplate& t : templates)
        if (std::find(ids.begin(), ids.end(), t.id) != ids.end())
            entries.push_back({t.name, t.data});
    if (!WriteNstFile(path, entries)) {
        ShowStoreMessage(str::kCantOpenExportFile);
        return TemplateAction::CantOpenFile;
    }
    return TemplateAction::Done;
}

TemplateAction ImportTemplates(const std::string& path, const std::vector<bool>& selected,
                               bool merge, int* imported) {
    if (imported) *imported = 0;
    std::vector<NstEntry> entries;
    if (!ReadNstFile(path, &entries)) {
        ShowStoreMessage(str::kCantOpenImportFile);
        return TemplateAction::CantOpenFile;
    }
    CNsTmpTable table;
    if (!table.Open()) return TemplateAction::Failed;
    {
        // Every selected entry goes in, or none does.
        CDbTransaction transaction(table);
        int applied = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (i >= selected.size() || !selected[i]) continue;
            std::int32_t id = 0;
            if (!ApplyByName(table, entries[i].name, entries[i].data, merge, &id))
                return TemplateAction::Failed;
            ++applied;
        }
        if (Committed(transaction) != TemplateAction::Done) return TemplateAction::Failed;
        if (imported) *imported = applied;
    }
    table.Close();
    return RecomputeWeights() ? TemplateAction::Done : TemplateAction::Failed;
}

NoiseTemplateData LearnTemplateData(const std::vector<std::array<float, 4>>& factors) {
    NoiseTemplateData d;
    if (factors.empty()) return d;
    for (std::size_t f = 0; f < 4; ++f) {
        double sum = 0, squares = 0;
        for (const auto& v : factors) {
            sum += v[f];
            squares += static_cast<double>(v[f]) * v[f];
        }
        d.standard[f] = static_cast<float>(sum / static_cast<double>(factors.size()));
        d.sumSquares[f] = static_cast<float>(squares);
    }
    d.count = static_cast<std::int32_t>(factors.size());
    return d;
}

TemplateAction MergeLearntTemplate(const std::string& name, const NoiseTemplateData& learnt,
                                   std::int32_t* id) {
    if (StoredName(name).empty()) {
        ShowStoreMessage(str::kNoTemplateName);
        return TemplateAction::NoName;
    }
    {
        CNsTmpTable table;
        if (!table.Open()) return TemplateAction::Failed;
        CDbTransaction transaction(table);
        if (!ApplyByName(table, name, learnt, true, id) ||
            Committed(transaction) != TemplateAction::Done)
            return TemplateAction::Failed;
    }
    return RecomputeWeights() ? TemplateAction::Done : TemplateAction::Failed;
}

}  // namespace vesk
