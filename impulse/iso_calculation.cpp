#include "impulse/iso_calculation.h"

#include <algorithm>
#include <cmath>

#include "base/thread_pool.h"
#include "dsp/bands.h"

namespace vesk {

namespace {

IsoDecayStored StoredDecay(const iso::DecayTime& d) {
    IsoDecayStored s;
    s.seconds = iso::ToStoreValue(d.seconds);
    s.r = iso::ToStoreValue(d.r);
    s.xi = iso::ToStoreValue(d.xi);
    s.lineAtOnset = iso::ToStoreValue(d.lineAtOnset);
    s.fromDb = iso::ToStoreValue(d.fromDb);
    s.toDb = iso::ToStoreValue(d.toDb);
    s.missing = static_cast<std::int32_t>(d.missing);
    s.flags = d.flags;
    return s;
}

IsoChannelStored StoredChannel(const iso::ChannelResult& c) {
    IsoChannelStored s;
    s.onset = iso::ToStoreValue(c.onset);
    s.truncation = iso::ToStoreValue(c.truncation);
    s.noiseDb = iso::ToStoreValue(c.noiseDb);
    s.inr = iso::ToStoreValue(c.inr);
    s.edt = StoredDecay(c.edt);
    s.t20 = StoredDecay(c.t20);
    s.t30 = StoredDecay(c.t30);
    s.curvature = iso::ToStoreValue(c.curvature);
    s.c50 = iso::ToStoreValue(c.c50);
    s.c80 = iso::ToStoreValue(c.c80);
    s.d50 = iso::ToStoreValue(c.d50);
    s.ts = iso::ToStoreValue(c.ts);
    s.energyMissing = static_cast<std::int32_t>(c.energyMissing);
    s.flags = c.flags;
    return s;
}

IsoIaccStored StoredIacc(const iso::Iacc& i) {
    return {iso::ToStoreValue(i.value), iso::ToStoreValue(i.tauMs)};
}

// The record's band entry with this nominal centre (0 broadband); -1 when it has none.
int EntryOf(const AcParamRecord& record, double nominal, int bandSystem) {
    const BandTable& table = GetBandTable(bandSystem);
    const int n = std::clamp(record.nData, 0, kAcParamBands);
    for (int k = 0; k < n; ++k) {
        const int code = record.bands[static_cast<std::size_t>(k)].freq;
        if (code < 0 || code >= table.count) continue;
        const double centre = table.nominalCentre[code];
        if (nominal == 0 ? code == 0 : std::fabs(centre - nominal) <= 0.01 * nominal) return k;
    }
    return -1;
}

}  // namespace

iso::Options IsoOptionsOf(const ImpulseConditions& c) {
    iso::Options o;
    o.system = c.freqBand == 1 ? iso::BandSystem::ThirdOctave : iso::BandSystem::Octave;
    const BandTable& table = GetBandTable(c.freqBand);
    const int from = c.bandFrom, to = c.bandTo + 1;
    if (from < 1 || from >= table.count) {
        o.lowest = o.highest = 1e9;  // no band has that centre: broadband alone
        return o;
    }
    o.lowest = table.nominalCentre[from];
    o.highest = table.nominalCentre[std::clamp(to, from, table.count - 1)];
    return o;
}

IsoResultRecord ToIsoStored(const iso::Results& results, const iso::Options& options,
                            const AcParamRecord& record, const CalcNotes& notes) {
    IsoResultRecord out;
    out.impulseId = record.impulseId;
    out.channels = results.channels;
    out.bandSystem = options.system == iso::BandSystem::ThirdOctave ? 1 : 0;
    for (const iso::BandResult& b : results.bands) {
        IsoBandStored s;
        s.nominalCentre = b.nominalCentre;
        s.timeReversed = b.timeReversed;
        for (int ch = 0; ch < 2; ++ch)
            s.channel[ch] = StoredChannel(b.channel[ch]);
        s.early = StoredIacc(b.early);
        s.late = StoredIacc(b.late);
        s.all = StoredIacc(b.all);
        s.iaccMissing = static_cast<std::int32_t>(b.iaccMissing);
        const int k = EntryOf(record, b.nominalCentre, out.bandSystem);
        if (k >= 0 && static_cast<std::size_t>(k) < notes.tsubFits.size()) {
            const TsubFit& fit = notes.tsubFits[static_cast<std::size_t>(k)];
            for (int ch = 0; ch < results.channels && ch < 2; ++ch) {
                s.channel[ch].tsubRangeDb = fit.rangeDb[ch];
                s.channel[ch].tsubR = fit.r[ch];
            }
        }
        out.bands.push_back(s);
    }
    const iso::SingleNumbers& n = results.single;
    for (int ch = 0; ch < 2; ++ch) {
        out.single.edt[ch] = iso::ToStoreValue(n.edt[ch]);
        out.single.t20[ch] = iso::ToStoreValue(n.t20[ch]);
        out.single.t30[ch] = iso::ToStoreValue(n.t30[ch]);
        out.single.c50[ch] = iso::ToStoreValue(n.c50[ch]);
        out.single.c80[ch] = iso::ToStoreValue(n.c80[ch]);
        out.single.d50[ch] = iso::ToStoreValue(n.d50[ch]);
        out.single.ts[ch] = iso::ToStoreValue(n.ts[ch]);
    }
    out.single.iaccE3 = iso::ToStoreValue(n.iaccE3);
    out.single.iaccL3 = iso::ToStoreValue(n.iaccL3);
    return out;
}

bool ComputeIsoResult(const ImpulseRecord& m, const SampleBlock& block, double fs,
                      const ImpulseConditions& c, const AcParamRecord& record,
                      const CalcNotes& notes, iso::Analyzer* analyzer, IsoResultRecord* out) {
    std::vector<float> left, right;
    if (!RecoverImpulseResponses(m, block, fs, &left, &right)) return false;
    const iso::Options options = IsoOptionsOf(c);
    iso::Results results;
    if (analyzer->Calculate(left.data(), right.empty() ? nullptr : right.data(), left.size(), fs,
                            options, &results, PoolParallelFor()) != iso::kDone)
        return false;
    *out = ToIsoStored(results, options, record, notes);
    return true;
}

iso::ParallelFor PoolParallelFor() {
    return [](std::size_t count, const std::function<void(std::size_t)>& body) {
        SharedPool().ParallelFor(count, [&](std::size_t i, int) { body(i); });
    };
}

}  // namespace vesk
