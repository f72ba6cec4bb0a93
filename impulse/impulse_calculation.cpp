#include "impulse/impulse_calculation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "base/folder_run.h"
#include "base/thread_pool.h"

#include "dsp/bands.h"
#include "dsp/fft.h"
#include "dsp/mls.h"
#include "dsp/scratch.h"
#include "impulse/impulse_analysis.h"
#include "impulse/iso_calculation.h"
#include "resources/strings.h"
#include "store/messages.h"
#include "store/tables.h"

namespace vesk {

namespace {

// 2^21 frames hold 21.8 s at 96 kHz; the stored MESTIME (order + 50 for impulse responses)
// still fits its two digits.
constexpr std::int32_t kMaxOrder = 21;

// N8.2 fields hold -99999.99 .. 99999.99; anything else is stored as the missing value.
double Storable(double v) {
    return std::isfinite(v) && std::fabs(v) < 99999.995 ? v : kNoValue;
}

}  // namespace

bool RecoverImpulseResponses(const ImpulseRecord& m, const SampleBlock& block, double fs,
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
    // The MLS tables are process-wide and rebuilt per order: one recovery at a time.
    static std::mutex mls;
    std::lock_guard lock(mls);
    if (!MlsPrepare(m.noMls ? 0 : m.mesTime)) return false;
    MlsRecover(left->data());
    if (stereo) MlsRecover(right->data());
    return true;
}

std::int32_t DecayLength(const ImpulseRecord& m, const std::vector<float>& left,
                         const std::vector<float>& right, double noiseRate) {
    const std::size_t all = left.size();
    if (!m.noMls) return static_cast<std::int32_t>(all);
    auto silent = [&](std::size_t i) {
        return left[i] == 0.0f && (right.size() <= i || right[i] == 0.0f);
    };
    std::size_t n = all;
    while (n > 1 && silent(n - 1))
        --n;
    // The automatic end's noise range: the last share of the samples, half when the rate is 0.
    const double q = noiseRate == 0 ? 0.5 : noiseRate;
    if (!(q > 0 && q <= 1)) return static_cast<std::int32_t>(all);
    const double noiseStart = std::trunc((1.0 - q) * static_cast<double>(all));
    return static_cast<double>(n) <= noiseStart ? static_cast<std::int32_t>(n)
                                                : static_cast<std::int32_t>(all);
}

double LevelLength(const ImpulseRecord& m, std::size_t n, double fs) {
    if (!m.noMls) return static_cast<double>(n);
    return m.sampling > 0 ? m.sampling : fs;
}

namespace {

// Tsub and A-value of both channels with the record's own conditions and delta-t1, over the
// first `length` samples (DecayLength).
void FillTsub(AcParamBand& e, const AcParamRecord& rec, const float* l, const float* r,
              std::int32_t length, double fs, TsubFit* fit) {
    const double width = BandWidth(e.freq, rec.freqBand);
    TsubResult left, right;
    if (r)
        ComputeTsubPair(l, r, length, fs, rec.deltaT1L, rec.deltaT1R, rec.tsubEnd, rec.tsubAuto,
                        rec.tsubNoise, width, &left, &right);
    else
        left = ComputeTsub(l, nullptr, length, fs, rec.deltaT1L, rec.tsubEnd, rec.tsubAuto,
                           rec.tsubNoise, width);
    e.tsubL = Storable(left.tsub);
    e.aL = Storable(left.aValue);
    *fit = TsubFit{};
    fit->rangeDb[0] = Storable(left.rangeDb);
    fit->r[0] = Storable(left.r);
    if (!r) return;
    e.tsubR = Storable(right.tsub);
    e.aR = Storable(right.aValue);
    fit->rangeDb[1] = Storable(right.rangeDb);
    fit->r[1] = Storable(right.r);
}

// IACC, tau-IACC and WIACC with the record's own WIACC level; iacf holds IacfLength(fs) values.
void FillIacf(AcParamBand& e, const AcParamRecord& rec, const float* l, const float* r,
              std::int32_t n, double fs, std::vector<float>& iacf) {
    const std::int32_t m = static_cast<std::int32_t>(iacf.size());
    ComputeIacf(l, r, n, iacf.data(), m);
    IacfResult x = EvaluateIacf(iacf.data(), m, fs, rec.iaccWLevel);
    e.iacc = Storable(x.iacc);
    e.tiacc = Storable(x.tauIacc);
    e.wiacc = Storable(x.wiacc);
}

// The band entries of a calculation in the order they are stored: broadband, A-weighted, then
// the chosen bands up to half the sampling rate.
std::vector<int> BandSequence(const ImpulseConditions& c, double fs) {
    const BandTable& table = GetBandTable(c.freqBand);
    std::vector<int> bands{0};
    if (c.aFilter) bands.push_back(-1);
    for (int b = 1; b < table.count; ++b) {
        if (c.bandFrom == 0 || b < c.bandFrom || b - 1 > c.bandTo) continue;
        if (table.exactCentre[b] > fs / 2) break;
        bands.push_back(b);
    }
    if (bands.size() > static_cast<std::size_t>(kAcParamBands)) bands.resize(kAcParamBands);
    return bands;
}

// One thread's copies of the channels and the correlation, kept between entries and
// measurements; a long response's copies are given back at the next ordinary one.
struct BandWork {
    std::vector<float> l, r, iacf;
};

BandWork& ThreadBandWork(std::size_t n, std::size_t iacfSize) {
    thread_local BandWork kept;
    if (kept.l.capacity() > Scratch<float>::kKeptElements && n <= Scratch<float>::kKeptElements)
        kept = BandWork{};
    kept.iacf.assign(iacfSize, 0.0f);
    return kept;
}

// What every band starts from: the transform of left + i right, which each band filter only
// masks, and the spectra plain impulse responses take their band levels from (empty for MLS
// recordings).
struct RawSpectra {
    std::vector<float> re, im;
    ResponseSpectrum l, r;
};

// A band's level: from the response itself for a plain impulse response, so that its padding
// and silence do not move it; from the filtered period for an MLS recording and the broadband
// entries.
bool FromSpectrum(const ResponseSpectrum& spectrum, int band) {
    return band > 0 && !spectrum.Empty();
}

// The edges of band `band` > 0 in Hz.
void BandEdges(int band, int system, double* lower, double* upper) {
    const BandTable& t = GetBandTable(system);
    const double fc = t.exactCentre[band], g = t.halfBandFactor;
    *lower = fc / g;
    *upper = fc * g;
}

double Level(const ResponseSpectrum& spectrum, const float* filtered, std::int32_t n, int band,
             const AcParamRecord& rec, const ImpulseRecord& m, double fs, double per) {
    if (!FromSpectrum(spectrum, band)) return BandLevel(filtered, n, m.multiplier, per);
    double lower = 0, upper = 0;
    BandEdges(band, rec.freqBand, &lower, &upper);
    return BandLevel(spectrum, lower, upper, fs, m.multiplier, per);
}

// Filters the channels for one band and computes its entry; false when the filter failed.
bool ComputeBand(int band, const std::vector<float>& rawL, const std::vector<float>& rawR,
                 double fs, const AcParamRecord& rec, const ImpulseRecord& m, BandWork& w,
                 const RawSpectra& spectra, AcParamBand* e, TsubFit* fit) {
    const std::int32_t length = DecayLength(m, rawL, rawR, rec.tsubNoise);
    const double per = LevelLength(m, rawL.size(), fs);
    const std::int32_t n = static_cast<std::int32_t>(rawL.size());
    const bool stereo = !rawR.empty();
    if (band == 0) {
        w.l = rawL;
        w.r = rawR;
    } else {
        if (spectra.re.empty()) return false;
        // A one-channel response still takes the imaginary half of the inverse transform.
        w.l.resize(rawL.size());
        w.r.resize(rawL.size());
        if (!ApplyBandFilterFromSpectrum(spectra.re.data(), spectra.im.data(), w.l.data(),
                                         w.r.data(), n, fs, band, rec.freqBand))
            return false;
    }
    *e = AcParamBand{};
    e->freq = band;
    // Both ears side by side where they take their levels the same way.
    if (stereo && FromSpectrum(spectra.l, band) == FromSpectrum(spectra.r, band)) {
        double l = 0, r = 0;
        if (FromSpectrum(spectra.l, band)) {
            double lower = 0, upper = 0;
            BandEdges(band, rec.freqBand, &lower, &upper);
            BandLevelPair(spectra.l, spectra.r, lower, upper, fs, m.multiplier, per, &l, &r);
        } else {
            BandLevelPair(w.l.data(), w.r.data(), n, m.multiplier, per, &l, &r);
        }
        e->splL = Storable(l);
        e->splR = Storable(r);
    } else {
        e->splL = Storable(Level(spectra.l, w.l.data(), n, band, rec, m, fs, per));
        if (stereo) e->splR = Storable(Level(spectra.r, w.r.data(), n, band, rec, m, fs, per));
    }
    FillTsub(*e, rec, w.l.data(), stereo ? w.r.data() : nullptr, length, fs, fit);
    if (stereo && !w.iacf.empty()) FillIacf(*e, rec, w.l.data(), w.r.data(), n, fs, w.iacf);
    return true;
}

void ReportBand(Progress* progress, const ImpulseRecord& m, int band, int freqBand) {
    const BandTable& table = GetBandTable(freqBand);
    std::string label = BandLabel(band, freqBand, false);
    char text[128];
    std::snprintf(text, sizeof text, band > 0 ? "%s [%sHz]" : "%s [%s]", m.title.c_str(),
                  label.c_str());
    progress->SetMessage(text);
    progress->ItemProgress(band > 0 ? 100 * band / table.count : 0);
}

}  // namespace

CalcResult CalculateImpulseParameters(const ImpulseRecord& m, const SampleBlock& block,
                                      AcParamRecord* rec, double fs, const ImpulseConditions& c,
                                      Progress* progress, CalcNotes* notes) {
    std::vector<float> rawL, rawR;
    if (!RecoverImpulseResponses(m, block, fs, &rawL, &rawR)) return CalcResult::Unusable;
    const std::int32_t n = static_cast<std::int32_t>(rawL.size());
    const bool stereo = !rawR.empty();

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

    const std::vector<int> bands = BandSequence(c, fs);
    const std::size_t iacfSize = static_cast<std::size_t>(std::max(IacfLength(fs), 0));
    std::vector<AcParamBand> entries(bands.size());
    std::vector<TsubFit> fits(bands.size());
    std::vector<char> done(bands.size(), 0);

    // The broadband entry first: its delta-t1 is where every band's decay is taken from.
    if (progress) {
        if (progress->PollCancel()) return CalcResult::Cancelled;
        ReportBand(progress, m, 0, c.freqBand);
    }
    double d0 = 0, d1 = 0;
    FindDirectAndFirstReflection(rawL.data(), n, fs, c.dt1MinTime, &d0, &d1);
    rec->deltaT0L = Storable(d0);
    rec->deltaT1L = Storable(d1);
    if (stereo) {
        FindDirectAndFirstReflection(rawR.data(), n, fs, c.dt1MinTime, &d0, &d1);
        rec->deltaT0R = Storable(d0);
        rec->deltaT1R = Storable(d1);
    }
    if (notes)
        notes->directSoundBeyondSearch = DirectSoundBeyondSearch(rawL.data(), n) ||
                                         (stereo && DirectSoundBeyondSearch(rawR.data(), n));

    // The bands are independent: they are taken as many at a time as the pool has threads,
    // each computed exactly as alone into its own slot. Progress and Cancel stay on this
    // thread, one poll and one message per entry in the stored order.
    RawSpectra spectra;
    // Without the transform (no memory) the bands are left out, as a failed filter leaves one.
    if (ForwardSpectrum(rawL.data(), stereo ? rawR.data() : nullptr, n, &spectra.re, &spectra.im) !=
        0)
        spectra.re.clear();
    ThreadPool& pool = SharedPool();
    if (m.noMls)
        pool.ParallelFor(stereo ? 2 : 1, [&](std::size_t ear, int) {
            (ear == 0 ? spectra.l : spectra.r) =
                ResponseSpectrum((ear == 0 ? rawL : rawR).data(), n);
        });
    const std::size_t width = static_cast<std::size_t>(pool.Threads());
    // A few entries per thread between the polls: the threads then wait less on the slowest
    // entry of each round, and Cancel still answers within a few entries.
    const std::size_t round = width == 1 ? 1 : 4 * width;
    for (std::size_t j = 0; j < bands.size(); j += round) {
        const std::size_t end = std::min(bands.size(), j + round);
        for (std::size_t k = j; progress && k < end; ++k) {
            if (k > 0 && progress->PollCancel()) return CalcResult::Cancelled;
            if (k > 0) ReportBand(progress, m, bands[k], c.freqBand);
        }
        pool.ParallelFor(end - j, [&](std::size_t i, int) {
            const std::size_t k = j + i;
            done[k] =
                ComputeBand(bands[k], rawL, rawR, fs, *rec, m,
                            ThreadBandWork(rawL.size(), iacfSize), spectra, &entries[k], &fits[k]);
        });
    }

    int count = 0;
    if (notes) notes->tsubFits.clear();
    for (std::size_t j = 0; j < bands.size(); ++j) {
        if (!done[j]) continue;
        rec->bands[static_cast<std::size_t>(count++)] = entries[j];
        if (notes) notes->tsubFits.push_back(fits[j]);
    }
    rec->nData = count;
    return CalcResult::Finished;
}

namespace {
// Filters both channels for every stored band entry and hands them to the update with the
// length of the transform and the DecayLength of the response.
template <class Update>
bool ForEachStoredBand(const ImpulseRecord& m, const SampleBlock& block, AcParamRecord* rec,
                       double fs, Update update) {
    std::vector<float> rawL, rawR;
    if (!RecoverImpulseResponses(m, block, fs, &rawL, &rawR)) return false;
    const std::int32_t n = static_cast<std::int32_t>(rawL.size());
    const std::int32_t length = DecayLength(m, rawL, rawR, rec->tsubNoise);
    std::vector<float> workL, workR;
    for (int k = 0; k < std::clamp(rec->nData, 0, kAcParamBands); ++k) {
        AcParamBand& e = rec->bands[static_cast<std::size_t>(k)];
        workL = rawL;
        workR = rawR;
        if (!ApplyBandFilter(workL.data(), workR.empty() ? nullptr : workR.data(), n, fs, e.freq,
                             rec->freqBand))
            continue;
        update(e, workL.data(), workR.empty() ? nullptr : workR.data(), n, length);
    }
    return true;
}
}  // namespace

bool RecalculateTsub(const ImpulseRecord& m, const SampleBlock& block, AcParamRecord* rec,
                     double fs) {
    return ForEachStoredBand(
        m, block, rec, fs,
        [&](AcParamBand& e, const float* l, const float* r, std::int32_t, std::int32_t length) {
            TsubFit unused;
            FillTsub(e, *rec, l, r, length, fs, &unused);
        });
}

bool RecalculateWiacc(const ImpulseRecord& m, const SampleBlock& block, AcParamRecord* rec,
                      double fs) {
    const std::int32_t mIacf = IacfLength(fs);
    if (mIacf <= 0) return false;
    std::vector<float> iacf(static_cast<std::size_t>(mIacf));
    return ForEachStoredBand(
        m, block, rec, fs,
        [&](AcParamBand& e, const float* l, const float* r, std::int32_t n, std::int32_t) {
            if (r) FillIacf(e, *rec, l, r, n, fs, iacf);
        });
}

std::string CheckImpulseConditions(const ImpulseConditions& c) {
    // The ranges the conditions dialog offers, and what the ACPARAM fields hold (N8.2).
    auto storable = [](double v) { return std::isfinite(v) && v >= -9999.99 && v <= 99999.99; };
    if (c.freqBand != 0 && c.freqBand != 1) return "Frequency band must be 1 Oct. or 1/3 Oct.";
    // Either band system's range: one kept from the other system selects fewer bands.
    const int bands = GetBandTable(1).count;
    if (c.bandFrom < 0 || c.bandFrom > bands - 1)
        return "The first band of the range must be from 0 (None) to " + std::to_string(bands - 1) +
               ".";
    if (c.bandTo < 0 || c.bandTo > bands - 2)
        return "The last band of the range must be from 0 to " + std::to_string(bands - 2) + ".";
    if (c.aFilter != 0 && c.aFilter != 1) return "A-weighting must be on or off.";
    if (c.tsubAuto != 0 && c.tsubAuto != 1) return "Auto must be on or off.";
    if (c.splRefData < -2 || c.splRefData == 0 || c.splRefData > 99999999)
        return "Ref. Data must be Absolute value, Maximum value or a measurement.";
    if (!storable(c.splRefLevel)) return "Ref. Level must be a number from -9999.99 to 99999.99.";
    if (!storable(c.dt1MinTime) || c.dt1MinTime < 0)
        return "Minimum delay time must be a number from 0 to 99999.99 ms.";
    if (!storable(c.tsubEnd))
        return "End of Regression must be a number from -9999.99 to 99999.99.";
    if (!(c.tsubNoise >= 0 && c.tsubNoise <= 1))
        return "Rate of Noise Range must be from 0 to 100 %.";
    if (!(c.iaccWLevel >= 0 && c.iaccWLevel <= 1)) return "Width for WIACC must be from 0 to 1.";
    if (!storable(c.prefSpl)) return "Optimum SPL must be a number from -9999.99 to 99999.99.";
    if (!storable(c.prefTauE)) return "Tau-e must be a number from -9999.99 to 99999.99.";
    return {};
}

namespace {

// One measurement: its ACPARAM record is computed on any thread and written in folder order.
class ImpulseJob : public MeasurementJob {
  public:
    ImpulseJob(ImpulseRecord m, SampleBlock block, double fs, const ImpulseConditions& c,
               CAcParamTable& results, CIsoParamTable& isoResults)
        : m_m(std::move(m)),
          m_block(std::move(block)),
          m_fs(fs),
          m_c(c),
          m_results(results),
          m_isoResults(isoResults) {}

    CalcResult Compute(Progress* progress) override {
        m_record = AcParamRecord{};
        m_record.impulseId = m_m.impulseId;
        const CalcResult r =
            CalculateImpulseParameters(m_m, m_block, &m_record, m_fs, m_c, progress, &m_notes);
        if (r == CalcResult::Finished) {
            // The ISO 3382-1 set of the same response; each thread keeps its designed filters.
            thread_local iso::Analyzer analyzer;
            m_withIso =
                ComputeIsoResult(m_m, m_block, m_fs, m_c, m_record, m_notes, &analyzer, &m_iso);
        }
        m_block = SampleBlock{};
        return r;
    }

    bool Write() override {
        if (DbStatus st =
                WriteImpulseResult(m_results, m_isoResults, m_record, m_withIso ? &m_iso : nullptr);
            st != db::kOk) {
            ReportStoreError(str::kCantWriteCalc, st);
            return false;
        }
        return true;
    }

    void Note(RunSummary* summary) const override {
        if (m_notes.directSoundBeyondSearch)
            summary->directSoundBeyondSearch.push_back({m_m.impulseId, m_m.title});
    }

  private:
    ImpulseRecord m_m;
    SampleBlock m_block;
    double m_fs;
    const ImpulseConditions& m_c;
    CAcParamTable& m_results;
    CIsoParamTable& m_isoResults;
    AcParamRecord m_record;
    CalcNotes m_notes;
    IsoResultRecord m_iso;
    bool m_withIso = false;
};

class ImpulseRun : public FolderRunKind {
  public:
    explicit ImpulseRun(const ImpulseConditions& c) : m_c(c) {}

    std::string CheckRun() override { return CheckImpulseConditions(m_c); }

    bool Open(std::int32_t folderId, std::size_t* count) override {
        FolderRecord folder;
        if (!m_measurements.Open() || !m_results.Open() || !m_isoResults.Open() ||
            !m_folders.Open() || !m_folders.Read(folderId, &folder))
            return false;
        m_scale = folder.TimeScale();
        // The folder's measurements first: reading one by ID for its samples moves the table
        // off the folder's walk.
        if (!ReadFolderRecords(m_measurements, folderId, &m_list)) return false;
        *count = m_list.size();
        return true;
    }

    std::int32_t Id(std::size_t item) const override { return m_list[item].impulseId; }

    int HasResult(std::size_t item) override {
        const bool stored = m_results.Exists(Id(item));
        return m_results.ReadFailed() ? -1 : stored ? 1 : 0;
    }

    ReadOutcome Read(std::size_t item, std::unique_ptr<MeasurementJob>* job) override {
        ImpulseRecord m;
        if (!m_measurements.Read(Id(item), &m)) {
            if (!m_measurements.ReadFailed()) return ReadOutcome::Skipped;  // gone since listed
            Messages().ShowMessage(m_list[item].title + ": " +
                                   LoadString(str::kCantReadMeasuredData));
            return ReadOutcome::Damaged;
        }
        SampleBlock block;
        if (DbStatus st = ReadWaveData(m_measurements, &block); st != db::kOk) {
            if (st == db::kNoRecord) return ReadOutcome::Skipped;  // no samples
            ReportStoreError(m.title, str::kCantReadImpulse, st);
            return ReadOutcome::Damaged;
        }
        if (!ChannelsAgree(m.channel, block.channels)) return ReadOutcome::Skipped;
        const double fs = m.sampling / m_scale;
        *job = std::make_unique<ImpulseJob>(std::move(m), std::move(block), fs, m_c, m_results,
                                            m_isoResults);
        return ReadOutcome::Ready;
    }

  private:
    const ImpulseConditions& m_c;
    CImpulseTable m_measurements;
    CAcParamTable m_results;
    CIsoParamTable m_isoResults;
    CFolderTable m_folders;
    double m_scale = 1.0;
    std::vector<ImpulseRecord> m_list;
};

}  // namespace

RunSummary RunImpulseCalculation(std::int32_t folderId, const ImpulseConditions& conditions,
                                 Target target, const std::set<std::int32_t>& selected,
                                 Progress* progress) {
    ImpulseRun run(conditions);
    return RunFolder(run, folderId, target, selected, progress);
}

}  // namespace vesk
