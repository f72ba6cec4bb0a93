// The store's tables: where they lie, their schemas and indexes, how each is opened, created
// and brought up to date, and the record operations the analyses call.
//
// Success, one rule by who reports a failure:
// - An operation that shows its own store message returns bool: true when the record was
//   delivered or written. A read that gives false tells an absent record or the end of a walk
//   from a failure by ReadFailed().
// - A result write whose caller must tell a vanished measurement (db::kNoMeasurement) from a
//   failure returns the engine's DbStatus, db::kOk when done, and shows nothing: the caller
//   reports it with ReportStoreError. The engine below (db_engine.h) returns DbStatus throughout.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "store/db_engine.h"
#include "store/iso_result.h"
#include "store/records.h"

namespace vesk {

// Connects the engine and sets the data path to "<workingDir>/DATA".
bool ConnectStore(const std::string& workingDir);
// Uses another folder as the store (command line --store); creates it when missing.
bool ConnectStoreAt(const std::string& dataPath);
const std::string& DataPath();
std::string StorePath(const std::string& fileName);  // "<data path>/<file name>"

struct IndexSpec {
    const char* file;
    const char* keyField;
    bool unique;
    int createMessage;
};

struct TableSpec {
    const char* name;  // "FOLDER"
    std::vector<FieldDescriptor> schema;
    int totalWidth;
    std::vector<IndexSpec> indexes;
    bool resultTable;  // ACPARAM, ACFFACT: an old layout is deleted, not converted
    int convertQuestion, createMessage, openMessage, convertMessage, readMessage;
};

const TableSpec& FolderSpec();
const TableSpec& ImpulseSpec();
const TableSpec& AcfSpec();
const TableSpec& NmsSpec();
const TableSpec& NsTmpSpec();
const TableSpec& AcParamSpec();
const TableSpec& AcfFactSpec();
const TableSpec& IsoParamSpec();

// A table of the store with its layout check, indexes and cached field descriptors.
class CStoreTable : public CDbTable {
  public:
    // true when open with its indexes, false after a message or a Cancel. A table never made is
    // created when the store may be written, else read as empty; a .DBF missing beside other
    // files of its table is reported, never replaced.
    bool Open(const std::string& dataPath = DataPath());
    const TableSpec& Spec() const { return m_spec; }
    int Index1() const { return m_index[0]; }
    int Index2() const { return m_index[1]; }
    // The index keyed by the record's own ID.
    int IdIndexForEdit() const { return IdIndex(); }
    // The field descriptors, loaded on first use and kept until the table closes.
    DbStatus Fields(const std::vector<FieldDescriptor>** fields);

    template <class Record>
    DbStatus PackRecord(Record& record, std::vector<char>* buffer) {
        const std::vector<FieldDescriptor>* f = nullptr;
        DbStatus st = Fields(&f);
        if (st != db::kOk) return st;
        buffer->assign(static_cast<std::size_t>(m_recordLength), ' ');
        return Pack(*f, record, buffer->data());
    }
    template <class Record>
    DbStatus UnpackRecord(const std::vector<char>& buffer, Record* record) {
        const std::vector<FieldDescriptor>* f = nullptr;
        DbStatus st = Fields(&f);
        if (st != db::kOk) return st;
        return Unpack(*f, buffer.data(), record);
    }

    // Restricts index 1 to a folder (or another key value); gives the count.
    bool SetScopeTo(long value, long* count);
    // The next free ID of the ID index: last key + 1, or 1 on an empty table. IMPULSE and ACF
    // also pass the last ID of their result table.
    bool NextId(std::int32_t* id);
    // Whether the last record or blob read failed (after its message) rather than finding no
    // record or the end of the walk.
    bool ReadFailed() const { return m_readFailed; }

  protected:
    explicit CStoreTable(const TableSpec& spec) : m_spec(spec) {}
    // Read by ID through the ID index (the `readMessage` on failure; missing keys are silent).
    template <class Record>
    bool ReadById(int index, long id, Record* record, bool silent3006 = false);
    template <class Record>
    bool ReadCurrentRecord(Record* record);
    template <class Record>
    bool ReadNextRecord(Record* record);
    template <class Record>
    bool AppendRecord(Record& record, int message);
    // Whether the ID index holds the ID ("Can't find calculation file." on failure).
    bool ExistsById(long id);
    bool WriteBlobChecked(const char* field, const void* data, std::uint32_t size, int message);
    bool ReadBlobChecked(const char* field, void* data, std::uint32_t size, int message);
    int IdIndex() const { return m_index[1] ? m_index[1] : m_index[0]; }

    std::vector<char> m_buffer;
    bool m_readFailed = false;

  private:
    bool OpenOnce(const std::string& dataPath, bool* again);
    bool LastResultId(bool impulse, long* last);
    const TableSpec& m_spec;
    int m_index[2] = {0, 0};
    int m_recordLength = 0;
    std::vector<FieldDescriptor> m_fields;
};

class CFolderTable : public CStoreTable {
  public:
    CFolderTable() : CStoreTable(FolderSpec()) {}
    bool Read(long folderId, FolderRecord* record);
    bool ReadNext(FolderRecord* record);
    bool Append(FolderRecord& record);  // the measurement suite's part, used by import
};

// The samples of a measurement as they are stored (see samples.h).
struct SampleBlock;

class CImpulseTable : public CStoreTable {
  public:
    CImpulseTable() : CStoreTable(ImpulseSpec()) {}
    // ID -1 reads the current record. MESTIME of 50 or more decodes with the no-MLS flag.
    bool Read(long impulseId, ImpulseRecord* record);
    bool ReadNext(ImpulseRecord* record);
    bool Exists(long impulseId);
    bool Append(ImpulseRecord& record, const std::vector<unsigned char>& waveBlock);
};

class CAcfTable : public CStoreTable {
  public:
    CAcfTable() : CStoreTable(AcfSpec()) {}
    bool Read(long acfId, AcfRecord* record);
    bool ReadNext(AcfRecord* record);
    bool Exists(long acfId);
    bool Append(AcfRecord& record, const std::vector<unsigned char>& waveBlock);
};

// The analysis blobs of a noise measurement, upgraded to the current layout.
struct NmsBlobs {
    std::array<unsigned char, blob::kNmsCondSize> cond{};
    std::vector<unsigned char> factors;  // nNmsFact records of 40 bytes
    std::array<unsigned char, blob::kNoiseSourceSize> source{};
};

class CNmsTable : public CStoreTable {
  public:
    CNmsTable() : CStoreTable(NmsSpec()) {}
    // ID -1 reads the current record; blobs may be null.
    bool Read(long nmsId, NmsRecord* record, NmsBlobs* blobs = nullptr);
    bool ReadNext(NmsRecord* record);
    bool Append(NmsRecord& record, const std::vector<unsigned char>& waveBlock,
                const std::array<unsigned char, blob::kNmsCondSize>& cond);
    // Marks the current record as not analysed (empty NMSFACTOR, NNMSFACT 0), for a result whose
    // parts disagree.
    DbStatus ClearResult(NmsRecord& record);
    // Writes an analysis on the current record as one unit: blobs, kept hand-given name and
    // the record; kNoMeasurement when the record was deleted.
    DbStatus WriteResult(NmsRecord& record,
                         const std::array<unsigned char, blob::kNmsCondSize>& cond,
                         const std::vector<unsigned char>& factors,
                         const std::array<unsigned char, blob::kNoiseSourceSize>& source);
};

class CNsTmpTable : public CStoreTable {
  public:
    using TemplateData = std::array<unsigned char, blob::kNsTmpDataSize>;
    CNsTmpTable() : CStoreTable(NsTmpSpec()) {}
    // true with the next ID (0 for an empty table), false after a failure.
    bool NextTemplateId(std::int32_t* id);
    bool Read(long nsTmpId, NsTmpRecord* record, TemplateData* data = nullptr);
    // Positions on the first template in ID order, for ReadNextWithData.
    bool StartWalk();
    // Positions on the first template whose name (padded with blanks to 32) matches; read it
    // with Read(-1, ...). false after a message.
    bool FindByName(const std::string& name, bool* found);
    // The current template's data and fields, then on to the next; false at the end or after a
    // message (then *failed is set).
    bool ReadNextWithData(NsTmpRecord* record, TemplateData* data, bool* failed = nullptr);
    bool Append(NsTmpRecord& record, const TemplateData* data);
    bool Update(NsTmpRecord& record, const TemplateData* data);
    bool Delete(long nsTmpId);
};

class CAcParamTable : public CStoreTable {
  public:
    CAcParamTable() : CStoreTable(AcParamSpec()) {}
    bool Read(long impulseId, AcParamRecord* record);
    bool Exists(long impulseId);
    bool Update(AcParamRecord& record);
    // Replaces the record with the same IMPULSEID, or appends it; kNoMeasurement when the
    // IMPULSE record is gone.
    DbStatus Write(AcParamRecord& record);
};

struct AcfFactBlobs {
    std::array<unsigned char, blob::kAcfCondSize> cond{};
    std::vector<unsigned char> factors;  // nAcfFact records of 40 bytes
    std::vector<unsigned char> peaks;    // nAcfFact records of 80 bytes
};

// The most frames a running-ACF result holds: NACFFACT is a 4-digit field.
constexpr std::int32_t kMaxAcfFrames = 9999;

class CAcfFactTable : public CStoreTable {
  public:
    CAcfFactTable() : CStoreTable(AcfFactSpec()) {}
    bool Read(long acfId, AcfFactRecord* record, AcfFactBlobs* blobs = nullptr);
    bool Exists(long acfId);
    // Sets CONDSIZE, FACTSIZE and NACFFACT and writes the record with its blobs as one unit;
    // kNoMeasurement when the ACF record is gone.
    DbStatus Write(AcfFactRecord& record, const AcfFactBlobs& blobs);
};

// The fields of an ISOPARAM record: the measurement, and two slots of result blobs, each with the
// stamp (IsoStampOf) of the ACPARAM record it belongs to. Slot A holds the newest result, slot B
// the one it replaced, so the ACPARAM record finds its own result whichever of the two writes a
// kill came between.
struct IsoParamRecord {
    std::int32_t impulseId = 0, channels = 0, bandSystem = 0, nBands = 0;  // of slot A
    std::string stampA, stampB;
    void Members(MemberList& m) { m(impulseId)(channels)(bandSystem)(nBands)(stampA)(stampB); }
};

class CIsoParamTable : public CStoreTable {
  public:
    CIsoParamTable() : CStoreTable(IsoParamSpec()) {}
    // The result stored under `stamp` (slot A first); false when none (ReadFailed() tells a
    // failure or a damaged blob, after its message, from an absent result).
    bool Read(long impulseId, const std::string& stamp, IsoResultRecord* result);
    bool ReadRecord(long impulseId, IsoParamRecord* record);
    // The blob of a slot ("ISODATAA" or "ISODATAB") of the current record, decoded.
    DbStatus ReadSlot(const char* field, IsoResultRecord* result);
    // Writes `result` into slot A under `stamp` and moves the slot that belongs to `keepStamp`
    // (the ACPARAM record still in the store) into slot B, as one transaction; kNoMeasurement
    // when the IMPULSE record is gone.
    DbStatus Write(const IsoResultRecord& result, const std::string& stamp,
                   const std::string& keepStamp);
};

// Writes a measurement's ACPARAM record and, when `iso` is given, its ISO result, so that a kill
// at any write leaves the measurement's old pair or its new one: the ISO result goes first
// beside the old one, then the ACPARAM record commits the pair. kNoMeasurement when the IMPULSE
// record is gone; nothing is reported.
DbStatus WriteImpulseResult(CAcParamTable& acparams, CIsoParamTable& isoparams,
                            AcParamRecord& record, const IsoResultRecord* iso);

// The records of a folder in the table's folder order (through its FOLDERID index), read before
// anything else moves the table; false when it cannot be opened, scoped or read to its end
// (after the store's message).
template <class Table, class Record>
bool ReadFolderRecords(Table& table, long folderId, std::vector<Record>* out) {
    long count = 0;
    if ((!table.IsOpen() && !table.Open()) || !table.SetScopeTo(folderId, &count)) return false;
    out->clear();
    Record r;
    while (table.ReadNext(&r))
        out->push_back(r);
    return !table.ReadFailed();
}

// Deletes a folder with all its measurements and results, the folder record last; true when done.
bool DeleteFolder(long folderId);
// Deletes measurements of a folder's kind ('I', 'A', 'N') by ID, each with its results and
// blobs, the result first; an ID that is gone already is no failure. true when done.
bool DeleteMeasurements(char kind, const std::vector<long>& ids);
// Replaces a folder's name, place, date, title, comment and scale; kind and ID stay.
bool UpdateFolderFields(const FolderRecord& folder);
// Sets the title and comment of an impulse-response ('I') or running-sound ('A') measurement;
// its samples and other fields stay.
bool SetMeasurementText(char kind, long id, const std::string& title, const std::string& comment);

}  // namespace vesk
