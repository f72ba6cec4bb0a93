// Writes small SOFA files through netCDF-C for the tests, sound or damaged on purpose.
#pragma once

#include <netcdf.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace vesk::test {

struct SofaSpec {
    std::string conventions = "SimpleFreeFieldHRIR";
    std::string dataType = "FIR";  // "FIRE" adds E between R and N
    std::size_t m = 3, r = 2, e = 1, n = 256;
    // Declared lengths that differ from the data (nothing is written to such a variable); 0 for
    // NC_UNLIMITED.
    std::map<std::string, std::size_t> declared;
    std::vector<std::string> irDims;  // empty: M R N or M R E N
    bool writeIr = true;
    std::vector<double> ir;               // M x R (x E) x N
    std::vector<double> rates = {48000};  // one: [I]; M: [M]
    std::vector<double> delays;           // empty: none; R (x E): [I R]; M x R (x E): [M R]
    std::string sourceType = "spherical", sourceUnits = "degree, degree, metre";
    std::vector<double> source;  // 3: [I C]; 3M: [M C]; empty: none
    std::string listenerType = "cartesian", listenerUnits = "metre";
    std::vector<double> listener;
    std::vector<double> receivers;  // R x 3: [R C I]
};

// false when netCDF refuses to write what was asked.
inline bool WriteSofa(const std::string& path, const SofaSpec& s) {
    int nc = -1;
    if (nc_create(path.c_str(), NC_NETCDF4 | NC_CLOBBER, &nc) != NC_NOERR) return false;
    bool ok = true;
    auto check = [&](int rc) { ok = ok && rc == NC_NOERR; };
    auto text = [&](int var, const char* name, const std::string& value) {
        check(nc_put_att_text(nc, var, name, value.size(), value.c_str()));
    };
    text(NC_GLOBAL, "Conventions", "SOFA");
    text(NC_GLOBAL, "SOFAConventions", s.conventions);
    text(NC_GLOBAL, "DataType", s.dataType);
    const bool emitters = s.dataType == "FIRE";
    std::map<std::string, int> dims;
    std::map<std::string, std::size_t> lengths = {
        {"I", 1}, {"C", 3}, {"M", s.m}, {"R", s.r}, {"N", s.n}};
    if (emitters) lengths["E"] = s.e;
    for (auto& [name, length] : lengths) {
        auto d = s.declared.find(name);
        const std::size_t declared = d == s.declared.end() ? length : d->second;
        check(nc_def_dim(nc, name.c_str(), declared == 0 ? NC_UNLIMITED : declared, &dims[name]));
    }
    auto var = [&](const char* name, std::vector<std::string> names, int* id) {
        std::vector<int> ids;
        for (const std::string& d : names)
            ids.push_back(dims[d]);
        check(nc_def_var(nc, name, NC_DOUBLE, static_cast<int>(ids.size()), ids.data(), id));
    };
    int irVar = -1, rateVar = -1, delayVar = -1, sourceVar = -1, listenerVar = -1, receiverVar = -1;
    std::vector<std::string> irDims = s.irDims;
    if (irDims.empty())
        irDims = emitters ? std::vector<std::string>{"M", "R", "E", "N"}
                          : std::vector<std::string>{"M", "R", "N"};
    if (s.writeIr) {
        var("Data.IR", irDims, &irVar);
        // Chunked, so a huge declared dimension takes no space.
        std::vector<std::size_t> chunks(irDims.size(), 1);
        std::size_t last = 0;
        check(nc_inq_dimlen(nc, dims[irDims.back()], &last));
        chunks.back() = std::min<std::size_t>(std::max<std::size_t>(last, 1), 256);
        check(nc_def_var_chunking(nc, irVar, NC_CHUNKED, chunks.data()));
    }
    var("Data.SamplingRate", {s.rates.size() == 1 ? "I" : "M"}, &rateVar);
    text(rateVar, "Units", "hertz");
    if (!s.delays.empty()) {
        std::vector<std::string> d = {s.delays.size() == s.r * (emitters ? s.e : 1) ? "I" : "M",
                                      "R"};
        if (emitters) d.push_back("E");
        var("Data.Delay", d, &delayVar);
    }
    if (!s.source.empty()) {
        var("SourcePosition", {s.source.size() == 3 ? "I" : "M", "C"}, &sourceVar);
        text(sourceVar, "Type", s.sourceType);
        text(sourceVar, "Units", s.sourceUnits);
    }
    if (!s.listener.empty()) {
        var("ListenerPosition", {s.listener.size() == 3 ? "I" : "M", "C"}, &listenerVar);
        text(listenerVar, "Type", s.listenerType);
        text(listenerVar, "Units", s.listenerUnits);
    }
    if (!s.receivers.empty()) {
        var("ReceiverPosition", {"R", "C", "I"}, &receiverVar);
        text(receiverVar, "Type", "cartesian");
        text(receiverVar, "Units", "metre");
    }
    check(nc_enddef(nc));
    // Data go only where every dimension has its real length: netCDF takes the declared extent.
    auto put = [&](int var, const std::vector<double>& values) {
        int rank = 0;
        int ids[NC_MAX_VAR_DIMS] = {};
        check(nc_inq_var(nc, var, nullptr, nullptr, &rank, ids, nullptr));
        for (int i = 0; i < rank; ++i) {
            char name[NC_MAX_NAME + 1] = {};
            check(nc_inq_dimname(nc, ids[i], name));
            if (s.declared.count(name)) return;
        }
        check(nc_put_var_double(nc, var, values.data()));
    };
    if (s.writeIr && !s.ir.empty()) put(irVar, s.ir);
    put(rateVar, s.rates);
    if (delayVar >= 0) put(delayVar, s.delays);
    if (sourceVar >= 0) put(sourceVar, s.source);
    if (listenerVar >= 0) put(listenerVar, s.listener);
    if (receiverVar >= 0) put(receiverVar, s.receivers);
    check(nc_close(nc));
    return ok;
}

}  // namespace vesk::test
