#include "sofa/sofa_file.h"

#include <netcdf.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

namespace vesk::sofa {

namespace {

// Attribute texts longer than this are not names or units.
constexpr std::size_t kMaxText = 4096;

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A netCDF-4 file is an HDF5 file; HDF5 looks for its signature at 0, 512, 1024, ... (after a
// user block). Classic netCDF files start with "CDF".
bool HasNetcdfSignature(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    static const char kHdf5[8] = {'\x89', 'H', 'D', 'F', '\r', '\n', '\x1a', '\n'};
    for (std::streamoff at : {0, 512, 1024, 2048, 4096}) {
        char head[8] = {};
        in.clear();
        in.seekg(at);
        if (!in.read(head, sizeof head)) return false;
        if (std::memcmp(head, kHdf5, sizeof head) == 0) return true;
        if (at == 0 && std::memcmp(head, "CDF", 3) == 0 &&
            (head[3] == 1 || head[3] == 2 || head[3] == 5))
            return true;
    }
    return false;
}

// A text attribute (NC_CHAR or NC_STRING); false when absent or not a text.
bool TextAttribute(int ncid, int varid, const char* name, std::string* out) {
    nc_type type = 0;
    std::size_t length = 0;
    if (nc_inq_att(ncid, varid, name, &type, &length) != NC_NOERR) return false;
    if (type == NC_CHAR) {
        if (length > kMaxText) return false;
        std::string text(length, '\0');
        if (length > 0 && nc_get_att_text(ncid, varid, name, text.data()) != NC_NOERR) return false;
        *out = text.substr(0, text.find('\0'));
        return true;
    }
    if (type == NC_STRING && length == 1) {
        char* text = nullptr;
        if (nc_get_att_string(ncid, varid, name, &text) != NC_NOERR) return false;
        *out = text ? std::string(text).substr(0, kMaxText) : std::string();
        nc_free_string(1, &text);
        return true;
    }
    return false;
}

// The names and lengths of a variable's dimensions; false when it has more than `maxRank`.
struct Shape {
    std::vector<std::string> names;
    std::vector<std::size_t> lengths;
    std::string Text() const {
        std::string s = "[";
        for (std::size_t i = 0; i < names.size(); ++i)
            s += (i ? " " : "") + names[i];
        return s + "]";
    }
    bool Is(std::initializer_list<const char*> expected) const {
        if (expected.size() != names.size()) return false;
        std::size_t i = 0;
        for (const char* n : expected)
            if (names[i++] != n) return false;
        return true;
    }
};

bool VariableShape(int ncid, int varid, int maxRank, Shape* shape) {
    int rank = 0;
    if (nc_inq_varndims(ncid, varid, &rank) != NC_NOERR || rank < 0 || rank > maxRank) return false;
    int dims[NC_MAX_VAR_DIMS] = {};
    if (nc_inq_vardimid(ncid, varid, dims) != NC_NOERR) return false;
    for (int i = 0; i < rank; ++i) {
        char name[NC_MAX_NAME + 1] = {};
        std::size_t length = 0;
        if (nc_inq_dim(ncid, dims[i], name, &length) != NC_NOERR) return false;
        shape->names.push_back(name);
        shape->lengths.push_back(length);
    }
    return true;
}

bool IsFloatingPoint(int ncid, int varid) {
    nc_type type = 0;
    return nc_inq_vartype(ncid, varid, &type) == NC_NOERR &&
           (type == NC_FLOAT || type == NC_DOUBLE);
}

// Trims a number to at most two decimals, without trailing zeros: 1.5, -0.25, 30.
std::string Number(double v) {
    if (!std::isfinite(v)) return "?";
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", v);
    std::string s = text;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string PositionText(const Positions& p, std::size_t i) {
    const std::array<double, 3>& v = p.At(i);
    if (p.type == Coordinates::kSpherical)
        return "az" + Number(v[0]) + " el" + Number(v[1]) + " r" + Number(v[2]);
    return Number(v[0]) + "," + Number(v[1]) + "," + Number(v[2]);
}

bool SameForAll(const Positions& p) {
    return std::all_of(p.rows.begin(), p.rows.end(),
                       [&](const std::array<double, 3>& r) { return r == p.rows.front(); });
}

}  // namespace

bool IsSofaPath(const std::string& path) {
    return path.size() > 5 && Lower(path.substr(path.size() - 5)) == ".sofa";
}

File::~File() {
    if (m_ncid >= 0) nc_close(m_ncid);
}

bool File::Fail(const std::string& what, std::string* error) const {
    *error = m_path + ": " + what;
    return false;
}

bool File::Open(const std::string& path, std::string* error) {
    if (m_ncid >= 0) nc_close(m_ncid);
    m_ncid = -1;
    m_ready = false;
    m_info = FileInfo();
    m_path = path;
    if (!HasNetcdfSignature(path))
        return Fail("not a SOFA file (no netCDF-4/HDF5 signature, or cannot be read)", error);
    if (int rc = nc_open(path.c_str(), NC_NOWRITE, &m_ncid); rc != NC_NOERR) {
        m_ncid = -1;
        return Fail(std::string("cannot be opened: ") + nc_strerror(rc), error);
    }
    FileInfo& info = m_info;
    std::string conventions;
    if (TextAttribute(m_ncid, NC_GLOBAL, "Conventions", &conventions) && conventions != "SOFA")
        return Fail("not a SOFA file (Conventions is \"" + conventions + "\")", error);
    if (!TextAttribute(m_ncid, NC_GLOBAL, "SOFAConventions", &info.conventions))
        return Fail("not a SOFA file (no SOFAConventions attribute)", error);
    if (!TextAttribute(m_ncid, NC_GLOBAL, "DataType", &info.dataType)) info.dataType = "FIR";
    // SingleRoomDRIR is the older name of SingleRoomSRIR (AES69-2020); both occur.
    static const char* const kKnown[] = {"SimpleFreeFieldHRIR", "SingleRoomSRIR", "SingleRoomDRIR",
                                         "MultiSpeakerBRIR"};
    const bool known =
        std::find(std::begin(kKnown), std::end(kKnown), info.conventions) != std::end(kKnown);
    const bool emitters = info.dataType == "FIRE" || info.dataType == "FIR-E";
    if (info.dataType != "FIR" && !emitters)
        return Fail("conventions " + info.conventions + " with data type " + info.dataType +
                        "; only impulse responses (FIR, FIRE) can be imported",
                    error);
    if (!known)
        info.notes.push_back("conventions " + info.conventions + " read as " + info.dataType +
                             " impulse responses");

    // Data.IR: [M R N], or [M R E N] with emitters.
    if (nc_inq_varid(m_ncid, "Data.IR", &m_irVar) != NC_NOERR) return Fail("has no Data.IR", error);
    Shape ir;
    if (!VariableShape(m_ncid, m_irVar, 4, &ir) ||
        !(emitters ? ir.Is({"M", "R", "E", "N"}) : ir.Is({"M", "R", "N"})))
        return Fail("Data.IR has dimensions " + ir.Text() + ", not " +
                        (emitters ? "[M R E N]" : "[M R N]") + " of data type " + info.dataType,
                    error);
    if (!IsFloatingPoint(m_ncid, m_irVar))
        return Fail("Data.IR does not hold floating-point numbers", error);
    info.measurements = ir.lengths[0];
    info.receivers = ir.lengths[1];
    info.emitters = emitters ? ir.lengths[2] : 1;
    info.samples = ir.lengths.back();
    auto bound = [&](std::size_t value, std::size_t limit, const char* what) {
        if (value >= 1 && value <= limit) return true;
        Fail(std::string(what) + " " + std::to_string(value) + " (from 1 to " +
                 std::to_string(limit) + " can be read)",
             error);
        return false;
    };
    if (!bound(info.measurements, kMaxMeasurements, "measurements") ||
        !bound(info.receivers, kMaxReceivers, "receivers") ||
        !bound(info.emitters, kMaxEmitters, "emitters") ||
        !bound(info.samples, kMaxSamples, "samples per response"))
        return false;

    // Data.SamplingRate: [I] or [M], in hertz; the store keeps one whole rate per measurement.
    int rateVar = -1;
    Shape rateShape;
    if (nc_inq_varid(m_ncid, "Data.SamplingRate", &rateVar) != NC_NOERR)
        return Fail("has no Data.SamplingRate", error);
    if (!VariableShape(m_ncid, rateVar, 1, &rateShape) ||
        !(rateShape.Is({"I"}) || rateShape.Is({"M"})) ||
        (rateShape.names[0] == "I" && rateShape.lengths[0] != 1))
        return Fail("Data.SamplingRate has dimensions " + rateShape.Text() + ", not [I] or [M]",
                    error);
    if (!IsFloatingPoint(m_ncid, rateVar))
        return Fail("Data.SamplingRate does not hold floating-point numbers", error);
    std::string units;
    if (TextAttribute(m_ncid, rateVar, "Units", &units) && Lower(units) != "hertz" &&
        Lower(units) != "hz")
        return Fail("Data.SamplingRate is in \"" + units + "\", not hertz", error);
    std::vector<double> rates(rateShape.lengths[0]);
    if (nc_get_var_double(m_ncid, rateVar, rates.data()) != NC_NOERR)
        return Fail("Data.SamplingRate cannot be read", error);
    for (double rate : rates) {
        if (!(rate >= 1 && rate <= 999999) || rate != std::floor(rate))
            return Fail(
                "sampling rate " + Number(rate) + " Hz cannot be stored (whole hertz, 1 to 999999)",
                error);
        if (rate != rates[0])
            return Fail("sampling rates differ between measurements (" + Number(rates[0]) +
                            " and " + Number(rate) + " Hz); import them from separate files",
                        error);
    }
    info.sampleRate = static_cast<int>(rates[0]);

    // Data.Delay: [I R] or [M R] (with E after R for emitters), in samples; applied on reading.
    if (nc_inq_varid(m_ncid, "Data.Delay", &m_delayVar) == NC_NOERR) {
        Shape delay;
        const bool fits = VariableShape(m_ncid, m_delayVar, 3, &delay) &&
                          (emitters ? delay.Is({"I", "R", "E"}) || delay.Is({"M", "R", "E"})
                                    : delay.Is({"I", "R"}) || delay.Is({"M", "R"})) &&
                          IsFloatingPoint(m_ncid, m_delayVar);
        if (!fits || (delay.names[0] == "I" && delay.lengths[0] != 1))
            return Fail("Data.Delay has dimensions " + delay.Text() + ", not " +
                            (emitters ? "[I R E] or [M R E]" : "[I R] or [M R]"),
                        error);
        m_delayPerMeasurement = delay.names[0] == "M";
    } else {
        m_delayVar = -1;
    }

    // Positions: source and listener [I C] or [M C]; receivers [R C I] or [R C M] (also [R C]);
    // emitters likewise with E. Only the first measurement's receivers and emitters are kept.
    auto positions = [&](const char* name, const char* rows, Positions* p) {
        int var = -1;
        if (nc_inq_varid(m_ncid, name, &var) != NC_NOERR) {
            info.notes.push_back(std::string("no ") + name);
            return true;
        }
        Shape s;
        const bool perRow = std::strcmp(rows, "M") != 0;
        const bool fits =
            VariableShape(m_ncid, var, 3, &s) && IsFloatingPoint(m_ncid, var) &&
            (perRow ? s.Is({rows, "C", "I"}) || s.Is({rows, "C", "M"}) || s.Is({rows, "C"})
                    : s.Is({"I", "C"}) || s.Is({"M", "C"})) &&
            s.lengths[1] == 3 && (s.names[0] != "I" || s.lengths[0] == 1) &&
            (s.names.size() < 3 || s.names[2] != "I" || s.lengths[2] == 1);
        if (!fits)
            return Fail(std::string(name) + " has dimensions " + s.Text() + ", not " +
                            (perRow ? std::string("[") + rows + " C I] or [" + rows + " C M]"
                                    : "[I C] or [M C]"),
                        error);
        // Dimension names are unique in a file, so M, R and E have the bounded lengths of Data.IR.
        const std::size_t count = s.lengths[0];
        if (count == 0) return Fail(std::string(name) + " is empty", error);
        TextAttribute(m_ncid, var, "Type", &p->typeName);
        TextAttribute(m_ncid, var, "Units", &p->units);
        const std::string type = Lower(p->typeName);
        p->type = type == "cartesian"   ? Coordinates::kCartesian
                  : type == "spherical" ? Coordinates::kSpherical
                                        : Coordinates::kOther;
        p->rows.resize(count);
        std::vector<double> values(count * 3);
        int rc = NC_NOERR;
        if (s.names.size() == 3) {
            const std::size_t start[3] = {0, 0, 0}, extent[3] = {count, 3, 1};
            rc = nc_get_vara_double(m_ncid, var, start, extent, values.data());
        } else {
            rc = nc_get_var_double(m_ncid, var, values.data());
        }
        if (rc != NC_NOERR)
            return Fail(std::string(name) + " cannot be read: " + nc_strerror(rc), error);
        for (std::size_t i = 0; i < count; ++i)
            for (std::size_t k = 0; k < 3; ++k)
                p->rows[i][k] = values[i * 3 + k];
        return true;
    };
    if (!positions("SourcePosition", "M", &info.source) ||
        !positions("ListenerPosition", "M", &info.listener) ||
        !positions("ReceiverPosition", "R", &info.receiver) ||
        (emitters && !positions("EmitterPosition", "E", &info.emitter)))
        return false;
    if (!info.receiver.rows.empty() && info.receiver.rows.size() != info.receivers)
        return Fail("ReceiverPosition has " + std::to_string(info.receiver.rows.size()) +
                        " rows for " + std::to_string(info.receivers) + " receivers",
                    error);
    m_ready = true;
    return true;
}

bool File::Choose(const Choice& choice, std::vector<std::size_t>* numbers,
                  std::vector<std::size_t>* receivers, std::string* error) const {
    if (!m_ready) return Fail("is not open", error);
    const std::size_t total = ResponseCount();
    numbers->clear();
    receivers->clear();
    if (choice.responses.empty()) {
        if (total > kMaxUnchosen)
            return Fail("holds " + std::to_string(total) + " responses; choose at most " +
                            std::to_string(kMaxUnchosen) +
                            " of them with --measurement M,... or A-B",
                        error);
        for (std::size_t n = 1; n <= total; ++n)
            numbers->push_back(n);
    } else {
        for (std::size_t n : choice.responses) {
            if (n < 1 || n > total)
                return Fail("has no response " + std::to_string(n) + " (it has " +
                                std::to_string(total) +
                                (m_info.emitters > 1 ? ": measurements x emitters)" : ")"),
                            error);
            numbers->push_back(n);
        }
    }
    if (choice.receivers.size() > 2) return Fail("takes one or two receivers (left, right)", error);
    std::vector<int> chosen = choice.receivers;
    if (chosen.empty())
        chosen = m_info.receivers == 1 ? std::vector<int>{1} : std::vector<int>{1, 2};
    for (int r : chosen) {
        if (r < 1 || static_cast<std::size_t>(r) > m_info.receivers)
            return Fail("has no receiver " + std::to_string(r) + " (it has " +
                            std::to_string(m_info.receivers) + "); choose the ears with --ears L,R",
                        error);
        receivers->push_back(static_cast<std::size_t>(r - 1));
    }
    // Bounded by the counts above, so no product here overflows. Delays may add to each response;
    // an importer that trims each one before reading the next keeps within the bound anyway.
    if (numbers->size() * receivers->size() * m_info.samples > kMaxChosenSamples)
        return Fail(std::to_string(numbers->size()) + " responses of " +
                        std::to_string(m_info.samples) +
                        " samples are more than one import takes; choose fewer with --measurement",
                    error);
    return true;
}

bool File::Read(std::size_t number, const std::vector<std::size_t>& receivers, Response* out,
                std::string* error) const {
    if (!m_ready || number < 1 || number > ResponseCount()) return Fail("no such response", error);
    const std::size_t m = (number - 1) / m_info.emitters, e = (number - 1) % m_info.emitters;
    const bool emitters = m_info.dataType != "FIR";
    const std::string which = "response " + std::to_string(number);
    out->number = number;
    out->sampleRate = m_info.sampleRate;
    out->title = ResponseTitle(m_info, m, e);
    out->channels.assign(receivers.size(), {});
    std::size_t longest = 0;
    for (std::size_t k = 0; k < receivers.size(); ++k) {
        const std::size_t r = receivers[k];
        std::size_t delay = 0;
        if (m_delayVar >= 0) {
            const std::size_t start[3] = {m_delayPerMeasurement ? m : 0, r, e},
                              count[3] = {1, 1, 1};
            double d = 0;
            if (nc_get_vara_double(m_ncid, m_delayVar, start, count, &d) != NC_NOERR)
                return Fail("Data.Delay of " + which + " cannot be read", error);
            if (!(d >= 0 && d <= static_cast<double>(kMaxSamples - m_info.samples)))
                return Fail("Data.Delay of " + which + " is " + Number(d) + " samples", error);
            delay = static_cast<std::size_t>(std::lround(d));
        }
        std::vector<float>& channel = out->channels[k];
        channel.assign(delay + m_info.samples, 0.0f);
        const std::size_t start[4] = {m, r, emitters ? e : 0, 0};
        const std::size_t count[4] = {1, 1, emitters ? 1 : m_info.samples, m_info.samples};
        const int rc = nc_get_vara_float(m_ncid, m_irVar, start, count, channel.data() + delay);
        if (rc != NC_NOERR)
            return Fail("Data.IR of " + which + " cannot be read: " + nc_strerror(rc), error);
        if (!std::all_of(channel.begin(), channel.end(), [](float v) { return std::isfinite(v); }))
            return Fail("Data.IR of " + which + " holds a value that is not a finite number",
                        error);
        longest = std::max(longest, channel.size());
    }
    for (std::vector<float>& channel : out->channels)
        channel.resize(longest, 0.0f);
    return true;
}

std::string ResponseTitle(const FileInfo& info, std::size_t measurement, std::size_t emitter,
                          std::size_t width) {
    const std::string lead = info.emitters > 1 ? "e" + std::to_string(emitter + 1) + " " : "";
    const bool hasSource = !info.source.rows.empty(), hasListener = !info.listener.rows.empty();
    if (!hasSource && !hasListener) return lead + "m" + std::to_string(measurement + 1);
    const std::string source = hasSource ? "src " + PositionText(info.source, measurement) : "";
    const std::string listener =
        hasListener ? "lis " + PositionText(info.listener, measurement) : "";
    std::string whole = lead + source + (hasSource && hasListener ? " " : "") + listener;
    if (whole.size() <= width || !hasSource || !hasListener) return whole;
    // HRIR sets move the source around a fixed listener; room sets often the other way round.
    if (SameForAll(info.listener)) return lead + source;
    if (SameForAll(info.source)) return lead + listener;
    return lead + PositionText(info.source, measurement) + ">" +
           PositionText(info.listener, measurement);
}

bool ReadResponses(const std::string& path, const Choice& choice, std::vector<Response>* out,
                   std::vector<std::string>* notes, std::string* error) {
    File file;
    std::vector<std::size_t> numbers, receivers;
    if (!file.Open(path, error) || !file.Choose(choice, &numbers, &receivers, error)) return false;
    *notes = file.Info().notes;
    out->clear();
    for (std::size_t n : numbers) {
        out->emplace_back();
        if (!file.Read(n, receivers, &out->back(), error)) return false;
    }
    return true;
}

}  // namespace vesk::sofa
