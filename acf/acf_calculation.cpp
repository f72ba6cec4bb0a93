#include "acf/acf_calculation.h"

#include <algorithm>
#include <cstring>

#include "resources/strings.h"
#include "store/file_io.h"
#include "store/messages.h"
#include "store/samples.h"
#include "store/tables.h"

namespace vesk {

using namespace detail;

namespace {

bool Takes(Target target, const std::set<std::int32_t>& selected, CAcfFactTable& results,
           std::int32_t id) {
    switch (target) {
        case Target::All:
            return true;
        case Target::Selected:
            return selected.count(id) != 0;
        case Target::NonCalculated:
            return !results.Exists(id);
    }
    return false;
}

}  // namespace

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

RunSummary RunAcfCalculation(std::int32_t folderId, const RunningAcfConditions& conditions,
                             Target target, const std::set<std::int32_t>& selected,
                             Progress* progress) {
    RunSummary summary;
    CFolderTable folders;
    FolderRecord folder;
    CAcfTable recordings;
    CAcfFactTable results;
    if (!folders.Open() || !folders.Read(folderId, &folder) || !recordings.Open() ||
        !results.Open()) {
        summary.failed = true;
        return summary;
    }
    const double scale = folder.TimeScale();
    // The folder's recordings first: reading one by ID for its samples moves the table off
    // the folder's walk.
    std::vector<AcfRecord> list;
    if (!ReadFolderRecords(recordings, folderId, &list)) {
        summary.failed = true;
        return summary;
    }
    std::vector<char> take(list.size(), 0);
    for (std::size_t i = 0; i < list.size(); ++i) {
        take[i] = Takes(target, selected, results, list[i].acfId);
        if (results.ReadFailed()) {  // not knowing is not "not calculated"
            summary.failed = true;
            return summary;
        }
    }
    summary.taken = static_cast<int>(std::count(take.begin(), take.end(), 1));

    // Conditions that make the analysis undefined are refused before anything is computed.
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!take[i]) continue;
        const double fs = list[i].sampling / scale;
        std::string why = CheckRunningAcfConditions(conditions, fs, list[i].channel == 2 ? 2 : 1);
        if (why.empty() &&
            FrameRunningAcf(conditions, fs, list[i].sampleNum).frames > kMaxAcfFrames)
            why = "The recording gives more than 9999 frames; choose a longer Running Step.";
        if (!why.empty()) {
            summary.refused = list[i].title + ": " + why;
            return summary;
        }
    }

    if (progress) progress->SetCount(static_cast<int>(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (progress) progress->BeginItem(static_cast<int>(i));
        if (!take[i]) continue;
        const std::int32_t id = list[i].acfId;
        AcfRecord m;
        SampleBlock block;
        if (!recordings.Read(id, &m)) {
            if (recordings.ReadFailed())
                ++summary.damaged;
            else
                ++summary.skipped;  // gone since the folder was read
            continue;
        }
        if (DbStatus st = ReadWaveData(recordings, &block); st != db::kOk) {
            if (st == db::kNoRecord) {  // no samples
                ++summary.skipped;
                continue;
            }
            ReportStoreError(m.title, str::kCantReadAcf, st);
            ++summary.damaged;
            continue;
        }
        if (progress) progress->SetMessage(m.title);
        AcfConditionBlock used;
        used.sampleNum = m.sampleNum;
        used.conditions = conditions;
        used.wiaccWidth = 0.1;
        RunningAcfResult result;
        const AcfProgressCallback callback = CallbackOf(progress);
        const CalcResult status =
            CalcRunningAcf(block, used, m.sampling / scale, callback, &result);
        block = SampleBlock{};
        if (status == CalcResult::Cancelled) {
            summary.cancelled = true;
            break;
        }
        if (status != CalcResult::Finished) {
            ++summary.skipped;
            continue;
        }
        AcfFactRecord stored;
        stored.acfId = id;
        AcfFactBlobs blobs;
        EncodeAcfConditionBlock(used, blobs.cond.data());
        blobs.factors = EncodeAcfFactors(result.factors);
        blobs.peaks = EncodeAcfPeaks(result.peaks);
        if (DbStatus st = results.Write(stored, blobs); st != db::kOk) {
            ReportStoreError(str::kCantWriteCalc, st);
            ++summary.writeFailures;
            continue;
        }
        ++summary.computed;
    }
    return summary;
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
