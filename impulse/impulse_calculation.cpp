#include "impulse/impulse_calculation.h"

#include <algorithm>
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

// The measurement's channels as impulse responses of 2^MESTIME samples (missing samples 0).
bool RecoverChannels(const ImpulseRecord& m, const SampleBlock& block, double fs,
                     std::vector<float>* left, std::vector<float>* right) {
    if (m.mesTime < 1 || m.mesTime > kMaxOrder || !(fs > 0) || block.channels == 0) return false;
    const std::size_t n = std::size_t{1} << m.mesTime;
    const bool stereo = m.channel == 2 && block.channels == 2;
    const std::size_t frames = std::min(block.Frames(), n);
    left->assign(n, 0.0f);
    right->clear();
    for (std::size_t i = 0; i < frames; ++i)
        (*left)[i] = block.At(i, 0);
    if (stereo) {
        right->assign(n, 0.0f);
        for (std::size_t i = 0; i < frames; ++i)
            (*right)[i] = block.At(i, 1);
    }
    if (!MlsPrepare(m.noMls ? 0 : m.mesTime)) return false;
    MlsRecover(left->data());
    if (stereo) MlsRecover(right->data());
    return true;
}

}  // namespace

CalcResult CalculateImpulseParameters(const ImpulseRecord& m, const SampleBlock& block,
                                      AcParamRecord* rec, double fs, const ImpulseConditions& c,
                                      Progress* progress) {
    std::vector<float> rawL, rawR;
    if (!RecoverChannels(m, block, fs, &rawL, &rawR)) return CalcResult::Unusable;
    const std::int32_t n = static_cast<std::int32_t>(rawL.size());
    const bool stereo = !rawR.empty();
    std::vector<float> workL(rawL.size()), workR(rawR.size());

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

namespace {
// Filters both channels for every stored band entry and hands them to the update.
template <class Update>
bool ForEachStoredBand(const ImpulseRecord& m, const SampleBlock& block, AcParamRecord* rec,
                       double fs, Update update) {
    std::vector<float> rawL, rawR;
    if (!RecoverChannels(m, block, fs, &rawL, &rawR)) return false;
    const std::int32_t n = static_cast<std::int32_t>(rawL.size());
    std::vector<float> workL, workR;
    for (int k = 0; k < std::clamp(rec->nData, 0, kAcParamBands); ++k) {
        AcParamBand& e = rec->bands[static_cast<std::size_t>(k)];
        workL = rawL;
        workR = rawR;
        if (!ApplyBandFilter(workL.data(), workR.empty() ? nullptr : workR.data(), n, fs, e.freq,
                             rec->freqBand))
            continue;
        update(e, workL, workR, n);
    }
    return true;
}
}  // namespace

bool RecalculateTsub(const ImpulseRecord& m, const SampleBlock& block, AcParamRecord* rec,
                     double fs) {
    return ForEachStoredBand(
        m, block, rec, fs,
        [&](AcParamBand& e, std::vector<float>& l, std::vector<float>& r, std::int32_t n) {
            TsubResult left = ComputeTsub(l.data(), nullptr, n, fs, rec->deltaT1L, rec->tsubEnd,
                                          rec->tsubAuto, rec->tsubNoise);
            e.tsubL = Storable(left.tsub);
            e.aL = Storable(left.aValue);
            if (r.empty()) return;
            TsubResult right = ComputeTsub(r.data(), nullptr, n, fs, rec->deltaT1R, rec->tsubEnd,
                                           rec->tsubAuto, rec->tsubNoise);
            e.tsubR = Storable(right.tsub);
            e.aR = Storable(right.aValue);
        });
}

bool RecalculateWiacc(const ImpulseRecord& m, const SampleBlock& block, AcParamRecord* rec,
                      double fs) {
    const std::int32_t mIacf = IacfLength(fs);
    if (mIacf <= 0) return false;
    std::vector<float> iacf(static_cast<std::size_t>(mIacf));
    return ForEachStoredBand(
        m, block, rec, fs,
        [&](AcParamBand& e, std::vector<float>& l, std::vector<float>& r, std::int32_t n) {
            if (r.empty()) return;
            ComputeIacf(l.data(), r.data(), n, iacf.data(), mIacf);
            IacfResult x = EvaluateIacf(iacf.data(), mIacf, fs, rec->iaccWLevel);
            e.iacc = Storable(x.iacc);
            e.tiacc = Storable(x.tauIacc);
            e.wiacc = Storable(x.wiacc);
        });
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
