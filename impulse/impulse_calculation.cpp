#include "impulse/impulse_calculation.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "dsp/bands.h"
#include "dsp/mls.h"
#include "impulse/impulse_analysis.h"
#include "resources/strings.h"
#include "store/messages.h"
#include "store/tables.h"

namespace vesk {

namespace {

constexpr std::int32_t kMaxOrder = 20;

// N8.2 fields hold -99999.99 .. 99999.99; anything else is stored as the missing value.
double Storable(double v) {
    return std::isfinite(v) && std::fabs(v) < 99999.995 ? v : kNoValue;
}

}  // namespace

CalcResult CalculateImpulseParameters(const ImpulseRecord& m, const SampleBlock& block,
                                      AcParamRecord* rec, double fs, const ImpulseConditions& c,
                                      Progress* progress) {
    if (m.mesTime < 1 || m.mesTime > kMaxOrder || !(fs > 0) || block.channels == 0)
        return CalcResult::Unusable;
    const std::int32_t n = std::int32_t{1} << m.mesTime;
    const bool stereo = m.channel == 2 && block.channels == 2;
    const std::size_t frames = std::min<std::size_t>(block.Frames(), static_cast<std::size_t>(n));
    std::vector<float> rawL(static_cast<std::size_t>(n), 0.0f), rawR, workL(rawL.size()), workR;
    for (std::size_t i = 0; i < frames; ++i)
        rawL[i] = block.At(i, 0);
    if (stereo) {
        rawR.assign(rawL.size(), 0.0f);
        workR.resize(rawL.size());
        for (std::size_t i = 0; i < frames; ++i)
            rawR[i] = block.At(i, 1);
    }
    if (!MlsPrepare(m.noMls ? 0 : m.mesTime)) return CalcResult::Unusable;
    MlsRecover(rawL.data());
    if (stereo) MlsRecover(rawR.data());

    rec->freqBand = c.freqBand;
    rec->aFilter = c.aFilter;
    rec->splRefData = c.splRefData;
    rec->splRefLevel = c.splRefLevel;
    rec->dt1MinTime = c.dt1MinTime;
    rec->tsubEnd = c.tsubEnd;
    rec->tsubAuto = c.tsubAuto;
    rec->tsubNoise = c.tsubNoise;
    rec->iaccWLevel = c.iaccWLevel;
    rec->prefSpl = c.prefSpl;
    rec->prefTauE = c.prefTauE;

    const BandTable& table = GetBandTable(c.freqBand);
    const std::int32_t mIacf = IacfLength(fs);
    std::vector<float> iacf(static_cast<std::size_t>(std::max(mIacf, 1)));
    int entries = 0;
    CalcResult result = CalcResult::Finished;
    for (int step = 0, b = 0; b < table.count && entries < kAcParamBands; ++step) {
        int band;
        if (step == 0) {
            band = 0;
        } else if (step == 1 && c.aFilter) {
            band = -1;
        } else {
            ++b;
            if (b >= table.count) break;
            if (c.bandFrom == 0 || b < c.bandFrom || b > c.bandTo + 1) continue;
            if (table.exactCentre[b] > fs / 2) break;
            band = b;
        }
        if (progress) {
            if (progress->PollCancel()) {
                result = CalcResult::Cancelled;
                break;
            }
            std::string label = BandLabel(band, c.freqBand, false);
            char text[128];
            std::snprintf(text, sizeof text, band > 0 ? "%s [%sHz]" : "%s [%s]", m.title.c_str(),
                          label.c_str());
            progress->SetMessage(text);
            progress->ItemProgress(100 * b / table.count);
        }
        workL = rawL;
        if (stereo) workR = rawR;
        if (!ApplyBandFilter(workL.data(), stereo ? workR.data() : nullptr, n, fs, band,
                             c.freqBand))
            continue;
        AcParamBand& e = rec->bands[static_cast<std::size_t>(entries++)];
        e.freq = band;
        e.splL = Storable(BandLevel(workL.data(), n, m.multiplier));
        if (stereo) e.splR = Storable(BandLevel(workR.data(), n, m.multiplier));
        if (step == 0) {
            double d0 = 0, d1 = 0;
            FindDirectAndFirstReflection(workL.data(), n, fs, c.dt1MinTime, &d0, &d1);
            rec->deltaT0L = Storable(d0);
            rec->deltaT1L = Storable(d1);
            if (stereo) {
                FindDirectAndFirstReflection(workR.data(), n, fs, c.dt1MinTime, &d0, &d1);
                rec->deltaT0R = Storable(d0);
                rec->deltaT1R = Storable(d1);
            }
        }
        TsubResult left = ComputeTsub(workL.data(), nullptr, n, fs, rec->deltaT1L, c.tsubEnd,
                                      c.tsubAuto, c.tsubNoise);
        e.tsubL = Storable(left.tsub);
        e.aL = Storable(left.aValue);
        if (stereo) {
            TsubResult right = ComputeTsub(workR.data(), nullptr, n, fs, rec->deltaT1R, c.tsubEnd,
                                           c.tsubAuto, c.tsubNoise);
            e.tsubR = Storable(right.tsub);
            e.aR = Storable(right.aValue);
            if (mIacf > 0) {
                ComputeIacf(workL.data(), workR.data(), n, iacf.data(), mIacf);
                IacfResult x = EvaluateIacf(iacf.data(), mIacf, fs, c.iaccWLevel);
                e.iacc = Storable(x.iacc);
                e.tiacc = Storable(x.tauIacc);
                e.wiacc = Storable(x.wiacc);
            }
        }
    }
    rec->nData = entries;
    return result;
}

RunSummary RunImpulseCalculation(std::int32_t folderId, const ImpulseConditions& conditions,
                                 Target target, const std::set<std::int32_t>& selected,
                                 Progress* progress) {
    RunSummary summary;
    CImpulseTable measurements;
    CAcParamTable results;
    CFolderTable folders;
    FolderRecord folder;
    if (!measurements.Open() || !results.Open() || !folders.Open() ||
        !folders.Read(folderId, &folder)) {
        summary.failed = true;
        return summary;
    }
    const double scale = folder.scale == 0 ? 1.0 : folder.scale;
    long count = 0;
    if (!measurements.SetScopeTo(folderId, &count)) {
        summary.failed = true;
        return summary;
    }
    // The folder's measurements first: reading one by ID for its samples moves the table off
    // the folder's walk.
    std::vector<std::int32_t> ids;
    ImpulseRecord m;
    while (measurements.ReadNext(&m))
        ids.push_back(m.impulseId);
    if (progress) progress->SetCount(static_cast<int>(ids.size()));
    for (std::size_t item = 0; item < ids.size(); ++item) {
        const std::int32_t id = ids[item];
        bool take = target == Target::All || (target == Target::Selected && selected.count(id)) ||
                    (target == Target::NonCalculated && !results.Exists(id));
        if (!take) continue;
        if (progress) progress->BeginItem(static_cast<int>(item));
        SampleBlock block;
        if (!measurements.Read(id, &m) || ReadWaveData(measurements, &block) != db::kOk) {
            ++summary.skipped;
            continue;
        }
        AcParamRecord record;
        record.impulseId = id;
        CalcResult r =
            CalculateImpulseParameters(m, block, &record, m.sampling / scale, conditions, progress);
        if (r == CalcResult::Cancelled) {
            summary.cancelled = true;
            break;
        }
        if (r == CalcResult::Unusable) {
            ++summary.skipped;
            continue;
        }
        if (DbStatus st = results.Write(record); st != db::kOk) {
            ReportStoreError(str::kCantWriteCalc, st);
            summary.failed = true;
            break;
        }
        ++summary.computed;
    }
    return summary;
}

}  // namespace vesk
