#include "display/result_data.h"

#include "acf/acf_calculation.h"
#include "impulse/impulse_calculation.h"
#include "impulse/spl_reference.h"
#include "noise/noise_analysis.h"
#include "plot/iso_view.h"
#include "resources/strings.h"
#include "store/messages.h"
#include "store/tables.h"

namespace vesk {

namespace {

LoadedFolder LoadFolder(std::int32_t folderId) {
    LoadedFolder f;
    CFolderTable folders;
    f.read = folders.Open() && folders.Read(folderId, &f.record);
    if (!f.read) f.record = FolderRecord{};  // a half-read record would give a wrong scale
    return f;
}

// Tables close before the next one opens, so that a load never holds two locks at once.
template <class Table, class... Out>
bool ReadResult(std::int32_t id, bool* damaged, Out*... out) {
    Table table;
    if (!table.Open()) {
        *damaged = true;
        return false;
    }
    if (table.Read(id, out...)) return true;
    *damaged = table.ReadFailed();
    return false;
}

}  // namespace

ImpulseResultData LoadImpulseResult(std::int32_t folderId, std::int32_t impulseId) {
    ImpulseResultData d;
    d.folder = LoadFolder(folderId);
    bool samplesRead = false;
    {
        CImpulseTable table;
        if (!table.Open() || !table.Read(impulseId, &d.measurement)) {
            d.measurement = ImpulseRecord{};
            return d;
        }
        samplesRead = ReadWaveData(table, &d.block) == db::kOk;
    }
    const ImpulseRecord& m = d.measurement;
    d.channels = m.channel == 1 ? 1 : 2;
    d.fs = m.sampling / d.folder.record.TimeScale();
    // A measurement that cannot be recovered (no order, no rate) draws nothing.
    if (!samplesRead || !RecoverImpulseResponses(m, d.block, d.fs, &d.left, &d.right)) {
        d.left.clear();
        d.right.clear();
    }
    bool damaged = false;
    d.hasResult = ReadResult<CAcParamTable>(impulseId, &damaged, &d.result);
    if (d.hasResult) {
        d.splOffset = SplReferenceOffset(d.result.splRefData, folderId, d.result.splRefLevel);
        d.isoStatus = LoadIsoForDisplay(impulseId, d.left, d.right, d.fs, d.result, &d.iso,
                                        &d.hasIso, &d.isoComputed);
    } else {
        d.result = AcParamRecord{};
    }
    d.status = !samplesRead ? ResultLoad::NoSamples
               : damaged    ? ResultLoad::DamagedResult
                            : ResultLoad::Loaded;
    return d;
}

FactorResultData LoadFactorResult(char kind, std::int32_t folderId, std::int32_t recordId) {
    FactorResultData d;
    d.folder = LoadFolder(folderId);
    bool samplesRead = false, damaged = false;
    if (kind == 'A') {
        AcfRecord m;
        {
            CAcfTable table;
            if (!table.Open() || !table.Read(recordId, &m)) return d;
            samplesRead = ReadWaveData(table, &d.block) == db::kOk;
        }
        d.sampling = m.sampling;
        d.channels = m.channel == 2 ? 2 : 1;
        d.dataTime = m.dataTime;
        d.title = m.title;
        d.comment = m.comment;
        d.time = m.time;
        AcfFactRecord r;
        AcfFactBlobs blobs;
        d.hasResult = ReadResult<CAcfFactTable>(recordId, &damaged, &r, &blobs);
        if (d.hasResult) {
            const AcfConditionBlock block = DecodeAcfConditionBlock(blobs.cond.data());
            d.conditions = block.conditions;
            d.sampleNum = block.sampleNum;
            d.wiaccWidth = block.wiaccWidth;
            d.factors = DecodeAcfFactors(blobs.factors);
            d.peaks = DecodeAcfPeaks(blobs.peaks);
            d.phiOffset = PhiZeroReferenceOffset(folderId, d.conditions.phi0RefData,
                                                 d.conditions.phi0RefLevel);
        }
    } else {
        NmsRecord m;
        NmsBlobs blobs;
        {
            CNmsTable table;
            if (!table.Open() || !table.Read(recordId, &m, &blobs)) return d;
            samplesRead = ReadWaveData(table, &d.block) == db::kOk;
        }
        d.sampling = m.sampling;
        d.channels = m.channel == 2 ? 2 : 1;
        d.dataTime = m.dataTime;
        d.title = "No. " + std::to_string(m.number + 1);
        d.comment = DisplayedSourceName(DecodeNoiseSourceResult(blobs.source.data()).name);
        d.time = m.time;
        // A noise recording not analysed yet has no factors; its condition blob means nothing.
        if (!blobs.factors.empty()) {
            const NoiseConditionBlock nc = DecodeNoiseConditionBlock(blobs.cond.data());
            d.conditions = nc.acf.conditions;
            d.sampleNum = nc.acf.sampleNum;
            d.wiaccWidth = nc.acf.wiaccWidth;
            d.hasCalibration = true;
            d.calibration = nc.calibration;
            d.factors = DecodeAcfFactors(blobs.factors);
            d.hasResult = true;
        }
    }
    d.status = !samplesRead ? ResultLoad::NoSamples
               : damaged    ? ResultLoad::DamagedResult
                            : ResultLoad::Loaded;
    return d;
}

bool SaveImpulseResult(AcParamRecord& result) {
    CAcParamTable results;
    if (!results.Open()) return false;  // the store has reported it
    if (const DbStatus st = results.Write(result); st != db::kOk) {
        ReportStoreError(str::kCantWriteCalc, st);
        return false;
    }
    return true;
}

}  // namespace vesk
