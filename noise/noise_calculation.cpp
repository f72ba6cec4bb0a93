#include "noise/noise_calculation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "base/folder_run.h"
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

namespace {

// One recording: its factors and source are computed on any thread and written with the NMS
// record in folder order.
class NoiseJob : public MeasurementJob {
  public:
    NoiseJob(NmsRecord m, SampleBlock block, NoiseConditionBlock used, double fs,
             const std::vector<NoiseTemplate>& templates, const FactorWeights& weights,
             const IdentificationSettings& identification, CNmsTable& recordings)
        : m_m(std::move(m)),
          m_block(std::move(block)),
          m_used(used),
          m_fs(fs),
          m_templates(templates),
          m_weights(weights),
          m_identification(identification),
          m_recordings(recordings) {}

    CalcResult Compute(Progress* progress) override {
        if (progress) progress->SetMessage(NumberText(m_m));
        std::int32_t frames = 0;
        const CalcResult status =
            CalcNoiseFactors(m_block, m_used, m_fs, CallbackOf(progress), &m_factors, &frames);
        m_block = SampleBlock{};
        if (status != CalcResult::Finished) return status;
        m_source.name = LoadString(str::kUnknownSource);
        if (!m_factors.empty())
            m_chosen =
                IdentifyAgainst(m_templates, m_weights,
                                SelectEvaluationFrame(m_factors, m_identification), &m_source);
        return status;
    }

    bool Write() override {
        std::array<unsigned char, blob::kNmsCondSize> cond{};
        EncodeNoiseConditionBlock(m_used, cond.data());
        std::array<unsigned char, blob::kNoiseSourceSize> src{};
        EncodeNoiseSourceResult(m_source, src.data());
        // The result goes on the table's current record; later recordings may have been read
        // since this one.
        NmsRecord current;
        if (!m_recordings.Read(m_m.nmsId, &current)) {
            if (!m_recordings.ReadFailed())
                ReportStoreError(str::kCantWriteCalc, db::kNoMeasurement);
            return false;
        }
        if (DbStatus st = m_recordings.WriteResult(m_m, cond, EncodeAcfFactors(m_factors), src);
            st != db::kOk) {
            // The write commits whole or not at all, so the old result is still good.
            ReportStoreError(str::kCantWriteCalc, st);
            return false;
        }
        return true;
    }

    void Note(RunSummary* summary) const override {
        if (m_chosen >= 0) ++summary->identified;
    }

  private:
    NmsRecord m_m;
    SampleBlock m_block;
    NoiseConditionBlock m_used;
    double m_fs;
    const std::vector<NoiseTemplate>& m_templates;
    const FactorWeights& m_weights;
    const IdentificationSettings& m_identification;
    CNmsTable& m_recordings;
    std::vector<AcfFactorRecord> m_factors;
    NoiseSourceResult m_source;
    std::int32_t m_chosen = -1;
};

class NoiseRun : public FolderRunKind {
  public:
    NoiseRun(const RunningAcfConditions& c, const IdentificationSettings& identification,
             double wiaccWidth)
        : m_c(c), m_identification(identification), m_wiaccWidth(wiaccWidth) {
        m_c.phi0RefData = 0;  // noise results carry no Phi(0) reference
        m_c.phi0RefLevel = 0.0;
    }

    std::string CheckRun() override {
        if (!(m_wiaccWidth >= 0 && m_wiaccWidth <= 1))  // read from a settings file
            return "Width for WIACC must be from 0 to 1.";
        return {};
    }

    bool Open(std::int32_t folderId, std::size_t* count) override {
        FolderRecord folder;
        if (!m_folders.Open() || !m_folders.Read(folderId, &folder) || !m_recordings.Open())
            return false;
        m_scale = folder.TimeScale();
        if (!ReadFolderRecords(m_recordings, folderId, &m_list)) return false;
        *count = m_list.size();
        return true;
    }

    std::int32_t Id(std::size_t item) const override { return m_list[item].nmsId; }

    int HasResult(std::size_t item) override {
        NmsRecord r;
        if (!m_recordings.Read(Id(item), &r)) return m_recordings.ReadFailed() ? -1 : 1;
        std::uint32_t size = 0;
        if (DbStatus st = m_recordings.BlobSize("NMSFACTOR", &size); st != db::kOk) {
            ReportStoreError(NumberText(m_list[item]), str::kCantReadCalc, st);
            return -1;
        }
        return size != 0 ? 1 : 0;
    }

    std::string CheckMeasurement(std::size_t item) override {
        const NmsRecord& m = m_list[item];
        // A channel field other than 1 or 2 is skipped when read; there is nothing to check.
        if (m.channel != 1 && m.channel != 2) return {};
        std::string why = CheckRunningAcfConditions(m_c, m.sampling / m_scale, m.channel);
        return why.empty() ? why : NumberText(m) + ": " + why;
    }

    // The library is read once for the run: it does not change while the run goes on. Without
    // it every identification would be lost, so nothing is computed.
    bool Prepare() override {
        if (!LoadTemplates(&m_templates)) return false;
        m_weights = ReadFactorWeights();
        return true;
    }

    ReadOutcome Read(std::size_t item, std::unique_ptr<MeasurementJob>* job) override {
        NmsRecord m;
        NmsBlobs blobs;
        if (!m_recordings.Read(Id(item), &m, &blobs)) {
            if (!m_recordings.ReadFailed()) return ReadOutcome::Skipped;  // gone since listed
            Messages().ShowMessage(NumberText(m_list[item]) + ": " +
                                   LoadString(str::kCantReadMeasuredData));
            return ReadOutcome::Damaged;
        }
        SampleBlock block;
        if (DbStatus st = ReadWaveData(m_recordings, &block); st != db::kOk) {
            if (st == db::kNoRecord) return ReadOutcome::Skipped;  // no samples
            ReportStoreError(NumberText(m), str::kCantReadNms, st);
            return ReadOutcome::Damaged;
        }
        if (!ChannelsAgree(m.channel, block.channels)) return ReadOutcome::Skipped;
        NoiseConditionBlock used = DecodeNoiseConditionBlock(blobs.cond.data());
        used.acf.sampleNum = m.sampleNum;
        used.acf.conditions = m_c;
        used.acf.wiaccWidth = m_wiaccWidth;
        const double fs = m.sampling / m_scale;
        *job = std::make_unique<NoiseJob>(std::move(m), std::move(block), used, fs, m_templates,
                                          m_weights, m_identification, m_recordings);
        return ReadOutcome::Ready;
    }

  private:
    RunningAcfConditions m_c;
    const IdentificationSettings& m_identification;
    double m_wiaccWidth;
    CFolderTable m_folders;
    CNmsTable m_recordings;
    double m_scale = 1.0;
    std::vector<NmsRecord> m_list;
    std::vector<NoiseTemplate> m_templates;
    FactorWeights m_weights{};
};

}  // namespace

RunSummary RunNoiseCalculation(std::int32_t folderId, RunningAcfConditions conditions,
                               const IdentificationSettings& identification, double wiaccWidth,
                               Target target, const std::set<std::int32_t>& selected,
                               Progress* progress) {
    NoiseRun run(conditions, identification, wiaccWidth);
    return RunFolder(run, folderId, target, selected, progress);
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
