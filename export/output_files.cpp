#include "export/output_files.h"

#include "export/structured_files.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <utility>
#include <vector>

#include "acf/acf_calculation.h"
#include "dsp/bands.h"
#include "impulse/impulse_analysis.h"
#include "impulse/preference.h"
#include "impulse/spl_reference.h"
#include "noise/noise_analysis.h"
#include "resources/strings.h"
#include "store/messages.h"
#include "store/tables.h"

namespace vesk {

namespace {

// The file's text as it is built; "\n" becomes CR LF when it is written.
class Out {
  public:
    explicit Out(bool csv) : m_csv(csv) {}
    bool Csv() const { return m_csv; }
    void Add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        va_list copy;
        va_copy(copy, args);
        const int n = std::vsnprintf(nullptr, 0, format, copy);
        va_end(copy);
        if (n > 0) {
            const std::size_t at = m_text.size();
            m_text.resize(at + static_cast<std::size_t>(n) + 1);
            std::vsnprintf(m_text.data() + at, static_cast<std::size_t>(n) + 1, format, args);
            m_text.resize(at + static_cast<std::size_t>(n));
        }
        va_end(args);
    }
    // A text field: in CSV a quote inside it is doubled so that the field stays one field.
    std::string Field(const std::string& text) const {
        if (!m_csv) return text;
        std::string out;
        for (char c : text) {
            out += c;
            if (c == '"') out += '"';
        }
        return out;
    }
    // A value list: text separates by one blank, CSV puts "," before every value.
    template <class T>
    std::string List(const std::vector<T>& values, const char* format) const {
        std::string out;
        char buffer[64];
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (!std::isfinite(static_cast<double>(values[i])))  // a silent channel's -inf too
                std::snprintf(buffer, sizeof buffer, "----");
            else
                std::snprintf(buffer, sizeof buffer, format, static_cast<double>(values[i]));
            if (m_csv)
                out += ',';
            else if (i > 0)
                out += ' ';
            out += buffer;
        }
        return out;
    }
    std::string Labels(const std::vector<std::string>& labels) const {
        std::string out;
        for (std::size_t i = 0; i < labels.size(); ++i) {
            if (m_csv)
                out += ',';
            else if (i > 0)
                out += ' ';
            out += labels[i];
        }
        return out;
    }
    const std::string& Text() const { return m_text; }

  private:
    bool m_csv;
    std::string m_text;
};

// A stored "no value" (-1000: a silent channel, a decay or envelope that could not be fitted)
// is written as "----", never as a number a reader could take for a measurement.
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
double Stored(double v) {
    return v == -1000.0 ? kNaN : v;
}
double Stored(double v, double offset) {
    return v == -1000.0 ? kNaN : v + offset;
}
// A single value, "----" when there is none.
std::string Number(double v) {
    char text[64];
    if (!std::isfinite(v)) return "----";
    std::snprintf(text, sizeof text, "%.2lf", v);
    return text;
}
float Scaled(float v, float factor) {
    return v == kNoValue ? std::numeric_limits<float>::quiet_NaN() : v * factor;
}

void FolderSection(Out& o, const FolderRecord& f) {
    // 1/SCALE, a SCALE of 0 counting as 1 as everywhere else.
    const double scale = 1.0 / f.TimeScale();
    o.Add("[Folder]\n");
    if (!o.Csv()) {
        o.Add("Title=%s\n", f.title.c_str());
        o.Add("Name=%s\n", f.name.c_str());
        o.Add("Place=%s\n", f.place.c_str());
        o.Add("Comment=%s\n", f.comment.c_str());
        o.Add("Date=%s\n", FormatDateTime(f.date).c_str());
        o.Add("Scale=%g\n\n", scale);
    } else {
        o.Add("Title,\"%s\"\n", o.Field(f.title).c_str());
        o.Add("Name,\"%s\"\n", o.Field(f.name).c_str());
        o.Add("Place,\"%s\"\n", o.Field(f.place).c_str());
        o.Add("Comment,\"%s\"\n", o.Field(f.comment).c_str());
        o.Add("Date,\"%s\"\n", o.Field(FormatDateTime(f.date)).c_str());
        o.Add("Scale,%g\n\n", scale);
    }
}

// The records of a folder in ascending ID order.
template <class Table, class Record>
bool FolderRecords(Table& table, std::int32_t folderId, std::int32_t Record::*id,
                   std::vector<Record>* out) {
    if (!ReadFolderRecords(table, folderId, out)) return false;
    std::stable_sort(out->begin(), out->end(),
                     [id](const Record& a, const Record& b) { return a.*id < b.*id; });
    return true;
}

// The reference offsets of one file, which cannot change while it is written.
template <class Compute>
double Memo(std::map<std::pair<std::int32_t, double>, double>& memo, std::int32_t choice,
            double level, Compute compute) {
    auto key = std::make_pair(choice, level);
    auto it = memo.find(key);
    if (it != memo.end()) return it->second;
    return memo[key] = compute();
}

std::string PreferenceText(const Out& o, const AcParamRecord& r, double offset) {
    char buffer[64];
    double sv = 0;
    std::string out = BandPreference(r, 0, offset, &sv)
                          ? (std::snprintf(buffer, sizeof buffer, "%.2lf", sv), std::string(buffer))
                          : std::string("----");
    if (r.aFilter != 0) {
        out += o.Csv() ? "," : " ";
        out += BandPreference(r, 1, offset, &sv)
                   ? (std::snprintf(buffer, sizeof buffer, "%.2lf", sv), std::string(buffer))
                   : std::string("----");
    }
    return out;
}

struct ImpulseWriter {
    std::int32_t folderId;
    bool show;  // the terminal view: the preference of one-channel results too
    CAcParamTable results;
    std::map<std::pair<std::int32_t, double>, double> offsets;

    bool Open() { return results.Open() != 0; }

    // false when the result could not be read (after the store's message).
    bool Section(Out& o, const ImpulseRecord& m, int i) {
        const bool mono = m.channel == 1;
        const double seconds = std::ldexp(1.0, m.mesTime) / m.sampling;
        if (!o.Csv()) {
            o.Add("[Data%d]\n", i);
            o.Add("Title=%s\n", m.title.c_str());
            o.Add("Comment=%s\n", m.comment.c_str());
            o.Add("Time=%s\n", FormatDateTime(m.time).c_str());
            o.Add("Sampling Rate=%ld\n", static_cast<long>(m.sampling));
            o.Add("Measurement Time=%.3f\n", seconds);
            o.Add("Summation=%ld\n", static_cast<long>(m.mesNum));
            o.Add("Channel=%s\n", mono ? "Mono" : "Stereo");
            o.Add("Bit=%ld\n\n", static_cast<long>(m.bit));
        } else {
            o.Add("[Data%d]\n", i);
            o.Add("Title,\"%s\"\n", o.Field(m.title).c_str());
            o.Add("Comment,\"%s\"\n", o.Field(m.comment).c_str());
            o.Add("Time,\"%s\"\n", o.Field(FormatDateTime(m.time)).c_str());
            o.Add("Sampling Rate,%ld\n", static_cast<long>(m.sampling));
            o.Add("Measurement Time [sec],%.3f\n", seconds);
            o.Add("Summation,%ld\n", static_cast<long>(m.mesNum));
            o.Add("Channel,%s\n", mono ? "Mono" : "Stereo");
            o.Add("Bit (bit),%ld\n\n", static_cast<long>(m.bit));
        }
        AcParamRecord r;
        if (!results.Read(m.impulseId, &r)) return !results.ReadFailed();
        const double offset = Memo(offsets, r.splRefData, r.splRefLevel, [&] {
            return SplReferenceOffset(r.splRefData, folderId, r.splRefLevel);
        });
        o.Add("[Parameters%d]\n", i);
        const int n = std::clamp(r.nData, 0, kAcParamBands);
        std::vector<std::string> labels;
        std::vector<double> splL, splR, splLR, aL, aR, aLR, tL, tR, tLR, iacc, tiacc, wiacc;
        for (int k = 0; k < n; ++k) {
            const AcParamBand& b = r.bands[static_cast<std::size_t>(k)];
            labels.push_back(BandLabel(b.freq, r.freqBand, false));
            splL.push_back(Stored(b.splL, offset));
            splR.push_back(Stored(b.splR, offset));
            splLR.push_back(b.splL == -1000.0 || b.splR == -1000.0
                                ? kNaN
                                : ListeningLevel(b.splL, b.splR) + offset);
            aL.push_back(Stored(b.aL));
            aR.push_back(Stored(b.aR));
            aLR.push_back((Stored(b.aL) + Stored(b.aR)) / 2);
            tL.push_back(Stored(b.tsubL));
            tR.push_back(Stored(b.tsubR));
            tLR.push_back((Stored(b.tsubL) + Stored(b.tsubR)) / 2);
            iacc.push_back(Stored(b.iacc));
            tiacc.push_back(Stored(b.tiacc));
            wiacc.push_back(Stored(b.wiacc));
        }
        const double dL = Stored(r.deltaT1L) - Stored(r.deltaT0L),
                     dR = Stored(r.deltaT1R) - Stored(r.deltaT0R), dLR = (dL + dR) / 2;
        const char* f = "%.2lf";
        const std::string bands = o.Labels(labels);
        if (!o.Csv()) {
            o.Add("Frequency band=%s\n", bands.c_str());
            if (mono) {
                o.Add("SPL=%s [dB]\n", o.List(splL, f).c_str());
                o.Add("dT1=%s [ms]\n", Number(dL).c_str());
                o.Add("A-value=%s\n", o.List(aL, f).c_str());
                o.Add("Tsub=%s [sec]\n", o.List(tL, f).c_str());
                if (show) o.Add("Preference=%s\n", PreferenceText(o, r, offset).c_str());
            } else {
                o.Add("SPL-LR=%s [dB]\n", o.List(splLR, f).c_str());
                o.Add("SPL-L=%s [dB]\n", o.List(splL, f).c_str());
                o.Add("SPL-R=%s [dB]\n", o.List(splR, f).c_str());
                o.Add("dT1-LR=%s [ms]\n", Number(dLR).c_str());
                o.Add("dT1-L=%s [ms]\n", Number(dL).c_str());
                o.Add("dT1-R=%s [ms]\n", Number(dR).c_str());
                o.Add("A-value-LR=%s\n", o.List(aLR, f).c_str());
                o.Add("A-value-L=%s\n", o.List(aL, f).c_str());
                o.Add("A-value-R=%s\n", o.List(aR, f).c_str());
                o.Add("Tsub-LR=%s [sec]\n", o.List(tLR, f).c_str());
                o.Add("Tsub-L=%s [sec]\n", o.List(tL, f).c_str());
                o.Add("Tsub-R=%s [sec]\n", o.List(tR, f).c_str());
                if (m.channel == 2) {
                    o.Add("IACC=%s\n", o.List(iacc, f).c_str());
                    o.Add("TIACC=%s [ms]\n", o.List(tiacc, f).c_str());
                    o.Add("WIACC=%s [ms]\n", o.List(wiacc, f).c_str());
                    o.Add("Preference=%s\n", PreferenceText(o, r, offset).c_str());
                }
            }
        } else {
            o.Add("Frequency band [Hz]%s\n", bands.c_str());
            if (mono) {
                o.Add("SPL [dB]%s\n", o.List(splL, f).c_str());
                o.Add("dT1 [ms],%s\n", Number(dL).c_str());
                o.Add("A-value%s\n", o.List(aL, f).c_str());
                o.Add("Tsub [sec]%s\n", o.List(tL, f).c_str());
            } else {
                o.Add("SPL-LR [dB]%s\n", o.List(splLR, f).c_str());
                o.Add("SPL-L [dB]%s\n", o.List(splL, f).c_str());
                o.Add("SPL-R [dB]%s\n", o.List(splR, f).c_str());
                o.Add("dT1-LR [ms],%s\n", Number(dLR).c_str());
                o.Add("dT1-L [ms],%s\n", Number(dL).c_str());
                o.Add("dT1-R [ms],%s\n", Number(dR).c_str());
                o.Add("A-value-LR%s\n", o.List(aLR, f).c_str());
                o.Add("A-value-L%s\n", o.List(aL, f).c_str());
                o.Add("A-value-R%s\n", o.List(aR, f).c_str());
                o.Add("Tsub-LR [sec]%s\n", o.List(tLR, f).c_str());
                o.Add("Tsub-L [sec]%s\n", o.List(tL, f).c_str());
                o.Add("Tsub-R [sec]%s\n", o.List(tR, f).c_str());
                o.Add("IACC%s\n", o.List(iacc, f).c_str());
                o.Add("TIACC [ms]%s\n", o.List(tiacc, f).c_str());
                o.Add("WIACC [ms]%s\n", o.List(wiacc, f).c_str());
                o.Add("Preference,%s\n", PreferenceText(o, r, offset).c_str());
            }
        }
        o.Add("\n");
        return true;
    }
};

// The factor lines shared by running-ACF and noise content.
struct FactorLists {
    std::vector<double> time, phi0;
    std::vector<float> tauE, tau1, phi1, spl, iacc, tauIacc, wiacc;
    void Fill(const std::vector<AcfFactorRecord>& factors, double step, double offset) {
        for (std::size_t k = 0; k < factors.size(); ++k) {
            const AcfFactorRecord& f = factors[k];
            time.push_back(static_cast<double>(k) * step);
            phi0.push_back(f.phi0 + offset);
            tauE.push_back(Scaled(f.tauE, 1000));
            tau1.push_back(f.tau1 * 1000);
            phi1.push_back(f.phi1);
            spl.push_back(f.binauralLevel);
            iacc.push_back(Scaled(f.iacc, 1));
            tauIacc.push_back(Scaled(f.tauIacc, 1000));
            wiacc.push_back(Scaled(f.wiacc, 1000));
        }
    }
    void Write(Out& o, bool withSpl, bool binaural) const {
        const char* f = "%.2f";
        if (!o.Csv()) {
            o.Add("Time=%s [sec]\n", o.List(time, f).c_str());
            o.Add("Phi-0=%s [dB]\n", o.List(phi0, f).c_str());
            o.Add("Tau-e=%s [ms]\n", o.List(tauE, f).c_str());
            o.Add("Tau-1=%s [ms]\n", o.List(tau1, f).c_str());
            o.Add("Phi-1=%s\n", o.List(phi1, f).c_str());
            if (withSpl) o.Add("SPL=%s [dB]\n", o.List(spl, f).c_str());
            if (binaural) {
                o.Add("IACC=%s\n", o.List(iacc, f).c_str());
                o.Add("TauIACC=%s [ms]\n", o.List(tauIacc, f).c_str());
                o.Add("WIACC=%s [ms]\n", o.List(wiacc, f).c_str());
            }
        } else {
            o.Add("Time [sec]%s\n", o.List(time, f).c_str());
            o.Add("Phi-0 [dB]%s\n", o.List(phi0, f).c_str());
            o.Add("Tau-e [ms]%s\n", o.List(tauE, f).c_str());
            o.Add("Tau-1 [ms]%s\n", o.List(tau1, f).c_str());
            o.Add("Phi-1%s\n", o.List(phi1, f).c_str());
            if (withSpl) o.Add("SPL [dB]%s\n", o.List(spl, f).c_str());
            if (binaural) {
                o.Add("IACC%s\n", o.List(iacc, f).c_str());
                o.Add("TauIACC [ms]%s\n", o.List(tauIacc, f).c_str());
                o.Add("WIACC [ms]%s\n", o.List(wiacc, f).c_str());
            }
        }
        o.Add("\n");
    }
};

struct AcfWriter {
    std::int32_t folderId;
    CAcfFactTable results;
    std::map<std::pair<std::int32_t, double>, double> offsets;

    bool Open() { return results.Open() != 0; }

    // false when the result could not be read (after the store's message).
    bool Section(Out& o, const AcfRecord& m, int i) {
        const bool mono = m.channel == 1;
        o.Add("[Data%d]\n", i);
        if (!o.Csv()) {
            o.Add("Title=%s\n", m.title.c_str());
            o.Add("Comment=%s\n", m.comment.c_str());
            o.Add("Time=%s\n", FormatDateTime(m.time).c_str());
            o.Add("Sampling Rate=%ld\n", static_cast<long>(m.sampling));
            o.Add("Sampling Data Number=%ld\n", static_cast<long>(m.sampleNum));
            o.Add("Channel=%s\n", mono ? "Mono" : "Stereo");
            o.Add("Sampling Time=%.2lf\n\n", m.dataTime);
        } else {
            o.Add("Title,\"%s\"\n", o.Field(m.title).c_str());
            o.Add("Comment,\"%s\"\n", o.Field(m.comment).c_str());
            o.Add("Time,\"%s\"\n", o.Field(FormatDateTime(m.time)).c_str());
            o.Add("Sampling Rate,%ld\n", static_cast<long>(m.sampling));
            o.Add("Sampling Data Number,%ld\n", static_cast<long>(m.sampleNum));
            o.Add("Channel,%s\n", mono ? "Mono" : "Stereo");
            o.Add("Sampling Time,%.2lf\n\n", m.dataTime);
        }
        AcfFactRecord r;
        AcfFactBlobs blobs;
        if (!results.Read(m.acfId, &r, &blobs)) return !results.ReadFailed();
        const AcfConditionBlock cond = DecodeAcfConditionBlock(blobs.cond.data());
        const RunningAcfConditions& c = cond.conditions;
        const double offset = Memo(offsets, c.phi0RefData, c.phi0RefLevel, [&] {
            return PhiZeroReferenceOffset(folderId, c.phi0RefData, c.phi0RefLevel);
        });
        o.Add("[Factor%d]\n", i);
        FactorLists lists;
        lists.Fill(DecodeAcfFactors(blobs.factors), c.runningStep, offset);
        lists.Write(o, false, m.channel == 2);
        return true;
    }
};

struct NoiseWriter {
    CNmsTable* table;

    bool Section(Out& o, const NmsRecord& listed) {
        NmsRecord m;
        NmsBlobs blobs;
        if (!table->Read(listed.nmsId, &m, &blobs)) return false;
        const long no = static_cast<long>(m.number) + 1;
        const std::string name =
            DisplayedSourceName(DecodeNoiseSourceResult(blobs.source.data()).name);
        o.Add("[Data%ld]\n", no);
        if (!o.Csv()) {
            o.Add("Time=%s\n", FormatDateTime(m.time).c_str());
            o.Add("Sampling Rate=%ld\n", static_cast<long>(m.sampling));
            o.Add("Sampling Data Number=%ld\n", static_cast<long>(m.sampleNum));
            o.Add("Sampling Time=%.2lf\n", m.dataTime);
            o.Add("Noise Source=%s\n\n", name.c_str());
        } else {
            o.Add("Time,\"%s\"\n", o.Field(FormatDateTime(m.time)).c_str());
            o.Add("Sampling Rate,%ld\n", static_cast<long>(m.sampling));
            o.Add("Sampling Data Number,%ld\n", static_cast<long>(m.sampleNum));
            o.Add("Sampling Time,%.2lf\n", m.dataTime);
            o.Add("Noise Source,\"%s\"\n\n", o.Field(name).c_str());
        }
        o.Add("[Factor%ld]\n", no);
        const NoiseConditionBlock cond = DecodeNoiseConditionBlock(blobs.cond.data());
        FactorLists lists;
        lists.Fill(DecodeAcfFactors(blobs.factors), cond.acf.conditions.runningStep, 0.0);
        lists.Write(o, true, true);
        return true;
    }
};

bool ReadFolder(std::int32_t folderId, FolderRecord* folder) {
    CFolderTable folders;
    return folders.Open() && folders.Read(folderId, folder);
}

// The content of a folder of the kind; false after a store message. `only` limits it to one
// record ID, without the folder section (for MeasurementText, which has read the folder).
bool Build(std::int32_t folderId, const std::string& kind, Out& o, std::int32_t only = -1) {
    if (only < 0) {
        FolderRecord folder;
        if (!ReadFolder(folderId, &folder)) return false;
        FolderSection(o, folder);
    }
    if (kind == "I") {
        CImpulseTable table;
        std::vector<ImpulseRecord> list;
        ImpulseWriter w{folderId, only >= 0, {}, {}};
        if (!w.Open() || !FolderRecords(table, folderId, &ImpulseRecord::impulseId, &list))
            return false;
        for (std::size_t i = 0; i < list.size(); ++i)
            if ((only < 0 || list[i].impulseId == only) &&
                !w.Section(o, list[i], static_cast<int>(i + 1)))
                return false;
        return true;
    }
    if (kind == "A") {
        CAcfTable table;
        std::vector<AcfRecord> list;
        AcfWriter w{folderId, {}, {}};
        if (!w.Open() || !FolderRecords(table, folderId, &AcfRecord::acfId, &list)) return false;
        for (std::size_t i = 0; i < list.size(); ++i)
            if ((only < 0 || list[i].acfId == only) &&
                !w.Section(o, list[i], static_cast<int>(i + 1)))
                return false;
        return true;
    }
    if (kind == "N") {
        CNmsTable table;
        std::vector<NmsRecord> list;
        if (!FolderRecords(table, folderId, &NmsRecord::nmsId, &list)) return false;
        NoiseWriter w{&table};
        for (const NmsRecord& m : list)
            if ((only < 0 || m.nmsId == only) && !w.Section(o, m)) return false;
        return true;
    }
    return false;
}

// Writes beside the target, then renames over it: a failure leaves an older file as it was.
OutputStatus Save(const std::string& path, const std::string& text) {
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const std::string temporary = path + ".vesk-part";
    bool ok = false;
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        ok =
            out && out.write(crlf.data(), static_cast<std::streamsize>(crlf.size())) && out.flush();
    }
    std::error_code error;
    if (ok) std::filesystem::rename(temporary, path, error);
    if (!ok || error) {
        std::filesystem::remove(temporary, error);
        Messages().ShowMessage("Can't create the output file " + path + ".");
        return OutputStatus::CantCreate;
    }
    return OutputStatus::Written;
}

OutputStatus Write(std::int32_t folderId, const std::string& kind, bool csv,
                   const std::string& path) {
    Out o(csv);
    // Any store error while building (a reference offset too) leaves the old file in place.
    const unsigned errors = StoreErrorCount();
    if (!Build(folderId, kind, o) || StoreErrorCount() != errors) return OutputStatus::StoreFailed;
    return Save(path, o.Text());
}

}  // namespace

OutputStatus WriteImpulseText(std::int32_t folderId, const std::string& path) {
    return Write(folderId, "I", false, path);
}
OutputStatus WriteImpulseCsv(std::int32_t folderId, const std::string& path) {
    return Write(folderId, "I", true, path);
}
OutputStatus WriteAcfText(std::int32_t folderId, const std::string& path) {
    return Write(folderId, "A", false, path);
}
OutputStatus WriteAcfCsv(std::int32_t folderId, const std::string& path) {
    return Write(folderId, "A", true, path);
}
OutputStatus WriteNoiseText(std::int32_t folderId, const std::string& path) {
    return Write(folderId, "N", false, path);
}
OutputStatus WriteNoiseCsv(std::int32_t folderId, const std::string& path) {
    return Write(folderId, "N", true, path);
}

OutputStatus WriteOutputFile(std::int32_t folderId, const std::string& kind,
                             const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    for (char& c : extension)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const bool text = extension == ".TXT", csv = extension == ".CSV";
    if (extension == ".JSON") return WriteJsonFile(folderId, kind, path);
    if (!text && !csv) {
        ShowStoreMessage(str::kChooseExtension);
        return OutputStatus::BadExtension;
    }
    if (kind != "I" && kind != "A" && kind != "N") return OutputStatus::NoContent;
    return Write(folderId, kind, csv, path);
}

std::string MeasurementText(std::int32_t folderId, std::int32_t recordId) {
    const unsigned errors = StoreErrorCount();
    FolderRecord folder;
    if (!ReadFolder(folderId, &folder)) return {};
    Out o(false);
    if (!Build(folderId, folder.type, o, recordId) || StoreErrorCount() != errors) return {};
    return o.Text();
}

}  // namespace vesk
