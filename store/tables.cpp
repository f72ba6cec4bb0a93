// The store's tables. What makes a change durable: a single record or blob as the engine
// commits it; a result (a record with its blobs) when its table transaction's journal is
// complete; a folder deletion one record at a time, children before the folder record, so a
// kill leaves at worst a folder with fewer measurements, never measurements without a folder.
#include "store/tables.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <type_traits>

#include "resources/strings.h"
#include "store/messages.h"

namespace vesk {

namespace {

std::string g_dataPath;

FieldDescriptor F(const char* name, char type, int width, int decimals = 0) {
    return MakeField(name, type, width, decimals);
}

std::vector<FieldDescriptor> AcParamSchema() {
    std::vector<FieldDescriptor> s = {
        F("IMPULSEID", 'I', 8),     F("NDATA", 'I', 2),         F("FREQBAND", 'I', 1),
        F("AFILTER", 'I', 1),       F("SPLREFDATA", 'I', 8),    F("SPLREFLVL", 'N', 8, 2),
        F("DT1MINTIME", 'N', 8, 2), F("TSUBEND", 'N', 8, 2),    F("TSUBAUTO", 'I', 1),
        F("TSUBNOISE", 'N', 8, 2),  F("IACCWLEVEL", 'N', 8, 2), F("PREFSPL", 'N', 8, 2),
        F("PREFTAUE", 'N', 8, 2),   F("DELTAT0L", 'N', 8, 2),   F("DELTAT0R", 'N', 8, 2),
        F("DELTAT1L", 'N', 8, 2),   F("DELTAT1R", 'N', 8, 2)};
    const char* names[] = {"SPLL", "SPLR", "AL", "AR", "TSUBL", "TSUBR", "IACC", "TIACC", "WIACC"};
    for (int n = 0; n < kAcParamBands; ++n) {
        std::string suffix = std::to_string(n);
        s.push_back(F(("FREQ" + suffix).c_str(), 'I', 6));
        for (const char* name : names)
            s.push_back(F((name + suffix).c_str(), 'N', 8, 2));
    }
    return s;
}

}  // namespace

bool ConnectStoreAt(const std::string& dataPath) {
    CDbConnection& c = TheDbConnection();
    if (!c.IsConnected() && c.Connect("MERIDAX") != db::kOk) return false;
    c.SetDataFolder("DATA");
    g_dataPath = dataPath;
    std::error_code ec;
    std::filesystem::create_directories(dataPath, ec);
    return !ec;
}

bool ConnectStore(const std::string& workingDir) {
    return ConnectStoreAt(workingDir + "/DATA");
}

const std::string& DataPath() {
    return g_dataPath;
}

std::string StorePath(const std::string& fileName) {
    return g_dataPath + "/" + fileName;
}

const TableSpec& FolderSpec() {
    static const TableSpec spec{
        "FOLDER",
        {F("FOLDERID", 'I', 8), F("TYPE", 'C', 1), F("NAME", 'C', 20), F("PLACE", 'C', 20),
         F("DATE", 'C', 8), F("TITLE", 'C', 30), F("COMMENT", 'C', 100), F("SCALE", 'N', 8, 2)},
        195,
        {{"FOLDER1.EDX", "FOLDERID", true, str::kCantCreateFolderIndex}},
        false,
        str::kConvertFolder,
        str::kCantCreateFolder,
        str::kCantOpenFolder,
        str::kCantConvertFolder,
        str::kCantReadFolder};
    return spec;
}

const TableSpec& ImpulseSpec() {
    static const TableSpec spec{
        "IMPULSE",
        {F("FOLDERID", 'I', 8), F("IMPULSEID", 'I', 8), F("SAMPLING", 'I', 6), F("MESTIME", 'I', 2),
         F("MESNUM", 'I', 3), F("CHANNEL", 'I', 1), F("BIT", 'I', 2), F("TIME", 'C', 14),
         F("TITLE", 'C', 30), F("COMMENT", 'C', 100), F("USEFILTER", 'I', 1),
         F("IFILTERID", 'I', 8), F("TEMPERATUR", 'N', 8, 2), F("HUMIDITY", 'N', 8, 2),
         F("MULTIPLIER", 'I', 5), F("WAVEDATA", 'B', 0)},
        204,
        {{"IMPULSE1.EDX", "FOLDERID", false, str::kCantCreateImpulseIndex1},
         {"IMPULSE2.EDX", "IMPULSEID", true, str::kCantCreateImpulseIndex2}},
        false,
        str::kConvertImpulse,
        str::kCantCreateImpulse,
        str::kCantOpenImpulse,
        str::kCantConvertImpulse,
        str::kCantReadImpulse};
    return spec;
}

const TableSpec& AcfSpec() {
    static const TableSpec spec{
        "ACF",
        {F("FOLDERID", 'I', 8), F("ACFID", 'I', 8), F("SAMPLING", 'I', 6), F("CHANNEL", 'I', 1),
         F("SAMPLENUM", 'I', 10), F("DATATIME", 'N', 8, 2), F("TIME", 'C', 14), F("TITLE", 'C', 30),
         F("COMMENT", 'C', 100), F("WAVEDATA", 'B', 0)},
        185,
        {{"ACF1.EDX", "FOLDERID", false, str::kCantCreateAcfIndex1},
         {"ACF2.EDX", "ACFID", true, str::kCantCreateAcfIndex2}},
        false,
        str::kConvertAcf,
        str::kCantCreateAcf,
        str::kCantOpenAcf,
        str::kCantConvertAcf,
        str::kCantReadAcf};
    return spec;
}

const TableSpec& NmsSpec() {
    static const TableSpec spec{
        "NMS",
        {F("FOLDERID", 'I', 8), F("NMSID", 'I', 8), F("SAMPLING", 'I', 6), F("CHANNEL", 'I', 1),
         F("SAMPLENUM", 'I', 10), F("NUMBER", 'I', 6), F("DATATIME", 'N', 8, 2), F("TIME", 'C', 14),
         F("CONDSIZE", 'I', 5), F("FACTSIZE", 'I', 5), F("NNMSFACT", 'I', 6), F("WAVEDATA", 'B', 0),
         F("NMSCOND", 'B', 0), F("NMSFACTOR", 'B', 0), F("NOISESRC", 'B', 0)},
        77,
        {{"NMS1.EDX", "FOLDERID", false, str::kCantCreateNmsIndex1},
         {"NMS2.EDX", "NMSID", true, str::kCantCreateNmsIndex2}},
        false,
        str::kConvertNms,
        str::kCantCreateNms,
        str::kCantOpenNms,
        str::kCantConvertNms,
        str::kCantReadNms};
    return spec;
}

const TableSpec& NsTmpSpec() {
    static const TableSpec spec{
        "NSTMP",
        {F("NSTMPID", 'I', 8), F("NSTMPNAME", 'C', 32), F("NSTMPDATA", 'B', 0)},
        40,
        {{"NSTMP1.EDX", "NSTMPID", true, str::kCantCreateNsTmpIndex},
         {"NSTMP2.EDX", "NSTMPNAME", false, str::kCantCreateNsTmpIndex}},
        false,
        str::kConvertNsTmp,
        str::kCantCreateNsTmp,
        str::kCantOpenNsTmp,
        str::kCantConvertNsTmp,
        str::kCantReadNsTmp};
    return spec;
}

const TableSpec& AcParamSpec() {
    static const TableSpec spec{"ACPARAM",
                                AcParamSchema(),
                                2761,
                                {{"ACPARAM1.EDX", "IMPULSEID", true, str::kCantCreateCalcIndex}},
                                true,
                                str::kDeleteOldCalculation,
                                str::kCantCreateCalc,
                                str::kCantOpenCalc,
                                0,
                                str::kCantReadCalc};
    return spec;
}

const TableSpec& AcfFactSpec() {
    static const TableSpec spec{
        "ACFFACT",
        {F("ACFID", 'I', 8), F("CONDSIZE", 'I', 5), F("FACTSIZE", 'I', 5), F("NACFFACT", 'I', 4),
         F("ACFCOND2", 'B', 0), F("ACFFACTOR", 'B', 0)},
        22,
        {{"ACFFACT1.EDX", "ACFID", true, str::kCantCreateCalcIndex}},
        true,
        str::kDeleteOldCalculation,
        str::kCantCreateCalc,
        str::kCantOpenCalc,
        0,
        str::kCantReadCalc};
    return spec;
}

const TableSpec& IsoParamSpec() {
    static const TableSpec spec{
        "ISOPARAM",
        {F("IMPULSEID", 'I', 8), F("CHANNELS", 'I', 1), F("BANDSYS", 'I', 1), F("NBANDS", 'I', 3),
         F("STAMPA", 'C', 16), F("STAMPB", 'C', 16), F("ISODATAA", 'B', 0), F("ISODATAB", 'B', 0)},
        45,
        {{"ISOPARAM1.EDX", "IMPULSEID", true, str::kCantCreateCalcIndex}},
        true,
        str::kDeleteOldCalculation,
        str::kCantCreateCalc,
        str::kCantOpenCalc,
        0,
        str::kCantReadCalc};
    return spec;
}

// ---------------------------------------------------------------------------------------------

bool CStoreTable::Open(const std::string& dataPath) {
    // A conversion or a deleted result table starts the open again; at most a few rounds.
    for (int round = 0; round < 4; ++round) {
        bool again = false;
        int ok = OpenOnce(dataPath, &again);
        if (!again) return ok;
    }
    return 0;
}

bool CStoreTable::OpenOnce(const std::string& dataPath, bool* again) {
    *again = false;
    m_fields.clear();
    m_index[0] = m_index[1] = 0;
    const std::string base = dataPath + "/" + m_spec.name;
    const std::string path = base + ".DBF";
    bool created = false;
    DbStatus st = CDbTable::Open(path);
    if (st == db::kNoSuchFile) {
        // Another file of the table without its .DBF is a partial copy: what it holds would be
        // lost under a new table, so it is reported instead.
        std::error_code ec;
        bool remnant = std::filesystem::exists(base + ".BIN", ec) ||
                       std::filesystem::exists(base + ".JNL", ec);
        for (const IndexSpec& ix : m_spec.indexes)
            remnant = remnant || std::filesystem::exists(dataPath + "/" + ix.file, ec);
        if (remnant) {
            ReportStoreError(m_spec.openMessage, db::kNoSuchFile);
            return 0;
        }
        if (TheDbConnection().Writable())
            st = Create(path, m_spec.schema.data(), static_cast<int>(m_spec.schema.size()));
        else  // a reader sees a table never made as empty, and leaves no file behind
            st = OpenEmpty(path, m_spec.schema.data(), static_cast<int>(m_spec.schema.size()));
        if (st != db::kOk) {
            ReportStoreError(m_spec.createMessage, st);
            return 0;
        }
        created = true;
    } else if (st != db::kOk) {
        ReportStoreError(m_spec.openMessage, st);
        return 0;
    }

    int length = 0, fieldCount = 0;
    RecordLength(&length);
    FieldCount(&fieldCount);
    bool matches = length - 1 == m_spec.totalWidth;
    if (m_spec.name == std::string("NMS")) matches = matches && fieldCount == 15;
    if (m_spec.name == std::string("ACFFACT")) {
        FieldDescriptor fifth;
        matches =
            matches && Descriptor(5, &fifth) == db::kOk && std::strcmp(fifth.name, "ACFCOND2") == 0;
    }
    if (!matches) {
        CDbConnection& connection = TheDbConnection();
        if (m_spec.resultTable) {
            // Only an older layout is deleted: keyed like today's, and either of another width
            // or ACFFACT with its former ACFCOND blob. Anything else is damage, which a repair
            // may mend, so it is reported rather than offered for deletion.
            FieldDescriptor first, fifth;
            const bool keyed = Descriptor(1, &first) == db::kOk &&
                               std::strcmp(first.name, m_spec.schema[0].name) == 0 &&
                               first.type == 'I' && first.width == 8;
            const bool formerBlob = m_spec.name == std::string("ACFFACT") &&
                                    Descriptor(5, &fifth) == db::kOk &&
                                    std::strcmp(fifth.name, "ACFCOND") == 0;
            if (!keyed || (length - 1 == m_spec.totalWidth && !formerBlob)) {
                Close();
                ReportStoreError(m_spec.openMessage, db::kFileDamaged);
                return 0;
            }
            Close();
            if (!connection.Writable()) {
                ReportStoreError(m_spec.openMessage, db::kReadOnlyStore);
                return 0;
            }
            if (!AskStoreQuestion(m_spec.convertQuestion)) return 0;
            // The .DBF last: a kill before it leaves the old table, not files without it.
            connection.DeleteFile(base + ".BIN");
            connection.DeleteFile(base + ".JNL");
            for (const IndexSpec& ix : m_spec.indexes)
                connection.DeleteFile(dataPath + "/" + ix.file);
            connection.DeleteFile(path);
            *again = true;
            return 0;
        }
        if (!connection.Writable()) {
            Close();
            ReportStoreError(m_spec.openMessage, db::kReadOnlyStore);
            return 0;
        }
        if (!AskStoreQuestion(m_spec.convertQuestion)) {
            Close();
            return 0;
        }
        const std::string temp = dataPath + "/TEMP.DBF";
        const std::string tempBin = dataPath + "/TEMP.BIN";
        // Leftovers of a conversion that was killed hold nothing of value.
        connection.DeleteFile(temp);
        connection.DeleteFile(tempBin);
        connection.DeleteFile(dataPath + "/TEMP.JNL");
        CDbTable converted;
        st = converted.Create(temp, m_spec.schema.data(), static_cast<int>(m_spec.schema.size()));
        if (st != db::kOk) {
            ReportStoreError(m_spec.createMessage, st);
            Close();
            return 0;
        }
        long added = 0;
        st = converted.CopyRecords(*this, &added);
        converted.Close();
        Close();
        if (st != db::kOk) {
            // The old table stays as it was; the half-made copy goes.
            ReportStoreError(m_spec.convertMessage, st);
            connection.DeleteFile(temp);
            connection.DeleteFile(tempBin);
            return 0;
        }
        // Renamed over the old files rather than deleting them first, so that no moment
        // exists in which the table is gone.
        bool blobs = std::filesystem::exists(tempBin);
        connection.RenameFile(temp, path);
        if (blobs) connection.RenameFile(tempBin, base + ".BIN");
        *again = true;
        return 0;
    }

    for (std::size_t i = 0; i < m_spec.indexes.size() && i < 2; ++i) {
        const IndexSpec& ix = m_spec.indexes[i];
        const std::string indexPath = dataPath + "/" + ix.file;
        int handle = 0;
        st = created ? db::kNoSuchFile : OpenIndex(indexPath, &handle);
        if (st != db::kOk) {
            st = CreateIndex(indexPath, ix.keyField, ix.unique, &handle);
            if (st != db::kOk) {
                ReportStoreError(ix.createMessage, st);
                Close();
                return 0;
            }
        }
        m_index[i] = handle;
    }
    return 1;
}

DbStatus CStoreTable::Fields(const std::vector<FieldDescriptor>** fields) {
    if (m_fields.empty()) {
        int n = 0;
        DbStatus st = FieldCount(&n);
        if (st != db::kOk) return st;
        std::vector<FieldDescriptor> loaded(static_cast<std::size_t>(n));
        for (int i = 1; i <= n; ++i)
            if ((st = Descriptor(i, &loaded[static_cast<std::size_t>(i - 1)])) != db::kOk)
                return st;
        if ((st = RecordLength(&m_recordLength)) != db::kOk) return st;
        --m_recordLength;
        m_fields = std::move(loaded);
    }
    *fields = &m_fields;
    return db::kOk;
}

bool CStoreTable::SetScopeTo(long value, long* count) {
    char expression[64];
    std::snprintf(expression, sizeof expression, "#%d=%ld", Index1(), value);
    DbStatus st = SetScope(expression, count);
    if (st != db::kOk) {
        ReportStoreError(m_spec.readMessage, st);
        return 0;
    }
    return 1;
}

bool CStoreTable::NextId(std::int32_t* id) {
    *id = 1;
    DbStatus st = SelectIndex(IdIndex());
    if (st == db::kOk) st = GoLast();
    const std::vector<FieldDescriptor>* f = nullptr;
    if (st == db::kOk) st = Fields(&f);
    if (st != db::kOk) {
        ReportStoreError(m_spec.readMessage, st);
        return 0;
    }
    bool atEnd = false;
    AtEnd(&atEnd);
    m_buffer.assign(static_cast<std::size_t>(m_recordLength), ' ');
    if (atEnd) std::memcpy(m_buffer.data(), "       0       0", 16);  // as if the last were 0
    if (!atEnd && (st = ReadCurrent(m_buffer.data())) != db::kOk) {
        ReportStoreError(m_spec.readMessage, st);
        return 0;
    }
    // The ID index is on the second field of tables with two indexes, else the first.
    const FieldDescriptor* key = nullptr;
    int offset = 0;
    int wanted = Index2() ? 1 : 0;
    int seen = 0;
    for (const auto& d : *f) {
        if (seen == wanted) {
            key = &d;
            break;
        }
        offset += d.width;
        ++seen;
    }
    if (!key) return 0;
    long last = std::strtol(
        std::string(m_buffer.data() + offset, static_cast<std::size_t>(key->width)).c_str(),
        nullptr, 10);
    // A result left behind by a measurement that is gone must never be taken for the result
    // of a new one: IDs also pass every stored result's.
    if (&m_spec == &ImpulseSpec() || &m_spec == &AcfSpec()) {
        long lastResult = 0;
        if (!LastResultId(&m_spec == &ImpulseSpec(), &lastResult)) return 0;
        last = std::max(last, lastResult);
    }
    if (last >= 99999999) {
        ReportStoreError(m_spec.readMessage, db::kTableFull);
        return 0;
    }
    *id = static_cast<std::int32_t>(last + 1);
    return 1;
}

bool CStoreTable::LastResultId(bool impulse, long* last) {
    *last = 0;
    CAcParamTable acParams;
    CAcfFactTable acfFacts;
    CStoreTable& results = impulse ? static_cast<CStoreTable&>(acParams) : acfFacts;
    if (!results.Open()) return 0;
    DbStatus st = results.SelectIndex(results.Index1());
    if (st == db::kOk) st = results.GoLast();
    bool atEnd = false;
    if (st == db::kOk) st = results.AtEnd(&atEnd);
    if (st == db::kOk && atEnd) return 1;
    std::vector<char> buffer;
    int length = 0;
    if (st == db::kOk) st = results.RecordLength(&length);
    buffer.assign(static_cast<std::size_t>(length), ' ');
    if (st == db::kOk) st = results.ReadCurrent(buffer.data());
    if (st != db::kOk) {
        ReportStoreError(results.Spec().readMessage, st);
        return 0;
    }
    *last = std::strtol(std::string(buffer.data(), 8).c_str(), nullptr, 10);
    return 1;
}

template <class Record>
bool CStoreTable::ReadById(int index, long id, Record* record, bool silent3006) {
    const std::vector<FieldDescriptor>* f = nullptr;
    DbStatus st = SelectIndex(index);
    if (st == db::kOk) st = Fields(&f);
    bool found = false;
    std::string key = FormatKey(id);
    m_readFailed = false;
    m_buffer.assign(static_cast<std::size_t>(m_recordLength), ' ');
    if (st == db::kOk) st = Seek(key.data(), 8, m_buffer.data(), &found);
    if (st == db::kKeyAbsent && silent3006) return 0;
    if (st == db::kOk && !found) return 0;
    if (st == db::kOk) st = UnpackRecord(m_buffer, record);
    if (st != db::kOk) {
        ReportStoreError(m_spec.readMessage, st);
        m_readFailed = true;
        return 0;
    }
    return 1;
}

template <class Record>
bool CStoreTable::ReadCurrentRecord(Record* record) {
    const std::vector<FieldDescriptor>* f = nullptr;
    DbStatus st = Fields(&f);
    m_readFailed = false;
    m_buffer.assign(static_cast<std::size_t>(m_recordLength), ' ');
    if (st == db::kOk) st = ReadCurrent(m_buffer.data());
    if (st == db::kNoRecord) return 0;
    if (st == db::kOk) st = UnpackRecord(m_buffer, record);
    if (st != db::kOk) {
        ReportStoreError(m_spec.readMessage, st);
        m_readFailed = true;
        return 0;
    }
    return 1;
}

template <class Record>
bool CStoreTable::ReadNextRecord(Record* record) {
    const std::vector<FieldDescriptor>* f = nullptr;
    DbStatus st = Fields(&f);
    m_readFailed = false;
    m_buffer.assign(static_cast<std::size_t>(m_recordLength), ' ');
    int read = 0;
    if (st == db::kOk) st = ReadNext(1, m_buffer.data(), &read);
    if (st == db::kOk && read != 1) return 0;
    if (st == db::kOk) st = UnpackRecord(m_buffer, record);
    if (st != db::kOk) {
        ReportStoreError(m_spec.readMessage, st);
        m_readFailed = true;
        return 0;
    }
    return 1;
}

template <class Record>
bool CStoreTable::AppendRecord(Record& record, int message) {
    DbStatus st = PackRecord(record, &m_buffer);
    if (st == db::kOk) st = CDbTable::Append(m_buffer.data());
    if (st != db::kOk) {
        ReportStoreError(message, st);
        return 0;
    }
    return 1;
}

bool CStoreTable::WriteBlobChecked(const char* field, const void* data, std::uint32_t size,
                                   int message) {
    DbStatus st = WriteBlob(field, data, size);
    if (st != db::kOk) {
        ReportStoreError(message, st);
        return 0;
    }
    return 1;
}

bool CStoreTable::ReadBlobChecked(const char* field, void* data, std::uint32_t size, int message) {
    std::memset(data, 0, size);
    std::uint32_t read = 0;
    DbStatus st = ReadBlob(field, data, size, &read);
    if (st != db::kOk) {
        ReportStoreError(message, st);
        m_readFailed = true;
        return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------------------------

bool CFolderTable::Read(long folderId, FolderRecord* record) {
    return ReadById(Index1(), folderId, record);
}
bool CFolderTable::ReadNext(FolderRecord* record) {
    return ReadNextRecord(record);
}
bool CFolderTable::Append(FolderRecord& record) {
    return AppendRecord(record, str::kCantCreateFolder);
}

namespace {
void DecodeMesTime(ImpulseRecord* record) {
    record->noMls = record->mesTime >= 50 ? 1 : 0;
    if (record->noMls) record->mesTime -= 50;
}
}  // namespace

bool CImpulseTable::Read(long impulseId, ImpulseRecord* record) {
    int ok = impulseId == -1 ? ReadCurrentRecord(record) : ReadById(Index2(), impulseId, record);
    if (ok) DecodeMesTime(record);
    return ok;
}

bool CImpulseTable::ReadNext(ImpulseRecord* record) {
    int ok = ReadNextRecord(record);
    if (ok) DecodeMesTime(record);
    return ok;
}

bool CImpulseTable::Append(ImpulseRecord& record, const std::vector<unsigned char>& waveBlock) {
    ImpulseRecord stored = record;
    if (stored.noMls) stored.mesTime += 50;
    if (!AppendRecord(stored, str::kCantCreateImpulse)) return 0;
    return WriteBlobChecked("WAVEDATA", waveBlock.data(),
                            static_cast<std::uint32_t>(waveBlock.size()), str::kCantCreateImpulse);
}

bool CAcfTable::Read(long acfId, AcfRecord* record) {
    return ReadById(Index2(), acfId, record);
}
bool CAcfTable::ReadNext(AcfRecord* record) {
    return ReadNextRecord(record);
}
bool CAcfTable::Append(AcfRecord& record, const std::vector<unsigned char>& waveBlock) {
    if (!AppendRecord(record, str::kCantCreateAcf)) return 0;
    return WriteBlobChecked("WAVEDATA", waveBlock.data(),
                            static_cast<std::uint32_t>(waveBlock.size()), str::kCantCreateAcf);
}

bool CNmsTable::Read(long nmsId, NmsRecord* record, NmsBlobs* blobs) {
    int ok = nmsId == -1 ? ReadCurrentRecord(record) : ReadById(Index2(), nmsId, record);
    if (!ok || !blobs) return ok;
    // Blobs are read into cleared buffers: a short blob leaves zeros behind it.
    if (!ReadBlobChecked("NMSCOND", blobs->cond.data(), blob::kNmsCondSize, str::kCantReadCalc))
        return 0;
    UpgradeNmsCondition(record->condSize, &blobs->cond);
    std::int32_t count = std::clamp(record->nNmsFact, 0, 999999);
    blobs->factors.assign(static_cast<std::size_t>(count) * blob::kNmsFactorSize, 0);
    if (count > 0 &&
        !ReadBlobChecked("NMSFACTOR", blobs->factors.data(),
                         static_cast<std::uint32_t>(blobs->factors.size()), str::kCantReadCalc))
        return 0;
    UpgradeNmsFactors(&record->factSize, count, &blobs->factors);
    if (!ReadBlobChecked("NOISESRC", blobs->source.data(), blob::kNoiseSourceSize,
                         str::kCantReadCalc))
        return 0;
    return 1;
}

bool CNmsTable::ReadNext(NmsRecord* record) {
    return ReadNextRecord(record);
}

bool CNmsTable::Append(NmsRecord& record, const std::vector<unsigned char>& waveBlock,
                       const std::array<unsigned char, blob::kNmsCondSize>& cond) {
    if (!AppendRecord(record, str::kCantCreateNms)) return 0;
    if (!WriteBlobChecked("WAVEDATA", waveBlock.data(),
                          static_cast<std::uint32_t>(waveBlock.size()), str::kCantCreateNms))
        return 0;
    return WriteBlobChecked("NMSCOND", cond.data(), blob::kNmsCondSize, str::kCantCreateNms);
}

DbStatus CNmsTable::ClearResult(NmsRecord& record) {
    CDbTransaction transaction(*this);
    DbStatus st = transaction.Status();
    if (st == db::kOk) st = WriteBlob("NMSFACTOR", "", 0);
    record.nNmsFact = 0;
    if (st == db::kOk) st = PackRecord(record, &m_buffer);
    if (st == db::kOk) st = ReplaceCurrent(m_buffer.data());
    if (st == db::kOk) st = transaction.Commit();
    return st == db::kNoRecord ? db::kNoMeasurement : st;
}

DbStatus CNmsTable::WriteResult(NmsRecord& record,
                                const std::array<unsigned char, blob::kNmsCondSize>& cond,
                                const std::vector<unsigned char>& factors,
                                const std::array<unsigned char, blob::kNoiseSourceSize>& source) {
    // The record is the measurement: a deleted one refuses the replace, and the staged blobs go.
    CDbTransaction transaction(*this);
    DbStatus st = transaction.Status();
    if (st == db::kOk) st = WriteBlob("NMSCOND", cond.data(), blob::kNmsCondSize);
    if (st == db::kOk)
        st = WriteBlob("NMSFACTOR", factors.data(), static_cast<std::uint32_t>(factors.size()));
    if (st != db::kOk) return st == db::kNoRecord ? db::kNoMeasurement : st;
    std::array<unsigned char, blob::kNoiseSourceSize> old{};
    std::uint32_t read = 0;
    ReadBlob("NOISESRC", old.data(), blob::kNoiseSourceSize, &read);
    std::array<unsigned char, blob::kNoiseSourceSize> next = source;
    if (old[16] == '=') std::memcpy(next.data() + 16, old.data() + 16, blob::kNoiseSourceSize - 16);
    next[blob::kNoiseSourceSize - 1] = 0;
    if ((st = WriteBlob("NOISESRC", next.data(), blob::kNoiseSourceSize)) != db::kOk) return st;
    record.condSize = static_cast<std::int32_t>(blob::kNmsCondSize);
    record.factSize = static_cast<std::int32_t>(blob::kNmsFactorSize);
    record.nNmsFact = static_cast<std::int32_t>(factors.size() / blob::kNmsFactorSize);
    if ((st = PackRecord(record, &m_buffer)) != db::kOk) return st;
    if ((st = ReplaceCurrent(m_buffer.data())) != db::kOk)
        return st == db::kNoRecord ? db::kNoMeasurement : st;
    return transaction.Commit();
}

bool CNsTmpTable::NextTemplateId(std::int32_t* id) {
    *id = 0;
    DbStatus st = SelectIndex(Index1());
    if (st == db::kOk) st = GoLast();
    m_buffer.assign(41, ' ');
    if (st == db::kOk) st = ReadCurrent(m_buffer.data());
    if (st == db::kNoRecord) return 1;  // empty table
    if (st != db::kOk) {
        ReportStoreError(str::kCantReadNsTmp, st);
        return 0;
    }
    *id = static_cast<std::int32_t>(
        std::strtol(std::string(m_buffer.data(), 8).c_str(), nullptr, 10) + 1);
    return 1;
}

bool CNsTmpTable::Read(long nsTmpId, NsTmpRecord* record, TemplateData* data) {
    int ok = nsTmpId == -1 ? ReadCurrentRecord(record) : ReadById(Index1(), nsTmpId, record);
    if (!ok || !data) return ok;
    data->fill(0);
    return ReadBlobChecked("NSTMPDATA", data->data(), blob::kNsTmpDataSize, str::kCantReadNsTmp);
}

bool CNsTmpTable::StartWalk() {
    DbStatus st = SelectIndex(Index1());
    if (st == db::kOk) st = GoFirst();
    if (st != db::kOk && st != db::kNoRecord) {
        ReportStoreError(str::kCantReadNsTmp, st);
        return 0;
    }
    return 1;
}

bool CNsTmpTable::FindByName(const std::string& name, bool* found) {
    std::string key = name.substr(0, 32);
    key.resize(32, ' ');
    *found = false;
    DbStatus st = SelectIndex(Index2());
    if (st == db::kOk) st = Find(key.data(), 32, found);
    if (st != db::kOk) {
        ReportStoreError(str::kCantReadNsTmp, st);
        return 0;
    }
    return 1;
}

bool CNsTmpTable::ReadNextWithData(NsTmpRecord* record, TemplateData* data, bool* failed) {
    if (failed) *failed = false;
    data->fill(0);
    std::uint32_t read = 0;
    DbStatus st = ReadBlob("NSTMPDATA", data->data(), blob::kNsTmpDataSize, &read);
    if (st == db::kNoRecord) return 0;  // the end of the walk
    if (st != db::kOk) {
        ReportStoreError(str::kCantReadNsTmp, st);
        if (failed) *failed = true;
        return 0;
    }
    if (ReadNextRecord(record)) return 1;
    if (failed) *failed = true;  // the blob was there, so its record should have been too
    return 0;
}

bool CNsTmpTable::Append(NsTmpRecord& record, const TemplateData* data) {
    if (!AppendRecord(record, str::kCantWriteNsTmp)) return 0;
    return data ? WriteBlobChecked("NSTMPDATA", data->data(), blob::kNsTmpDataSize,
                                   str::kCantWriteNsTmp)
                : 1;
}

bool CNsTmpTable::Update(NsTmpRecord& record, const TemplateData* data) {
    DbStatus st = PackRecord(record, &m_buffer);
    if (st == db::kOk) st = SelectIndex(Index1());
    if (st == db::kOk) st = ReplaceByKey(m_buffer.data(), 8, m_buffer.data());
    if (st != db::kOk) {
        ReportStoreError(str::kCantWriteNsTmp, st);
        return 0;
    }
    return data ? WriteBlobChecked("NSTMPDATA", data->data(), blob::kNsTmpDataSize,
                                   str::kCantWriteNsTmp)
                : 1;
}

bool CNsTmpTable::Delete(long nsTmpId) {
    std::string key = FormatKey(nsTmpId);
    DbStatus st = SelectIndex(Index1());
    if (st == db::kOk) st = DeleteByKey(key.data(), 8, 1);
    if (st != db::kOk) {
        ReportStoreError(str::kCantWriteNsTmp, st);
        return 0;
    }
    return 1;
}

bool CAcParamTable::Read(long impulseId, AcParamRecord* record) {
    return ReadById(Index1(), impulseId, record, true);
}

bool CStoreTable::ExistsById(long id) {
    std::string key = FormatKey(id);
    bool found = false;
    m_readFailed = false;
    DbStatus st = SelectIndex(IdIndex());
    if (st == db::kOk) st = Find(key.data(), 8, &found);
    if (st != db::kOk) {
        ReportStoreError(str::kCantFindCalc, st);
        m_readFailed = true;
        return 0;
    }
    return found ? 1 : 0;
}

bool CAcParamTable::Exists(long impulseId) {
    return ExistsById(impulseId);
}

bool CImpulseTable::Exists(long impulseId) {
    return ExistsById(impulseId);
}

bool CAcfTable::Exists(long acfId) {
    return ExistsById(acfId);
}

namespace {
// A result is written only for a measurement that is there when it is written.
template <class MeasurementTable>
DbStatus MeasurementThere(long id) {
    MeasurementTable measurements;
    return measurements.Open() && measurements.Exists(id) ? db::kOk : db::kNoMeasurement;
}
}  // namespace

bool CAcParamTable::Update(AcParamRecord& record) {
    DbStatus st = MeasurementThere<CImpulseTable>(record.impulseId);
    if (st == db::kOk) st = PackRecord(record, &m_buffer);
    if (st == db::kOk) st = SelectIndex(Index1());
    if (st == db::kOk) st = ReplaceByKey(m_buffer.data(), 8, m_buffer.data());
    if (st != db::kOk) {
        ReportStoreError(str::kCantWriteCalc, st);
        return 0;
    }
    return 1;
}

namespace {
// Replace-or-append by the key that opens the packed record.
DbStatus WriteByLeadingKey(CDbTable& table, int index, const std::vector<char>& buffer) {
    bool found = false;
    DbStatus st = table.SelectIndex(index);
    if (st == db::kOk) st = table.Find(buffer.data(), 8, &found);
    if (st != db::kOk) return st;
    return found ? table.ReplaceCurrent(buffer.data()) : table.Append(buffer.data());
}
}  // namespace

DbStatus CAcParamTable::Write(AcParamRecord& record) {
    DbStatus st = MeasurementThere<CImpulseTable>(record.impulseId);
    if (st == db::kOk) st = PackRecord(record, &m_buffer);
    if (st != db::kOk) return st;
    // One record commits on its own (journalled replace, or append by its count).
    return WriteByLeadingKey(*this, Index1(), m_buffer);
}

bool CAcfFactTable::Read(long acfId, AcfFactRecord* record, AcfFactBlobs* blobs) {
    if (!ReadById(Index1(), acfId, record, true)) return 0;
    if (!blobs) return 1;
    if (!ReadBlobChecked("ACFCOND2", blobs->cond.data(), blob::kAcfCondSize, str::kCantReadCalc))
        return 0;
    std::size_t count = static_cast<std::size_t>(std::clamp(record->nAcfFact, 0, kMaxAcfFrames));
    blobs->factors.assign(count * blob::kAcfFactorSize, 0);
    blobs->peaks.assign(count * blob::kAcfPeakSize, 0);
    if (count == 0) return 1;
    if (!ReadBlobChecked("ACFFACTOR", blobs->factors.data(),
                         static_cast<std::uint32_t>(blobs->factors.size()), str::kCantReadCalc))
        return 0;
    return ReadBlobChecked(nullptr, blobs->peaks.data(),
                           static_cast<std::uint32_t>(blobs->peaks.size()), str::kCantReadCalc);
}

bool CAcfFactTable::Exists(long acfId) {
    return ExistsById(acfId);
}

DbStatus CAcfFactTable::Write(AcfFactRecord& record, const AcfFactBlobs& blobs) {
    std::size_t count = blobs.factors.size() / blob::kAcfFactorSize;
    if (blobs.peaks.size() != count * blob::kAcfPeakSize || count > kMaxAcfFrames)
        return db::kBadArgument;
    record.condSize = static_cast<std::int32_t>(blob::kAcfCondSize);
    record.factSize = static_cast<std::int32_t>(blob::kAcfFactSizeField);
    record.nAcfFact = static_cast<std::int32_t>(count);
    DbStatus st = MeasurementThere<CAcfTable>(record.acfId);
    if (st == db::kOk) st = PackRecord(record, &m_buffer);
    if (st != db::kOk) return st;
    // The record, its conditions, factors and peaks switch together or not at all.
    CDbTransaction transaction(*this);
    if ((st = transaction.Status()) != db::kOk) return st;
    st = WriteByLeadingKey(*this, Index1(), m_buffer);
    if (st == db::kOk) st = WriteBlob("ACFCOND2", blobs.cond.data(), blob::kAcfCondSize);
    if (st == db::kOk)
        st = WriteBlob("ACFFACTOR", blobs.factors.data(),
                       static_cast<std::uint32_t>(blobs.factors.size()));
    if (st == db::kOk && count > 0)
        st = WriteBlob(nullptr, blobs.peaks.data(), static_cast<std::uint32_t>(blobs.peaks.size()));
    if (st != db::kOk) return st;
    return transaction.Commit();
}

// ---------------------------------------------------------------------------------------------

namespace {
// A stored result is at most this large; a larger size is damage, not a result to allocate for.
constexpr std::uint32_t kMaxIsoBlob = 1u << 20;
constexpr const char* kIsoSlotA = "ISODATAA";
constexpr const char* kIsoSlotB = "ISODATAB";

std::string Trimmed(const std::string& text) {
    std::size_t end = text.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}
}  // namespace

bool CIsoParamTable::ReadRecord(long impulseId, IsoParamRecord* record) {
    if (!ReadById(Index1(), impulseId, record, true)) return 0;
    record->stampA = Trimmed(record->stampA);
    record->stampB = Trimmed(record->stampB);
    return 1;
}

DbStatus CIsoParamTable::ReadSlot(const char* field, IsoResultRecord* result) {
    std::uint32_t size = 0;
    DbStatus st = BlobSize(field, &size);
    if (st != db::kOk) return st;
    if (size == 0 || size > kMaxIsoBlob) return db::kBlobDamaged;
    std::vector<unsigned char> data(size);
    std::uint32_t read = 0;
    st = ReadBlob(field, data.data(), size, &read);
    if (st == db::kOk && read != size) st = db::kBlobDamaged;
    if (st == db::kOk) st = DecodeIsoResult(data.data(), data.size(), result);
    return st;
}

bool CIsoParamTable::Read(long impulseId, const std::string& stamp, IsoResultRecord* result) {
    IsoParamRecord record;
    if (stamp.empty() || !ReadRecord(impulseId, &record)) return 0;
    const char* field = record.stampA == stamp   ? kIsoSlotA
                        : record.stampB == stamp ? kIsoSlotB
                                                 : nullptr;
    if (!field) return 0;
    result->impulseId = static_cast<std::int32_t>(impulseId);
    if (DbStatus st = ReadSlot(field, result); st != db::kOk) {
        ReportStoreError(str::kCantReadCalc, st);
        m_readFailed = true;
        return 0;
    }
    return 1;
}

DbStatus CIsoParamTable::Write(const IsoResultRecord& result, const std::string& stamp,
                               const std::string& keepStamp) {
    if (stamp.empty() || result.bands.size() > 999) return db::kBadArgument;
    DbStatus st = MeasurementThere<CImpulseTable>(result.impulseId);
    if (st != db::kOk) return st;
    std::vector<unsigned char> kept;
    std::string keptStamp;
    IsoParamRecord old;
    const bool hadRow = !keepStamp.empty() && ReadRecord(result.impulseId, &old);
    if (!keepStamp.empty() && !hadRow && ReadFailed()) return db::kIoError;
    if (hadRow) {
        const char* field = old.stampA == keepStamp   ? kIsoSlotA
                            : old.stampB == keepStamp ? kIsoSlotB
                                                      : nullptr;
        IsoResultRecord previous;
        // A damaged old slot is not kept: there is nothing whole to fall back to.
        if (field && ReadSlot(field, &previous) == db::kOk) {
            EncodeIsoResult(previous, &kept);
            keptStamp = keepStamp;
        }
    }
    IsoParamRecord record;
    record.impulseId = result.impulseId;
    record.channels = result.channels;
    record.bandSystem = result.bandSystem;
    record.nBands = static_cast<std::int32_t>(result.bands.size());
    record.stampA = stamp;
    record.stampB = keptStamp;
    std::vector<unsigned char> data;
    EncodeIsoResult(result, &data);
    if ((st = PackRecord(record, &m_buffer)) != db::kOk) return st;
    // The record and both slots switch together or not at all.
    CDbTransaction transaction(*this);
    if ((st = transaction.Status()) != db::kOk) return st;
    st = WriteByLeadingKey(*this, Index1(), m_buffer);
    if (st == db::kOk)
        st = WriteBlob(kIsoSlotA, data.data(), static_cast<std::uint32_t>(data.size()));
    if (st == db::kOk)
        st = WriteBlob(kIsoSlotB, kept.data(), static_cast<std::uint32_t>(kept.size()));
    if (st != db::kOk) return st;
    return transaction.Commit();
}

DbStatus WriteImpulseResult(CAcParamTable& acparams, CIsoParamTable& isoparams,
                            AcParamRecord& record, const IsoResultRecord* iso) {
    if (iso) {
        if (iso->impulseId != record.impulseId) return db::kBadArgument;
        AcParamRecord present;
        std::string keep;
        if (acparams.Read(record.impulseId, &present))
            keep = IsoStampOf(present);
        else if (acparams.ReadFailed())
            return db::kIoError;
        if (DbStatus st = isoparams.Write(*iso, IsoStampOf(record), keep); st != db::kOk) return st;
    }
    return acparams.Write(record);
}

// ---------------------------------------------------------------------------------------------

namespace {
// Deletes the results of every measurement of a folder, then the measurements. ExtraResults
// is a second result table of the same key, or void.
template <class MeasurementTable, class Measurement, class ResultTable, class ExtraResults = void>
bool DeleteMeasurementsWithResults(long folderId, const std::string& key,
                                   int Measurement::*idMember) {
    MeasurementTable measurements;
    ResultTable results;
    if (!measurements.Open() || !results.Open()) return false;
    long count = 0;
    if (!measurements.SetScopeTo(folderId, &count)) return false;
    std::vector<long> ids;
    Measurement m;
    for (long i = 0; i < count && measurements.ReadNext(&m); ++i)
        ids.push_back(m.*idMember);
    DbStatus st = db::kOk;
    if constexpr (!std::is_void_v<ExtraResults>) {
        // A table never made has no rows to delete, and is not made for it.
        std::error_code ec;
        if (std::filesystem::exists(DataPath() + "/" + IsoParamSpec().name + ".DBF", ec)) {
            ExtraResults extra;
            if (!extra.Open()) return false;
            st = extra.SelectIndex(extra.Index1());
            for (std::size_t i = 0; st == db::kOk && i < ids.size(); ++i) {
                std::string k = FormatKey(ids[i]);
                st = extra.DeleteByKey(k.data(), 8, 1);
            }
        }
    }
    if (st == db::kOk) st = results.SelectIndex(results.Index1());
    for (std::size_t i = 0; st == db::kOk && i < ids.size(); ++i) {
        std::string k = FormatKey(ids[i]);
        st = results.DeleteByKey(k.data(), 8, 1);  // a measurement without a result is fine
    }
    if (st != db::kOk) {
        ShowStoreMessage(str::kCantDeleteImpulseData);
        return false;
    }
    st = measurements.SetScope(nullptr, nullptr);
    if (st == db::kOk) st = measurements.SelectIndex(measurements.Index1());
    if (st == db::kOk) st = measurements.DeleteByKey(key.data(), 8, 1);
    if (st != db::kOk) {
        ShowStoreMessage(str::kCantDeleteImpulseData);
        return false;
    }
    return true;
}

// Deletes measurements by ID, each after its result (`results` null for a kind whose results
// live in the measurement's own record).
bool DeleteMeasurementsById(CStoreTable& measurements, CStoreTable* results,
                            const std::vector<long>& ids) {
    if (!measurements.Open() || (results && !results->Open())) return false;
    DbStatus st = measurements.SetScope(nullptr, nullptr);
    if (results && st == db::kOk) st = results->SetScope(nullptr, nullptr);
    for (long id : ids) {
        const std::string k = FormatKey(id);
        if (results && st == db::kOk) st = results->SelectIndex(results->Index1());
        if (results && st == db::kOk) st = results->DeleteByKey(k.data(), 8, 1);
        if (st == db::kOk) st = measurements.SelectIndex(measurements.Index2());
        if (st == db::kOk) st = measurements.DeleteByKey(k.data(), 8, 1);
        if (st != db::kOk) break;
    }
    if (st != db::kOk) {
        ShowStoreMessage(str::kCantDeleteImpulseData);
        return false;
    }
    return true;
}
}  // namespace

bool DeleteMeasurements(char kind, const std::vector<long>& ids) {
    if (kind == 'I') {
        // The ISO rows go first: a row without its ACPARAM record is what check repairs, the
        // reverse would be a result shown for a deleted measurement.
        std::error_code ec;
        if (std::filesystem::exists(DataPath() + "/" + IsoParamSpec().name + ".DBF", ec)) {
            CIsoParamTable iso;
            if (!iso.Open()) return false;
            DbStatus st = iso.SelectIndex(iso.Index1());
            for (std::size_t i = 0; st == db::kOk && i < ids.size(); ++i) {
                const std::string k = FormatKey(ids[i]);
                st = iso.DeleteByKey(k.data(), 8, 1);
            }
            if (st != db::kOk) {
                ShowStoreMessage(str::kCantDeleteImpulseData);
                return false;
            }
        }
        CImpulseTable measurements;
        CAcParamTable results;
        return DeleteMeasurementsById(measurements, &results, ids);
    }
    if (kind == 'A') {
        CAcfTable measurements;
        CAcfFactTable results;
        return DeleteMeasurementsById(measurements, &results, ids);
    }
    if (kind == 'N') {
        CNmsTable measurements;
        return DeleteMeasurementsById(measurements, nullptr, ids);
    }
    return false;
}

bool DeleteFolder(long folderId) {
    CFolderTable folders;
    if (!folders.Open()) return 0;
    std::string key = FormatKey(folderId);
    FolderRecord folder;
    if (!folders.Read(folderId, &folder)) {
        ShowStoreMessage(str::kCantFindFolder);
        return 0;
    }
    // The folder record goes last: a kill before it leaves the folder with fewer measurements,
    // never measurements that a later folder of the same ID would show.
    if (folder.type == "N") {
        CNmsTable nms;
        if (!nms.Open()) return 0;
        DbStatus st = nms.SelectIndex(nms.Index1());
        if (st == db::kOk) st = nms.DeleteByKey(key.data(), 8, 1);
        if (st != db::kOk) {
            ShowStoreMessage(str::kCantDeleteImpulseData);
            return 0;
        }
    } else if (folder.type == "I") {
        if (!DeleteMeasurementsWithResults<CImpulseTable, ImpulseRecord, CAcParamTable,
                                           CIsoParamTable>(folderId, key,
                                                           &ImpulseRecord::impulseId))
            return 0;
    } else if (folder.type == "A") {
        if (!DeleteMeasurementsWithResults<CAcfTable, AcfRecord, CAcfFactTable>(folderId, key,
                                                                                &AcfRecord::acfId))
            return 0;
    }
    if (folders.SelectIndex(folders.Index1()) != db::kOk ||
        folders.DeleteByKey(key.data(), 8, 0) != db::kOk) {
        ShowStoreMessage(str::kCantDeleteFolder);
        return 0;
    }
    return 1;
}

namespace {
// Rewrites one record found by its ID index, starting from its stored bytes so that the fields
// `change` leaves alone, the blob pointers among them, stay as they are.
template <class Record, class Change>
bool RewriteRecord(CStoreTable& table, int index, long id, Change change, int message) {
    int length = 0;
    const std::string key = FormatKey(id);
    bool found = false;
    DbStatus st = table.RecordLength(&length);
    if (st == db::kOk && length < 2) st = db::kBadArgument;
    std::vector<char> buffer(static_cast<std::size_t>(std::max(length, 2) - 1));
    const std::vector<FieldDescriptor>* fields = nullptr;
    if (st == db::kOk) st = table.SetScope(nullptr, nullptr);
    if (st == db::kOk) st = table.SelectIndex(index);
    if (st == db::kOk) st = table.Seek(key.data(), 8, buffer.data(), &found);
    if (st == db::kOk && !found) st = db::kNoRecord;
    Record record;
    if (st == db::kOk) st = table.Fields(&fields);
    if (st == db::kOk) st = Unpack(*fields, buffer.data(), &record);
    if (st == db::kOk) {
        change(record);
        st = Pack(*fields, record, buffer.data());
    }
    // One replaced record commits on its own.
    if (st == db::kOk) st = table.ReplaceCurrent(buffer.data());
    if (st != db::kOk) {
        ReportStoreError(message, st);
        return false;
    }
    return true;
}
}  // namespace

bool UpdateFolderFields(const FolderRecord& folder) {
    CFolderTable folders;
    if (!folders.Open()) return false;  // the index handles come with the open table
    return RewriteRecord<FolderRecord>(
        folders, folders.IdIndexForEdit(), folder.folderId,
        [&](FolderRecord& r) {
            r.name = folder.name;
            r.place = folder.place;
            r.date = folder.date;
            r.title = folder.title;
            r.comment = folder.comment;
            r.scale = folder.scale;
        },
        str::kCantReadFolder);
}

bool SetMeasurementText(char kind, long id, const std::string& title, const std::string& comment) {
    auto set = [&](auto& r) {
        r.title = title;
        r.comment = comment;
    };
    if (kind == 'I') {
        CImpulseTable t;
        if (!t.Open()) return false;
        return RewriteRecord<ImpulseRecord>(t, t.IdIndexForEdit(), id, set,
                                            str::kCantCreateImpulse);
    }
    if (kind == 'A') {
        CAcfTable t;
        if (!t.Open()) return false;
        return RewriteRecord<AcfRecord>(t, t.IdIndexForEdit(), id, set, str::kCantCreateAcf);
    }
    return false;
}

}  // namespace vesk
