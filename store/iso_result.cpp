// The ISO result blob: a small header of 32-bit integers, then doubles, all little-endian, so a
// store moves between machines as its files.
#include "store/iso_result.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "store/tables.h"

namespace vesk {

namespace {

constexpr std::uint32_t kMagic = 0x31534956;  // "VIS1"
constexpr std::uint32_t kHeaderSize = 20;     // magic, channels, band system, bands, reserved
constexpr std::size_t kSingleDoubles = 16;
constexpr std::size_t kChannelDoubles = 37;
constexpr std::size_t kBandDoubles = 2 + 2 * kChannelDoubles + 7;
// More bands than any band system of the calculation has (34 third-octaves).
constexpr std::uint32_t kMaxBands = 64;
constexpr std::int32_t kMaxMissing = 4;  // iso::Missing::OneChannel
constexpr std::uint32_t kFlagMask = 0x1F;

void PutU32(std::vector<unsigned char>* out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<unsigned char>(v >> (8 * i)));
}
std::uint32_t GetU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

class Writer {
  public:
    explicit Writer(std::vector<unsigned char>* out) : m_out(out) {}
    void operator()(double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i)
            m_out->push_back(static_cast<unsigned char>(bits >> (8 * i)));
    }

  private:
    std::vector<unsigned char>* m_out;
};

class Reader {
  public:
    explicit Reader(const unsigned char* p) : m_p(p) {}
    double operator()() {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= static_cast<std::uint64_t>(m_p[i]) << (8 * i);
        m_p += 8;
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    // A code stored as a double: only whole numbers in [0, limit] are accepted.
    bool Code(double limit, std::uint32_t* out) {
        const double v = (*this)();
        if (!(v >= 0 && v <= limit) || v != std::floor(v)) return false;
        *out = static_cast<std::uint32_t>(v);
        return true;
    }

  private:
    const unsigned char* m_p;
};

void WriteDecay(Writer& w, const IsoDecayStored& d) {
    w(d.seconds), w(d.r), w(d.xi), w(d.lineAtOnset), w(d.fromDb), w(d.toDb);
    w(d.missing), w(d.flags);
}

bool ReadDecay(Reader& r, IsoDecayStored* d) {
    d->seconds = r(), d->r = r(), d->xi = r(), d->lineAtOnset = r(), d->fromDb = r(), d->toDb = r();
    std::uint32_t missing = 0;
    bool ok = r.Code(kMaxMissing, &missing);
    d->missing = static_cast<std::int32_t>(missing);
    return r.Code(kFlagMask, &d->flags) && ok;
}

void WriteChannel(Writer& w, const IsoChannelStored& c) {
    w(c.onset), w(c.truncation), w(c.noiseDb), w(c.inr);
    WriteDecay(w, c.edt), WriteDecay(w, c.t20), WriteDecay(w, c.t30);
    w(c.curvature), w(c.c50), w(c.c80), w(c.d50), w(c.ts);
    w(c.energyMissing), w(c.flags), w(c.tsubRangeDb), w(c.tsubR);
}

bool ReadChannel(Reader& r, IsoChannelStored* c) {
    c->onset = r(), c->truncation = r(), c->noiseDb = r(), c->inr = r();
    bool ok = ReadDecay(r, &c->edt);
    ok = ReadDecay(r, &c->t20) && ok;
    ok = ReadDecay(r, &c->t30) && ok;
    c->curvature = r(), c->c50 = r(), c->c80 = r(), c->d50 = r(), c->ts = r();
    std::uint32_t missing = 0;
    ok = r.Code(kMaxMissing, &missing) && ok;
    c->energyMissing = static_cast<std::int32_t>(missing);
    ok = r.Code(kFlagMask, &c->flags) && ok;
    c->tsubRangeDb = r(), c->tsubR = r();
    return ok;
}

}  // namespace

void EncodeIsoResult(const IsoResultRecord& result, std::vector<unsigned char>* out) {
    out->clear();
    PutU32(out, kMagic);
    PutU32(out, static_cast<std::uint32_t>(result.channels));
    PutU32(out, static_cast<std::uint32_t>(result.bandSystem));
    PutU32(out, static_cast<std::uint32_t>(result.bands.size()));
    PutU32(out, 0);
    Writer w(out);
    const IsoSingleStored& s = result.single;
    for (const double* pair : {s.edt, s.t20, s.t30, s.c50, s.c80, s.d50, s.ts})
        w(pair[0]), w(pair[1]);
    w(s.iaccE3), w(s.iaccL3);
    for (const IsoBandStored& b : result.bands) {
        w(b.nominalCentre), w(b.timeReversed ? 1.0 : 0.0);
        WriteChannel(w, b.channel[0]);
        WriteChannel(w, b.channel[1]);
        w(b.early.value), w(b.early.tauMs), w(b.late.value), w(b.late.tauMs);
        w(b.all.value), w(b.all.tauMs), w(b.iaccMissing);
    }
}

DbStatus DecodeIsoResult(const unsigned char* data, std::size_t size, IsoResultRecord* result) {
    if (!data || size < kHeaderSize || GetU32(data) != kMagic) return db::kBlobDamaged;
    const std::uint32_t channels = GetU32(data + 4), system = GetU32(data + 8),
                        bands = GetU32(data + 12);
    if (channels < 1 || channels > 2 || system > 1 || bands > kMaxBands ||
        size != kHeaderSize + 8 * (kSingleDoubles + bands * kBandDoubles))
        return db::kBlobDamaged;
    IsoResultRecord r;
    r.impulseId = result->impulseId;
    r.channels = static_cast<std::int32_t>(channels);
    r.bandSystem = static_cast<std::int32_t>(system);
    Reader in(data + kHeaderSize);
    IsoSingleStored& s = r.single;
    for (double* pair : {s.edt, s.t20, s.t30, s.c50, s.c80, s.d50, s.ts})
        pair[0] = in(), pair[1] = in();
    s.iaccE3 = in(), s.iaccL3 = in();
    bool ok = true;
    r.bands.resize(bands);
    for (IsoBandStored& b : r.bands) {
        b.nominalCentre = in();
        std::uint32_t reversed = 0, missing = 0;
        ok = in.Code(1, &reversed) && ok;
        b.timeReversed = reversed != 0;
        ok = ReadChannel(in, &b.channel[0]) && ok;
        ok = ReadChannel(in, &b.channel[1]) && ok;
        b.early.value = in(), b.early.tauMs = in(), b.late.value = in(), b.late.tauMs = in();
        b.all.value = in(), b.all.tauMs = in();
        ok = in.Code(kMaxMissing, &missing) && ok;
        b.iaccMissing = static_cast<std::int32_t>(missing);
    }
    if (!ok) return db::kBlobDamaged;
    *result = std::move(r);
    return db::kOk;
}

std::string IsoStampOf(const AcParamRecord& record) {
    // FNV-1a over the band set; 16 hex digits fill the stamp field.
    std::uint64_t h = 0xcbf29ce484222325ull;
    auto mix = [&h](std::int32_t v) {
        for (int i = 0; i < 4; ++i) {
            h ^= static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
            h *= 0x100000001b3ull;
        }
    };
    mix(record.impulseId);
    mix(record.nData);
    mix(record.freqBand);
    const int n = record.nData < 0 ? 0 : std::min(record.nData, kAcParamBands);
    for (int i = 0; i < n; ++i)
        mix(record.bands[static_cast<std::size_t>(i)].freq);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

IsoLoad LoadIsoResult(long impulseId, IsoResultRecord* result) {
    std::error_code ec;
    if (!std::filesystem::exists(DataPath() + "/" + IsoParamSpec().name + ".DBF", ec))
        return IsoLoad::Absent;
    CAcParamTable acparams;
    AcParamRecord record;
    if (!acparams.Open()) return IsoLoad::Failed;
    if (!acparams.Read(impulseId, &record))
        return acparams.ReadFailed() ? IsoLoad::Failed : IsoLoad::Absent;
    CIsoParamTable table;
    if (!table.Open()) return IsoLoad::Failed;
    if (table.Read(impulseId, IsoStampOf(record), result)) return IsoLoad::Loaded;
    return table.ReadFailed() ? IsoLoad::Failed : IsoLoad::Absent;
}

}  // namespace vesk
