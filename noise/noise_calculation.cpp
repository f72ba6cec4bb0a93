#include "noise/noise_calculation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "resources/strings.h"
#include "store/messages.h"
#include "store/samples.h"
#include "store/tables.h"

namespace vesk {

namespace {
// How lists and messages name a recording: "No. " and NUMBER + 1.
std::string NumberText(const NmsRecord& m) {
    return "No. " + std::to_string(static_cast<long>(m.number) + 1);
}
}  // namespace

RunSummary RunNoiseCalculation(std::int32_t folderId, RunningAcfConditions conditions,
                               const IdentificationSettings& identification, double wiaccWidth,
                               Target target, const std::set<std::int32_t>& selected,
                               Progress* progress) {
    RunSummary summary;
    if (!(wiaccWidth >= 0 && wiaccWidth <= 1)) {  // read from a settings file
        summary.refused = "Width for WIACC must be from 0 to 1.";
        return summary;
    }
    conditions.phi0RefData = 0;  // noise results carry no Phi(0) reference
    conditions.phi0RefLevel = 0.0;
    CFolderTable folders;
    FolderRecord folder;
    CNmsTable recordings;
    if (!folders.Open() || !folders.Read(folderId, &folder) || !recordings.Open()) {
        summary.failed = true;
        return summary;
    }
    const double scale = folder.TimeScale();
    std::vector<NmsRecord> list;
    if (!ReadFolderRecords(recordings, folderId, &list)) {
        summary.failed = true;
        return summary;
    }
    NmsRecord r;

    // Which recordings are taken, and whether the conditions suit every one of them, is known
    // before anything is computed.
    std::vector<char> take(list.size(), 0);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const NmsRecord& m = list[i];
        if (target == Target::Selected) {
            take[i] = selected.count(m.nmsId) != 0;
        } else if (target == Target::NonCalculated) {
            std::uint32_t size = 0;
            if (!recordings.Read(m.nmsId, &r)) {
                if (recordings.ReadFailed()) {  // not knowing is not "not calculated"
                    summary.failed = true;
                    return summary;
                }
                continue;
            }
            if (DbStatus st = recordings.BlobSize("NMSFACTOR", &size); st != db::kOk) {
                ReportStoreError(NumberText(m), str::kCantReadCalc, st);
                summary.failed = true;
                return summary;
            }
            take[i] = size == 0;
        } else {
            take[i] = 1;
        }
        if (!take[i]) continue;
        std::string why =
            CheckRunningAcfConditions(conditions, m.sampling / scale, m.channel == 1 ? 1 : 2);
        if (!why.empty()) {
            summary.refused = NumberText(m) + ": " + why;
            return summary;
        }
    }

    summary.taken = static_cast<int>(std::count(take.begin(), take.end(), 1));

    // The library is read once for the run: it does not change while the run goes on. Without
    // it every identification would be lost, so nothing is computed.
    std::vector<NoiseTemplate> templates;
    if (!LoadTemplates(&templates)) {
        summary.failed = true;
        return summary;
    }
    const FactorWeights weights = ReadFactorWeights();

    if (progress) progress->SetCount(static_cast<int>(list.size()));
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (progress) progress->BeginItem(static_cast<int>(i));
        if (!take[i]) continue;
        NmsRecord m;
        NmsBlobs blobs;
        if (!recordings.Read(list[i].nmsId, &m, &blobs)) {
            if (recordings.ReadFailed()) {
                Messages().ShowMessage(NumberText(list[i]) + ": " +
                                       LoadString(str::kCantReadMeasuredData));
                ++summary.damaged;
            } else {
                ++summary.skipped;  // gone since the folder was read
            }
            continue;
        }
        SampleBlock block;
        if (DbStatus st = ReadWaveData(recordings, &block); st != db::kOk) {
            if (st == db::kNoRecord) {  // no samples
                ++summary.skipped;
                continue;
            }
            ReportStoreError(NumberText(m), str::kCantReadNms, st);
            ++summary.damaged;
            continue;
        }
        if (progress) progress->SetMessage(NumberText(m));
        NoiseConditionBlock used = DecodeNoiseConditionBlock(blobs.cond.data());
        used.acf.sampleNum = m.sampleNum;
        used.acf.conditions = conditions;
        used.acf.wiaccWidth = wiaccWidth;
        const AcfProgressCallback callback = CallbackOf(progress);
        std::vector<AcfFactorRecord> factors;
        std::int32_t frames = 0;
        const CalcResult status =
            CalcNoiseFactors(block, used, m.sampling / scale, callback, &factors, &frames);
        block = SampleBlock{};
        if (status == CalcResult::Cancelled) {
            summary.cancelled = true;
            break;
        }
        if (status != CalcResult::Finished) {
            ++summary.skipped;
            continue;
        }
        NoiseSourceResult source;
        source.name = LoadString(str::kUnknownSource);
        std::int32_t chosen = -1;
        if (!factors.empty())
            chosen = IdentifyAgainst(templates, weights,
                                     SelectEvaluationFrame(factors, identification), &source);

        std::array<unsigned char, blob::kNmsCondSize> cond{};
        EncodeNoiseConditionBlock(used, cond.data());
        std::array<unsigned char, blob::kNoiseSourceSize> src{};
        EncodeNoiseSourceResult(source, src.data());
        if (DbStatus st = recordings.WriteResult(m, cond, EncodeAcfFactors(factors), src);
            st != db::kOk) {
            // The write commits whole or not at all, so the old result is still good.
            ReportStoreError(str::kCantWriteCalc, st);
            ++summary.writeFailures;
            continue;
        }
        ++summary.computed;
        if (chosen >= 0) ++summary.identified;
    }
    return summary;
}

bool EvaluationFactorsOfFolder(std::int32_t folderId, const std::set<long>& numbers,
                               const IdentificationSettings& identification,
                               std::vector<std::array<float, 4>>* factors,
                               std::vector<std::string>* notes) {
    factors->clear();
    CNmsTable recordings;
    std::vector<NmsRecord> list;
    if (!ReadFolderRecords(recordings, folderId, &list)) return false;
    NmsRecord r;
    for (const NmsRecord& m : list) {
        const long no = static_cast<long>(m.number) + 1;
        if (!numbers.empty() && !numbers.count(no)) continue;
        NmsBlobs blobs;
        if (!recordings.Read(m.nmsId, &r, &blobs)) return false;
        char text[96];
        if (r.nNmsFact <= 0) {
            std::snprintf(text, sizeof text, "No. %ld: not calculated, left out", no);
            notes->push_back(text);
            continue;
        }
        const auto v = SelectEvaluationFrame(DecodeAcfFactors(blobs.factors), identification);
        bool usable = std::isfinite(v[0]);
        for (int k = 1; k < 4; ++k)
            usable = usable && v[static_cast<std::size_t>(k)] > 0 &&
                     std::isfinite(v[static_cast<std::size_t>(k)]);
        if (!usable) {
            std::snprintf(text, sizeof text,
                          "No. %ld: no tau-e, tau1 or phi1 to learn from, left out", no);
            notes->push_back(text);
            continue;
        }
        factors->push_back({v[0], v[1], v[2], v[3]});
    }
    return true;
}

}  // namespace vesk
