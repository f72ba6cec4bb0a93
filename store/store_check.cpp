#include "store/store_check.h"

#include <cstdio>
#include <filesystem>
#include <map>

#include "store/iso_result.h"
#include "store/messages.h"
#include "store/records.h"
#include "store/tables.h"

namespace vesk {

namespace {

// Every live record of a table in record order; false when one cannot be read.
template <class Record>
bool ReadAllRecords(CStoreTable& table, std::vector<Record>* out) {
    int length = 0;
    if (table.RecordLength(&length) != db::kOk || table.SelectIndex(0) != db::kOk ||
        table.GoFirst() != db::kOk)
        return false;
    std::vector<char> buffer(static_cast<std::size_t>(length - 1));
    for (;;) {
        int read = 0;
        if (table.ReadNext(1, buffer.data(), &read) != db::kOk) return false;
        if (read == 0) return true;
        Record r;
        if (table.UnpackRecord(buffer, &r) != db::kOk) return false;
        out->push_back(r);
    }
}

std::string TrimRight(const std::string& text) {
    const std::size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

bool DeleteById(CStoreTable& table, int index, long id) {
    const std::string key = FormatKey(id);
    return table.SetScope(nullptr, nullptr) == db::kOk && table.SelectIndex(index) == db::kOk &&
           table.DeleteByKey(key.data(), 8, 1) == db::kOk;
}

constexpr long kMaxId = 99999999;  // IDs are 8-digit fields counted from 1

}  // namespace

StoreCheck CheckStore(bool repair, const std::function<void(const std::string&)>& print) {
    auto say = [&](const char* format, auto... values) {
        char text[512];
        std::snprintf(text, sizeof text, format, values...);
        print(text);
    };
    CFolderTable folders;
    CImpulseTable impulses;
    CAcfTable acfs;
    CNmsTable noises;
    CNsTmpTable templates;
    CAcParamTable acparams;
    CAcfFactTable acffacts;
    CIsoParamTable isoparams;
    std::vector<CStoreTable*> tables = {&folders,   &impulses, &acfs,    &noises,
                                        &templates, &acparams, &acffacts};
    // A store made before the ISO table is checked without making it.
    std::error_code noFile;
    const bool withIso =
        std::filesystem::exists(StorePath(std::string(IsoParamSpec().name) + ".DBF"), noFile);
    if (withIso) tables.push_back(&isoparams);
    bool damaged = false;
    for (CStoreTable* t : tables) {
        if (!t->Open()) return StoreCheck::NotOpened;
        std::string report;
        DbStatus st = t->Verify(&report);
        print(std::string(t->Spec().name) + ": " + (st == db::kOk ? "ok" : DbStatusText(st)) +
              "\n" + report);
        if (st != db::kOk) damaged = true;
    }
    if (damaged) return StoreCheck::Damaged;  // the agreement checks below need readable tables

    std::vector<FolderRecord> folderList;
    std::vector<ImpulseRecord> impulseList;
    std::vector<AcfRecord> acfList;
    std::vector<NmsRecord> nmsList;
    std::vector<AcParamRecord> acparamList;
    std::vector<AcfFactRecord> acffactList;
    std::vector<NsTmpRecord> templateList;
    std::vector<IsoParamRecord> isoList;
    if ((withIso && !ReadAllRecords(isoparams, &isoList)) ||
        !ReadAllRecords(templates, &templateList) || !ReadAllRecords(folders, &folderList) ||
        !ReadAllRecords(impulses, &impulseList) || !ReadAllRecords(acfs, &acfList) ||
        !ReadAllRecords(noises, &nmsList) || !ReadAllRecords(acparams, &acparamList) ||
        !ReadAllRecords(acffacts, &acffactList)) {
        print("a record cannot be read\n");
        return StoreCheck::Damaged;
    }
    auto problem = [&](const char* format, auto... values) {
        say(format, values...);
        print("\n");
        damaged = true;
    };
    std::map<long, std::string> kinds;
    for (const FolderRecord& f : folderList) {
        if (f.folderId < 1 || f.folderId > kMaxId)
            problem("FOLDER: FOLDERID %d out of range", f.folderId);
        kinds[f.folderId] = f.type;
    }
    // What --repair may remove: measurements without their folder, results without their
    // measurement, and results whose parts disagree.
    std::vector<long> lostImpulses, lostAcfs, lostNms, lostAcParams, lostAcfFacts, mixedNms;
    auto orphan = [&](const char* table, long id, long folderId, const char* kind) {
        auto it = kinds.find(folderId);
        if (it != kinds.end() && it->second == kind) return false;
        problem("%s: measurement %ld has no folder %ld of its kind (orphan)", table, id, folderId);
        return true;
    };
    std::map<long, bool> impulseIds, acfIds;
    for (const ImpulseRecord& m : impulseList) {
        if (m.impulseId < 1) problem("IMPULSE: IMPULSEID %d out of range", m.impulseId);
        if (orphan("IMPULSE", m.impulseId, m.folderId, "I"))
            lostImpulses.push_back(m.impulseId);
        else
            impulseIds[m.impulseId] = true;
    }
    for (const AcfRecord& m : acfList) {
        if (m.acfId < 1) problem("ACF: ACFID %d out of range", m.acfId);
        if (orphan("ACF", m.acfId, m.folderId, "A"))
            lostAcfs.push_back(m.acfId);
        else
            acfIds[m.acfId] = true;
    }
    for (const NmsRecord& m : nmsList) {
        if (m.nmsId < 1) problem("NMS: NMSID %d out of range", m.nmsId);
        if (orphan("NMS", m.nmsId, m.folderId, "N")) {
            lostNms.push_back(m.nmsId);
            continue;
        }
        NmsRecord r;
        std::uint32_t cond = 0, factors = 0, source = 0;
        if (!noises.Read(m.nmsId, &r) || noises.BlobSize("NMSCOND", &cond) != db::kOk ||
            noises.BlobSize("NMSFACTOR", &factors) != db::kOk ||
            noises.BlobSize("NOISESRC", &source) != db::kOk) {
            problem("NMS: measurement %d cannot be read", m.nmsId);
            continue;
        }
        const bool analysed = m.nNmsFact > 0;
        const bool agree = (m.condSize <= 0 || cond == static_cast<std::uint32_t>(m.condSize)) &&
                           m.nNmsFact >= 0 &&
                           factors == static_cast<std::uint64_t>(m.nNmsFact) *
                                          static_cast<std::uint64_t>(analysed ? m.factSize : 0) &&
                           (!analysed || source == blob::kNoiseSourceSize);
        if (!agree) {
            problem(
                "NMS: measurement %d: result parts disagree (CONDSIZE %d, NMSCOND %u bytes, "
                "NNMSFACT %d x FACTSIZE %d, NMSFACTOR %u bytes, NOISESRC %u bytes)",
                m.nmsId, m.condSize, cond, m.nNmsFact, m.factSize, factors, source);
            mixedNms.push_back(m.nmsId);
        }
    }
    for (const AcParamRecord& r : acparamList)
        if (!impulseIds.count(r.impulseId)) {
            problem("ACPARAM: result of measurement %d, which is gone (orphan)", r.impulseId);
            lostAcParams.push_back(r.impulseId);
        }
    for (const AcfFactRecord& r : acffactList) {
        if (!acfIds.count(r.acfId)) {
            problem("ACFFACT: result of measurement %d, which is gone (orphan)", r.acfId);
            lostAcfFacts.push_back(r.acfId);
            continue;
        }
        AcfFactRecord read;
        std::uint32_t cond = 0, factors = 0;
        if (!acffacts.Read(r.acfId, &read) || acffacts.BlobSize("ACFCOND2", &cond) != db::kOk ||
            acffacts.BlobSize("ACFFACTOR", &factors) != db::kOk) {
            problem("ACFFACT: result of measurement %d cannot be read", r.acfId);
            continue;
        }
        const std::uint64_t frameBytes = blob::kAcfFactorSize + blob::kAcfPeakSize;
        if (r.condSize != static_cast<std::int32_t>(cond) ||
            r.factSize != static_cast<std::int32_t>(blob::kAcfFactSizeField) || r.nAcfFact < 0 ||
            factors != static_cast<std::uint64_t>(r.nAcfFact) * frameBytes) {
            problem(
                "ACFFACT: result of measurement %d: parts disagree (CONDSIZE %d, ACFCOND2 "
                "%u bytes, NACFFACT %d, ACFFACTOR %u bytes)",
                r.acfId, r.condSize, cond, r.nAcfFact, factors);
            lostAcfFacts.push_back(r.acfId);
        }
    }
    std::map<long, std::string> stamps;  // of every ACPARAM record
    for (const AcParamRecord& r : acparamList)
        stamps[r.impulseId] = IsoStampOf(r);
    std::vector<long> lostIso;
    for (const IsoParamRecord& r : isoList) {
        if (!impulseIds.count(r.impulseId)) {
            problem("ISOPARAM: result of measurement %d, which is gone (orphan)", r.impulseId);
            lostIso.push_back(r.impulseId);
            continue;
        }
        // The row must belong to the measurement's ACPARAM record, and its newest slot must be
        // one whole result of the size its fields say.
        auto stamp = stamps.find(r.impulseId);
        const std::string a = TrimRight(r.stampA), b = TrimRight(r.stampB);
        IsoParamRecord read;
        IsoResultRecord result;
        DbStatus st = isoparams.ReadRecord(r.impulseId, &read) ? db::kOk : db::kNoRecord;
        if (st == db::kOk) st = isoparams.ReadSlot("ISODATAA", &result);
        const bool whole = st == db::kOk && result.channels == r.channels &&
                           result.bandSystem == r.bandSystem &&
                           static_cast<std::int32_t>(result.bands.size()) == r.nBands;
        // A row without an ACPARAM record is what a kill between the two writes of a first
        // calculation leaves: it waits for its record, and the next calculation replaces it.
        const bool paired = stamp == stamps.end() || stamp->second == a || stamp->second == b;
        if (!whole || !paired) {
            problem("ISOPARAM: result of measurement %d: parts disagree (%s)", r.impulseId,
                    !whole ? "the stored result does not match its record"
                           : "it belongs to no ACPARAM record of the measurement");
            lostIso.push_back(r.impulseId);
        }
    }
    const std::size_t removable = lostImpulses.size() + lostAcfs.size() + lostNms.size() +
                                  lostAcParams.size() + lostAcfFacts.size() + mixedNms.size() +
                                  lostIso.size();
    if (!damaged) {
        print("store: ok\n");
        return StoreCheck::Clean;
    }
    if (!repair || removable == 0) return StoreCheck::Problems;
    const std::string question =
        "Remove " + std::to_string(removable) + " orphaned or inconsistent records and results?";
    if (!Messages().AskOkCancel(question)) return StoreCheck::Declined;
    bool ok = true;
    // Results before their measurements, as a folder deletion does.
    for (long id : lostIso)
        ok = DeleteById(isoparams, isoparams.Index1(), id) && ok;
    for (long id : lostAcParams)
        ok = DeleteById(acparams, acparams.Index1(), id) && ok;
    for (long id : lostImpulses)
        ok = DeleteById(acparams, acparams.Index1(), id) &&
             DeleteById(impulses, impulses.Index2(), id) && ok;
    for (long id : lostAcfFacts)
        ok = DeleteById(acffacts, acffacts.Index1(), id) && ok;
    for (long id : lostAcfs)
        ok = DeleteById(acffacts, acffacts.Index1(), id) && DeleteById(acfs, acfs.Index2(), id) &&
             ok;
    for (long id : lostNms)
        ok = DeleteById(noises, noises.Index2(), id) && ok;
    for (long id : mixedNms) {
        NmsRecord r;
        ok = noises.Read(id, &r) && noises.ClearResult(r) == db::kOk && ok;
    }
    if (!ok) return StoreCheck::RepairFailed;
    say("repaired: %zu records removed\n", removable);
    return StoreCheck::Repaired;
}

}  // namespace vesk
