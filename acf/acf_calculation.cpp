#include "acf/acf_calculation.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/folder_run.h"
#include "resources/strings.h"
#include "store/file_io.h"
#include "store/messages.h"
#include "store/samples.h"
#include "store/tables.h"

namespace vesk {

using namespace detail;

std::vector<unsigned char> EncodeAcfFactors(const std::vector<AcfFactorRecord>& factors) {
    std::vector<unsigned char> out(factors.size() * sizeof(AcfFactorRecord));
    for (std::size_t i = 0; i < factors.size(); ++i) {
        const float* v = &factors[i].phi0;
        for (int k = 0; k < 10; ++k)
            PutF32(out.data() + i * 40 + 4 * static_cast<std::size_t>(k), v[k]);
    }
    return out;
}

std::vector<unsigned char> EncodeAcfPeaks(const std::vector<AcfPeakRecord>& peaks) {
    std::vector<unsigned char> out(peaks.size() * sizeof(AcfPeakRecord));
    for (std::size_t i = 0; i < peaks.size(); ++i) {
        for (std::size_t k = 0; k < 10; ++k) {
            PutF32(out.data() + i * 80 + 4 * k, peaks[i].tau[k]);
            PutF32(out.data() + i * 80 + 40 + 4 * k, peaks[i].phi[k]);
        }
    }
    return out;
}

std::vector<AcfFactorRecord> DecodeAcfFactors(const std::vector<unsigned char>& bytes) {
    std::vector<AcfFactorRecord> out(bytes.size() / 40);
    for (std::size_t i = 0; i < out.size(); ++i) {
        float* v = &out[i].phi0;
        for (int k = 0; k < 10; ++k)
            v[k] = GetF32(bytes.data() + i * 40 + 4 * static_cast<std::size_t>(k));
    }
    return out;
}

std::vector<AcfPeakRecord> DecodeAcfPeaks(const std::vector<unsigned char>& bytes) {
    std::vector<AcfPeakRecord> out(bytes.size() / 80);
    for (std::size_t i = 0; i < out.size(); ++i) {
        for (std::size_t k = 0; k < 10; ++k) {
            out[i].tau[k] = GetF32(bytes.data() + i * 80 + 4 * k);
            out[i].phi[k] = GetF32(bytes.data() + i * 80 + 40 + 4 * k);
        }
    }
    return out;
}

AcfProgressCallback CallbackOf(Progress* progress) {
    if (!progress) return {};
    return [progress](int percent) {
        if (progress->PollCancel()) return 1;
        progress->ItemProgress(percent);
        return 0;
    };
}

namespace {

// One recording: its ACFFACT record and blobs are computed on any thread and written in folder
// order.
class AcfJob : public MeasurementJob {
  public:
    AcfJob(AcfRecord m, SampleBlock block, double fs, const RunningAcfConditions& c,
           CAcfFactTable& results)
        : m_m(std::move(m)), m_block(std::move(block)), m_fs(fs), m_results(results) {
        m_used.sampleNum = m_m.sampleNum;
        m_used.conditions = c;
        m_used.wiaccWidth = 0.1;
    }

    CalcResult Compute(Progress* progress) override {
        if (progress) progress->SetMessage(m_m.title);
        RunningAcfResult result;
        const CalcResult status =
            CalcRunningAcf(m_block, m_used, m_fs, CallbackOf(progress), &result);
        m_block = SampleBlock{};
        if (status != CalcResult::Finished) return status;
        EncodeAcfConditionBlock(m_used, m_blobs.cond.data());
        m_blobs.factors = EncodeAcfFactors(result.factors);
        m_blobs.peaks = EncodeAcfPeaks(result.peaks);
        return status;
    }

    bool Write() override {
        AcfFactRecord stored;
        stored.acfId = m_m.acfId;
        if (DbStatus st = m_results.Write(stored, m_blobs); st != db::kOk) {
            ReportStoreError(str::kCantWriteCalc, st);
            return false;
        }
        return true;
    }

  private:
    AcfRecord m_m;
    SampleBlock m_block;
    double m_fs;
    CAcfFactTable& m_results;
    AcfConditionBlock m_used;
    AcfFactBlobs m_blobs;
};

class AcfRun : public FolderRunKind {
  public:
    explicit AcfRun(const RunningAcfConditions& c) : m_c(c) {}

    bool Open(std::int32_t folderId, std::size_t* count) override {
        FolderRecord folder;
        if (!m_folders.Open() || !m_folders.Read(folderId, &folder) || !m_recordings.Open() ||
            !m_results.Open())
            return false;
        m_scale = folder.TimeScale();
        // The folder's recordings first: reading one by ID for its samples moves the table off
        // the folder's walk.
        if (!ReadFolderRecords(m_recordings, folderId, &m_list)) return false;
        *count = m_list.size();
        return true;
    }

    std::int32_t Id(std::size_t item) const override { return m_list[item].acfId; }

    int HasResult(std::size_t item) override {
        const bool stored = m_results.Exists(Id(item));
        return m_results.ReadFailed() ? -1 : stored ? 1 : 0;
    }

    std::string CheckMeasurement(std::size_t item) override {
        const AcfRecord& m = m_list[item];
        // A channel field other than 1 or 2 is skipped when read; there is nothing to check.
        if (m.channel != 1 && m.channel != 2) return {};
        const double fs = m.sampling / m_scale;
        std::string why = CheckRunningAcfConditions(m_c, fs, m.channel);
        if (why.empty() && FrameRunningAcf(m_c, fs, m.sampleNum).frames > kMaxAcfFrames)
            why = "The recording gives more than 9999 frames; choose a longer Running Step.";
        return why.empty() ? why : m.title + ": " + why;
    }

    ReadOutcome Read(std::size_t item, std::unique_ptr<MeasurementJob>* job) override {
        AcfRecord m;
        if (!m_recordings.Read(Id(item), &m)) {
            if (!m_recordings.ReadFailed()) return ReadOutcome::Skipped;  // gone since listed
            Messages().ShowMessage(m_list[item].title + ": " +
                                   LoadString(str::kCantReadMeasuredData));
            return ReadOutcome::Damaged;
        }
        SampleBlock block;
        if (DbStatus st = ReadWaveData(m_recordings, &block); st != db::kOk) {
            if (st == db::kNoRecord) return ReadOutcome::Skipped;  // no samples
            ReportStoreError(m.title, str::kCantReadAcf, st);
            return ReadOutcome::Damaged;
        }
        if (!ChannelsAgree(m.channel, block.channels)) return ReadOutcome::Skipped;
        const double fs = m.sampling / m_scale;
        *job = std::make_unique<AcfJob>(std::move(m), std::move(block), fs, m_c, m_results);
        return ReadOutcome::Ready;
    }

  private:
    const RunningAcfConditions& m_c;
    CFolderTable m_folders;
    CAcfTable m_recordings;
    CAcfFactTable m_results;
    double m_scale = 1.0;
    std::vector<AcfRecord> m_list;
};

}  // namespace

RunSummary RunAcfCalculation(std::int32_t folderId, const RunningAcfConditions& conditions,
                             Target target, const std::set<std::int32_t>& selected,
                             Progress* progress) {
    AcfRun run(conditions);
    return RunFolder(run, folderId, target, selected, progress);
}

namespace {

// The largest Phi(0) of one stored result, starting from `m`; false when it cannot be read.
bool RaiseToLargestPhiZero(CAcfFactTable& results, std::int32_t id, double* m) {
    AcfFactRecord record;
    AcfFactBlobs blobs;
    if (!results.Read(id, &record, &blobs)) return false;
    for (const AcfFactorRecord& f : DecodeAcfFactors(blobs.factors))
        if (f.phi0 > *m) *m = f.phi0;
    return true;
}

}  // namespace

double PhiZeroReferenceOffset(std::int32_t folderId, std::int32_t reference, double level) {
    if (reference == -2) return 0.0;
    CAcfFactTable results;
    if (!results.Open()) return 0.0;
    double m = 0.0;
    if (reference != -1) return RaiseToLargestPhiZero(results, reference, &m) ? level - m : 0.0;
    CAcfTable recordings;
    std::vector<AcfRecord> list;
    if (!ReadFolderRecords(recordings, folderId, &list)) return level - m;
    for (const AcfRecord& r : list)
        if (results.Exists(r.acfId)) RaiseToLargestPhiZero(results, r.acfId, &m);
    return level - m;
}

}  // namespace vesk
