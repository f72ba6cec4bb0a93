#include "export/structured_files.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "acf/acf_calculation.h"
#include "base/atomic_file.h"
#include "base/messages.h"
#include "dsp/bands.h"
#include "impulse/impulse_analysis.h"
#include "impulse/preference.h"
#include "impulse/spl_reference.h"
#include "iso/iso3382.h"
#include "noise/noise_analysis.h"
#include "store/iso_result.h"
#include "store/messages.h"
#include "store/tables.h"

namespace vesk {

namespace {

struct Value {
    enum Kind { Null, Number, Text, Words } kind = Null;
    std::string text;
    std::vector<std::string> words;
};
using Fields = std::vector<std::pair<std::string, Value>>;

// The values the text file shows are formatted as it formats them, so both carry one number.
constexpr const char* kShown = "%.2f";
constexpr const char* kIso = "%.6g";

Value Num(double v, const char* format) {
    Value out;
    if (!std::isfinite(v) || v == kNoValue) return out;
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    out.kind = Value::Number;
    out.text = text;
    // "-0.00" is a number in JSON, but reads as a sign error in a table.
    if (out.text[0] == '-' && out.text.find_first_not_of("-0.") == std::string::npos)
        out.text.erase(0, 1);
    return out;
}
Value Int(long v) {
    Value out;
    out.kind = Value::Number;
    out.text = std::to_string(v);
    return out;
}
Value Text(const std::string& s) {
    Value out;
    out.kind = Value::Text;
    out.text = s;
    return out;
}
Value WordList(std::vector<std::string> words) {
    Value out;
    out.kind = Value::Words;
    out.words = std::move(words);
    return out;
}
double Stored(double v) {
    return v == kNoValue ? std::nan("") : v;
}

struct Row {
    std::string band;  // empty for a frame
    bool hasChannel[2] = {false, false};
    Fields channel[2];
    Fields common;
};

struct Measurement {
    Fields head;
    bool hasSingle = false;
    Fields single;
    std::vector<Row> rows;
};

struct Document {
    std::string kind;
    Fields folder;
    std::vector<Measurement> measurements;
};

// ---------------------------------------------------------------------------------------------
// Impulse responses

Fields IsoChannelFields(const IsoChannelStored& c) {
    Fields f;
    auto decay = [&](const char* name, const IsoDecayStored& d) {
        f.push_back({name, Num(d.seconds, kIso)});
    };
    decay("EDT", c.edt);
    decay("T20", c.t20);
    decay("T30", c.t30);
    auto fitted = [](const IsoDecayStored& d, double v) {
        return d.seconds == kNoValue ? kNoValue : v;
    };
    f.push_back({"EDT_r", Num(fitted(c.edt, c.edt.r), kIso)});
    f.push_back({"T20_r", Num(fitted(c.t20, c.t20.r), kIso)});
    f.push_back({"T30_r", Num(fitted(c.t30, c.t30.r), kIso)});
    // The non-linearity of the longest fitted range, the one the standard's limit is meant for.
    const IsoDecayStored& longest = c.t30.seconds != kNoValue ? c.t30 : c.t20;
    f.push_back({"xi", Num(fitted(longest, longest.xi), kIso)});
    f.push_back({"EDT_xi", Num(fitted(c.edt, c.edt.xi), kIso)});
    f.push_back({"T20_xi", Num(fitted(c.t20, c.t20.xi), kIso)});
    f.push_back({"T30_xi", Num(fitted(c.t30, c.t30.xi), kIso)});
    f.push_back({"curvature", Num(c.curvature, kIso)});
    f.push_back({"C50", Num(c.c50, kIso)});
    f.push_back({"C80", Num(c.c80, kIso)});
    f.push_back({"D50", Num(c.d50, kIso)});
    f.push_back({"Ts", Num(c.ts, kIso)});
    f.push_back({"INR", Num(c.inr, kIso)});
    f.push_back({"flags", WordList(iso::FlagWords(c.flags))});
    std::vector<std::string> reasons;
    auto reason = [&](const char* name, std::int32_t code) {
        if (code != 0)
            reasons.push_back(std::string(name) + ": " +
                              iso::MissingText(static_cast<iso::Missing>(code)));
    };
    reason("EDT", c.edt.missing);
    reason("T20", c.t20.missing);
    reason("T30", c.t30.missing);
    reason("C50-Ts", c.energyMissing);
    f.push_back({"missing", WordList(reasons)});
    return f;
}

Fields NoIsoChannelFields() {
    Fields f = IsoChannelFields(IsoChannelStored{});
    for (auto& [key, value] : f)
        value = Value{};
    return f;
}

// The ISO band of an ACPARAM band code; nullptr when none.
const IsoBandStored* IsoBandOf(const IsoResultRecord* iso, int code, int bandSystem) {
    if (!iso || code < 0) return nullptr;
    const BandTable& table = GetBandTable(bandSystem);
    if (code >= table.count) return nullptr;
    const double nominal = table.nominalCentre[code];
    for (const IsoBandStored& b : iso->bands)
        if (code == 0
                ? b.nominalCentre == 0
                : b.nominalCentre > 0 && std::fabs(b.nominalCentre - nominal) <= 0.01 * nominal)
            return &b;
    return nullptr;
}

std::string IsoBandLabel(double nominal) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", nominal);
    return text;
}

Row ImpulseRow(const std::string& label, bool stereo, const AcParamBand* b, double offset,
               const double dt1[2], const IsoBandStored* iso) {
    Row row;
    row.band = label;
    const int channels = stereo ? 2 : 1;
    for (int ch = 0; ch < channels; ++ch) {
        row.hasChannel[ch] = true;
        Fields& f = row.channel[ch];
        const double spl = b ? (ch ? b->splR : b->splL) : kNoValue;
        f.push_back({"SPL", Num(spl == kNoValue ? kNoValue : spl + offset, kShown)});
        f.push_back({"dt1", Num(b ? dt1[ch] : kNoValue, kShown)});
        f.push_back({"A", Num(b ? (ch ? b->aR : b->aL) : kNoValue, kShown)});
        f.push_back({"Tsub", Num(b ? (ch ? b->tsubR : b->tsubL) : kNoValue, kShown)});
        const IsoChannelStored* c = iso ? &iso->channel[ch] : nullptr;
        f.push_back({"Tsub_range", Num(c ? c->tsubRangeDb : kNoValue, kIso)});
        f.push_back({"Tsub_r", Num(c ? c->tsubR : kNoValue, kIso)});
        Fields more = c ? IsoChannelFields(*c) : NoIsoChannelFields();
        f.insert(f.end(), more.begin(), more.end());
    }
    if (stereo && b) {
        // The ears' means, as the text file shows them.
        row.common.push_back({"SPL_LR", Num(b->splL == kNoValue || b->splR == kNoValue
                                                ? kNoValue
                                                : ListeningLevel(b->splL, b->splR) + offset,
                                            kShown)});
        row.common.push_back({"A_LR", Num((Stored(b->aL) + Stored(b->aR)) / 2, kShown)});
        row.common.push_back({"Tsub_LR", Num((Stored(b->tsubL) + Stored(b->tsubR)) / 2, kShown)});
        row.common.push_back({"dt1_LR", Num((Stored(dt1[0]) + Stored(dt1[1])) / 2, kShown)});
    } else {
        for (const char* k : {"SPL_LR", "A_LR", "Tsub_LR", "dt1_LR"})
            row.common.push_back({k, Value{}});
    }
    const bool binaural = stereo && b;
    row.common.push_back({"IACC", Num(binaural ? b->iacc : kNoValue, kShown)});
    row.common.push_back({"tau_IACC", Num(binaural ? b->tiacc : kNoValue, kShown)});
    row.common.push_back({"WIACC", Num(binaural ? b->wiacc : kNoValue, kShown)});
    row.common.push_back({"IACC_E", Num(iso ? iso->early.value : kNoValue, kIso)});
    row.common.push_back({"IACC_L", Num(iso ? iso->late.value : kNoValue, kIso)});
    row.common.push_back({"IACC_A", Num(iso ? iso->all.value : kNoValue, kIso)});
    row.common.push_back({"tau_IACC_E", Num(iso ? iso->early.tauMs : kNoValue, kIso)});
    row.common.push_back({"time_reversed", iso ? Text(iso->timeReversed ? "yes" : "no") : Value{}});
    return row;
}

Fields SingleFields(const IsoResultRecord& iso) {
    // The ears' mean where both ears hold the value; the ears one by one beside it.
    auto mean = [&](const double* v) {
        if (iso.channels < 2) return v[0];
        return v[0] == kNoValue || v[1] == kNoValue ? kNoValue : (v[0] + v[1]) / 2;
    };
    const IsoSingleStored& s = iso.single;
    const std::pair<const char*, const double*> values[] = {
        {"EDT", s.edt}, {"T20", s.t20}, {"T30", s.t30}, {"C50", s.c50},
        {"C80", s.c80}, {"D50", s.d50}, {"Ts", s.ts}};
    Fields f;
    for (const auto& [name, v] : values)
        f.push_back({name, Num(mean(v), kIso)});
    for (const auto& [name, v] : values)
        f.push_back({std::string(name) + "_left", Num(v[0], kIso)});
    for (const auto& [name, v] : values)
        f.push_back({std::string(name) + "_right", Num(iso.channels > 1 ? v[1] : kNoValue, kIso)});
    f.push_back({"IACC_E3", Num(s.iaccE3, kIso)});
    f.push_back({"IACC_L3", Num(s.iaccL3, kIso)});
    return f;
}

bool BuildImpulse(std::int32_t folderId, Document* doc) {
    CImpulseTable table;
    CAcParamTable results;
    std::vector<ImpulseRecord> list;
    if (!results.Open() || !ReadFolderRecords(table, folderId, &list)) return false;
    std::stable_sort(list.begin(), list.end(), [](const ImpulseRecord& a, const ImpulseRecord& b) {
        return a.impulseId < b.impulseId;
    });
    std::map<std::pair<std::int32_t, double>, double> offsets;
    for (const ImpulseRecord& m : list) {
        Measurement out;
        const bool stereo = m.channel == 2;
        out.head = {{"id", Int(m.impulseId)},     {"title", Text(m.title)},
                    {"comment", Text(m.comment)}, {"time", Text(FormatDateTime(m.time))},
                    {"fs", Int(m.sampling)},      {"channels", Int(stereo ? 2 : 1)}};
        AcParamRecord r;
        if (!results.Read(m.impulseId, &r)) {
            if (results.ReadFailed()) return false;
            doc->measurements.push_back(std::move(out));
            continue;
        }
        IsoResultRecord iso;
        const IsoLoad load = LoadIsoResult(m.impulseId, &iso);
        if (load == IsoLoad::Failed) return false;
        const IsoResultRecord* isoP = load == IsoLoad::Loaded ? &iso : nullptr;
        const auto key = std::make_pair(r.splRefData, r.splRefLevel);
        if (!offsets.count(key))
            offsets[key] = SplReferenceOffset(r.splRefData, folderId, r.splRefLevel);
        const double offset = offsets[key];
        const double dt1[2] = {
            r.deltaT1L == kNoValue || r.deltaT0L == kNoValue ? kNoValue : r.deltaT1L - r.deltaT0L,
            r.deltaT1R == kNoValue || r.deltaT0R == kNoValue ? kNoValue : r.deltaT1R - r.deltaT0R};
        if (stereo) {
            double sv = 0;
            out.head.push_back(
                {"Preference", BandPreference(r, 0, offset, &sv) ? Num(sv, kShown) : Value{}});
            if (r.aFilter != 0)
                out.head.push_back({"Preference_A",
                                    BandPreference(r, 1, offset, &sv) ? Num(sv, kShown) : Value{}});
        }
        out.hasSingle = isoP != nullptr;
        if (isoP) out.single = SingleFields(iso);
        std::vector<const IsoBandStored*> used;
        const int n = std::clamp(r.nData, 0, kAcParamBands);
        for (int k = 0; k < n; ++k) {
            const AcParamBand& b = r.bands[static_cast<std::size_t>(k)];
            const IsoBandStored* ib = IsoBandOf(isoP, b.freq, r.freqBand);
            if (ib) used.push_back(ib);
            out.rows.push_back(
                ImpulseRow(BandLabel(b.freq, r.freqBand, false), stereo, &b, offset, dt1, ib));
        }
        // ISO bands without an entry of the record (none with today's band tables).
        if (isoP)
            for (const IsoBandStored& ib : iso.bands)
                if (std::find(used.begin(), used.end(), &ib) == used.end())
                    out.rows.push_back(ImpulseRow(
                        ib.nominalCentre == 0 ? "All(F)" : IsoBandLabel(ib.nominalCentre), stereo,
                        nullptr, 0, dt1, &ib));
        doc->measurements.push_back(std::move(out));
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Running ACF and noise: the frames with the factors under the names of the output files.

std::vector<Row> FrameRows(const std::vector<AcfFactorRecord>& factors, double step, double offset,
                           bool withSpl, bool binaural) {
    auto scaled = [](float v, double factor) {
        return v == static_cast<float>(kNoValue) ? kNoValue : v * factor;
    };
    std::vector<Row> rows;
    for (std::size_t k = 0; k < factors.size(); ++k) {
        const AcfFactorRecord& f = factors[k];
        Row row;
        Fields& c = row.common;
        c.push_back({"Time", Num(static_cast<double>(k) * step, kShown)});
        c.push_back({"Phi-0", Num(f.phi0 + offset, kShown)});
        c.push_back({"Tau-e", Num(scaled(f.tauE, 1000), kShown)});
        c.push_back({"Tau-1", Num(f.tau1 * 1000.0, kShown)});
        c.push_back({"Phi-1", Num(f.phi1, kShown)});
        if (withSpl) c.push_back({"SPL", Num(f.binauralLevel, kShown)});
        if (binaural) {
            c.push_back({"IACC", Num(scaled(f.iacc, 1), kShown)});
            c.push_back({"TauIACC", Num(scaled(f.tauIacc, 1000), kShown)});
            c.push_back({"WIACC", Num(scaled(f.wiacc, 1000), kShown)});
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

bool BuildAcf(std::int32_t folderId, Document* doc) {
    CAcfTable table;
    CAcfFactTable results;
    std::vector<AcfRecord> list;
    if (!results.Open() || !ReadFolderRecords(table, folderId, &list)) return false;
    std::stable_sort(list.begin(), list.end(),
                     [](const AcfRecord& a, const AcfRecord& b) { return a.acfId < b.acfId; });
    std::map<std::pair<std::int32_t, double>, double> offsets;
    for (const AcfRecord& m : list) {
        Measurement out;
        out.head = {{"id", Int(m.acfId)},         {"title", Text(m.title)},
                    {"comment", Text(m.comment)}, {"time", Text(FormatDateTime(m.time))},
                    {"fs", Int(m.sampling)},      {"channels", Int(m.channel == 2 ? 2 : 1)}};
        AcfFactRecord r;
        AcfFactBlobs blobs;
        if (results.Read(m.acfId, &r, &blobs)) {
            const RunningAcfConditions& c = DecodeAcfConditionBlock(blobs.cond.data()).conditions;
            const auto key = std::make_pair(c.phi0RefData, c.phi0RefLevel);
            if (!offsets.count(key))
                offsets[key] = PhiZeroReferenceOffset(folderId, c.phi0RefData, c.phi0RefLevel);
            out.rows = FrameRows(DecodeAcfFactors(blobs.factors), c.runningStep, offsets[key],
                                 false, m.channel == 2);
        } else if (results.ReadFailed()) {
            return false;
        }
        doc->measurements.push_back(std::move(out));
    }
    return true;
}

bool BuildNoise(std::int32_t folderId, Document* doc) {
    CNmsTable table;
    std::vector<NmsRecord> list;
    if (!ReadFolderRecords(table, folderId, &list)) return false;
    std::stable_sort(list.begin(), list.end(),
                     [](const NmsRecord& a, const NmsRecord& b) { return a.nmsId < b.nmsId; });
    for (const NmsRecord& listed : list) {
        NmsRecord m;
        NmsBlobs blobs;
        if (!table.Read(listed.nmsId, &m, &blobs)) return false;
        Measurement out;
        out.head = {{"id", Int(m.nmsId)},
                    {"number", Int(static_cast<long>(m.number) + 1)},
                    {"time", Text(FormatDateTime(m.time))},
                    {"fs", Int(m.sampling)},
                    {"channels", Int(m.channel == 2 ? 2 : 1)},
                    {"source",
                     Text(DisplayedSourceName(DecodeNoiseSourceResult(blobs.source.data()).name))}};
        const NoiseConditionBlock cond = DecodeNoiseConditionBlock(blobs.cond.data());
        out.rows = FrameRows(DecodeAcfFactors(blobs.factors), cond.acf.conditions.runningStep, 0.0,
                             true, true);
        doc->measurements.push_back(std::move(out));
    }
    return true;
}

bool Build(std::int32_t folderId, const std::string& kind, Document* doc) {
    CFolderTable folders;
    FolderRecord f;
    if (!folders.Open() || !folders.Read(folderId, &f)) return false;
    doc->kind = kind;
    doc->folder = {{"id", Int(f.folderId)},      {"kind", Text(f.type)},
                   {"title", Text(f.title)},     {"name", Text(f.name)},
                   {"place", Text(f.place)},     {"date", Text(FormatDateTime(f.date))},
                   {"comment", Text(f.comment)}, {"scale", Num(1.0 / f.TimeScale(), "%g")}};
    if (kind == "I") return BuildImpulse(folderId, doc);
    if (kind == "A") return BuildAcf(folderId, doc);
    return BuildNoise(folderId, doc);
}

// ---------------------------------------------------------------------------------------------
// Writing

std::string JsonValue(const Value& v) {
    switch (v.kind) {
        case Value::Null:
            return "null";
        case Value::Number:
            return v.text;
        case Value::Text:
            return JsonString(v.text);
        case Value::Words: {
            std::string out = "[";
            for (std::size_t i = 0; i < v.words.size(); ++i)
                out += (i ? ", " : "") + JsonString(v.words[i]);
            return out + "]";
        }
    }
    return "null";
}

std::string JsonObject(const Fields& fields) {
    std::string out = "{";
    for (std::size_t i = 0; i < fields.size(); ++i)
        out += (i ? ", " : "") + JsonString(fields[i].first) + ": " + JsonValue(fields[i].second);
    return out + "}";
}

std::string Json(const Document& doc) {
    std::string out = "{\"folder\": " + JsonObject(doc.folder) + ",\n \"measurements\": [";
    for (std::size_t i = 0; i < doc.measurements.size(); ++i) {
        const Measurement& m = doc.measurements[i];
        out += i ? ",\n  " : "\n  ";
        std::string head = JsonObject(m.head);
        head.pop_back();
        out += head;
        if (doc.kind == "I")
            out += ", \"single\": " + (m.hasSingle ? JsonObject(m.single) : std::string("null"));
        out += doc.kind == "I" ? ",\n   \"bands\": [" : ",\n   \"frames\": [";
        for (std::size_t k = 0; k < m.rows.size(); ++k) {
            const Row& row = m.rows[k];
            out += k ? ",\n    " : "\n    ";
            Fields fields;
            if (doc.kind == "I") fields.push_back({"band", Text(row.band)});
            std::string obj = JsonObject(fields);
            obj.pop_back();
            if (doc.kind == "I") {
                out += obj;
                for (int ch = 0; ch < 2; ++ch)
                    out += std::string(ch ? ", \"right\": " : ", \"left\": ") +
                           (row.hasChannel[ch] ? JsonObject(row.channel[ch]) : "null");
                std::string common = JsonObject(row.common);
                out += common.size() > 2 ? ", " + common.substr(1) : "}";
            } else {
                out += JsonObject(row.common);
            }
        }
        out += "]}";
    }
    return out + "]}\n";
}

std::string CsvValue(const Value& v) {
    switch (v.kind) {
        case Value::Null:
            return "";
        case Value::Number:
            return v.text;
        case Value::Text:
            return CsvField(v.text);
        case Value::Words: {
            std::string joined;
            for (std::size_t i = 0; i < v.words.size(); ++i)
                joined += (i ? "; " : "") + v.words[i];
            return CsvField(joined);
        }
    }
    return "";
}

std::string Table(const Document& doc) {
    // Every row of a kind has the same columns; the first full row names them.
    const bool impulse = doc.kind == "I";
    std::vector<std::string> columns = {"folder"};
    const std::vector<std::string> head = doc.kind == "N"
                                              ? std::vector<std::string>{"id", "number", "source"}
                                              : std::vector<std::string>{"id", "title"};
    for (const std::string& k : head)
        columns.push_back(k == "id" ? "measurement" : k);
    if (impulse) columns.push_back("band");
    Row full;
    if (impulse) {
        const double dt1[2] = {kNoValue, kNoValue};
        full = ImpulseRow("", true, nullptr, 0, dt1, nullptr);
        for (int ch = 0; ch < 2; ++ch)
            for (const auto& [key, value] : full.channel[ch])
                columns.push_back((ch ? "right " : "left ") + key);
    } else {
        full = FrameRows({AcfFactorRecord{}}, 0, 0, doc.kind == "N", true).front();
    }
    for (const auto& [key, value] : full.common)
        columns.push_back(key);
    std::string out;
    for (std::size_t i = 0; i < columns.size(); ++i)
        out += (i ? "," : "") + CsvField(columns[i]);
    out += "\r\n";
    const std::string folderId = doc.folder.front().second.text;
    auto headValue = [](const Measurement& m, const std::string& key) {
        for (const auto& [k, v] : m.head)
            if (k == key) return CsvValue(v);
        return std::string();
    };
    auto line = [&](const Measurement& m, const std::string& band, const Row* row,
                    const Fields* single) {
        std::string l = folderId;
        for (const std::string& k : head)
            l += "," + headValue(m, k);
        if (impulse) l += "," + CsvField(band);
        if (impulse)
            for (int ch = 0; ch < 2; ++ch)
                for (const auto& [key, value] : full.channel[ch]) {
                    Value v;
                    if (row && row->hasChannel[ch])
                        for (const auto& [k2, v2] : row->channel[ch])
                            if (k2 == key) v = v2;
                    if (single) {
                        // The single numbers sit in the columns of their band values.
                        const std::string name = key + (ch ? "_right" : "_left");
                        for (const auto& [k2, v2] : *single)
                            if (k2 == name) v = v2;
                    }
                    l += "," + CsvValue(v);
                }
        for (const auto& [key, value] : full.common) {
            Value v;
            if (row)
                for (const auto& [k2, v2] : row->common)
                    if (k2 == key) v = v2;
            if (single)
                for (const auto& [k2, v2] : *single)
                    if (k2 == key + "3") v = v2;  // IACC_E3 under IACC_E
            l += "," + CsvValue(v);
        }
        out += l + "\r\n";
    };
    for (const Measurement& m : doc.measurements) {
        for (const Row& row : m.rows)
            line(m, row.band, &row, nullptr);
        if (impulse && m.hasSingle) line(m, "single", nullptr, &m.single);
    }
    return out;
}

OutputStatus Save(const std::string& path, const std::string& text) {
    if (!WriteFileAtomically(path, text.data(), text.size())) {
        Messages().ShowMessage("Can't create the output file " + path + ".");
        return OutputStatus::CantCreate;
    }
    return OutputStatus::Written;
}

template <class Render>
OutputStatus Write(std::int32_t folderId, const std::string& kind, const std::string& path,
                   Render render) {
    if (kind != "I" && kind != "A" && kind != "N") return OutputStatus::NoContent;
    Document doc;
    const unsigned errors = StoreErrorCount();
    if (!Build(folderId, kind, &doc) || StoreErrorCount() != errors)
        return OutputStatus::StoreFailed;
    return Save(path, render(doc));
}

}  // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else {
            // A well-formed UTF-8 sequence passes; anything else becomes U+FFFD.
            std::size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
            bool ok = len > 0 && i + len <= n;
            for (std::size_t k = 1; ok && k < len; ++k)
                ok = (s[i + k] & 0xC0) == 0x80;
            if (ok && len == 3)
                ok = !(c == 0xE0 && s[i + 1] < 0xA0) && !(c == 0xED && s[i + 1] >= 0xA0);
            if (ok && len == 4)
                ok = !(c == 0xF0 && s[i + 1] < 0x90) && !(c == 0xF4 && s[i + 1] >= 0x90);
            if (ok) {
                out.append(text, i, len);
                i += len;
            } else {
                out += "\xEF\xBF\xBD";
                ++i;
            }
        }
    }
    return out + "\"";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

OutputStatus WriteJsonFile(std::int32_t folderId, const std::string& kind,
                           const std::string& path) {
    return Write(folderId, kind, path, [](const Document& d) { return Json(d); });
}

OutputStatus WriteTableCsv(std::int32_t folderId, const std::string& kind,
                           const std::string& path) {
    return Write(folderId, kind, path, [](const Document& d) { return Table(d); });
}

}  // namespace vesk
