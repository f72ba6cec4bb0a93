// Table engine: dBase tables (.DBF) with ordered indexes (.EDX) and blob files (.BIN).
//
// Every operation returns a 16-bit status, 0 for success; out-values come back through
// pointers. A table object opened on a file shares that file's state with every other table
// object of this process opened on it, and holds an exclusive lock on it against other processes.
//
// What survives what:
//  - a killed process: every operation that returned is intact; a record replace is journalled,
//    an append commits by its header count, a blob commits by switching its directory entry, a
//    transaction (several records and blobs of one table) commits by its complete journal, and
//    indexes that were not written back at close are rebuilt from the table when next opened;
//  - power loss: a table that was closed after its last change was synced (data, blobs, indexes,
//    folder entry); changes made since a table was last closed may be lost, and a torn blob is
//    detected by its checksum and reported as damaged.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace vesk {

using DbStatus = std::uint16_t;

namespace db {
constexpr DbStatus kOk = 0;
constexpr DbStatus kNotConnected = 2015;
constexpr DbStatus kTableNotOpen = 2016;
constexpr DbStatus kNoMemory = 3001;
constexpr DbStatus kNoSuchFile = 3003;
constexpr DbStatus kKeyAbsent = 3006;
constexpr DbStatus kNoRecord = 3009;
constexpr DbStatus kBadField = 3018;
// Statuses of this engine beyond the interface's own.
constexpr DbStatus kFileDamaged = 3030;    // header, lengths or counts do not fit the file
constexpr DbStatus kLocked = 3031;         // another process holds the table
constexpr DbStatus kIoError = 3032;        // the operating system refused a read or write
constexpr DbStatus kValueTooWide = 3033;   // a value does not fit its field
constexpr DbStatus kDuplicateKey = 3034;   // a unique index already holds the key
constexpr DbStatus kBadArgument = 3035;    // a caller passed something the engine cannot use
constexpr DbStatus kBlobDamaged = 3036;    // a blob pointer or its data is not valid
constexpr DbStatus kTableFull = 3037;      // more records than the blob directory addresses
constexpr DbStatus kFileExists = 3038;     // a file of a table to be created is already there
constexpr DbStatus kNoMeasurement = 3039;  // a result names a measurement the store does not hold
constexpr DbStatus kReadOnlyStore = 3040;  // the command only reads the store
}  // namespace db

// Names a status for messages and logs.
const char* DbStatusText(DbStatus status);

struct FieldDescriptor {
    char name[11] = {};  // zero-terminated
    char type = 'C';     // C text, N decimal, I integer, B blob; D and L are kept as C
    std::int16_t width = 0;
    std::int16_t decimals = 0;
};

FieldDescriptor MakeField(const char* name, char type, int width, int decimals = 0);

class CDbConnection {
  public:
    DbStatus Connect(const char* applicationName);
    DbStatus SetDataFolder(const std::string& folder);
    void Close() { m_connected = false; }
    bool IsConnected() const { return m_connected; }
    const std::string& DataFolder() const { return m_dataFolder; }

    // A store opened for reading only creates no table, writes no index and changes nothing
    // but finishes a committed change whose journal survived a kill.
    void SetWritable(bool writable) { m_writable = writable; }
    bool Writable() const { return m_writable; }

    DbStatus DeleteFile(const std::string& path);
    DbStatus RenameFile(const std::string& from, const std::string& to);

  private:
    bool m_connected = false;
    bool m_writable = true;
    std::string m_dataFolder;
};

// The process-wide connection.
CDbConnection& TheDbConnection();

// How long an opener waits for another process to release a table (milliseconds).
void SetLockWaitMilliseconds(int milliseconds);

namespace detail {
class TableFile;
}

class CDbTable {
  public:
    explicit CDbTable(CDbConnection& connection = TheDbConnection());
    virtual ~CDbTable();
    CDbTable(const CDbTable&) = delete;
    CDbTable& operator=(const CDbTable&) = delete;

    bool IsOpen() const { return m_file != nullptr; }

    DbStatus Open(const std::string& path);
    // Refuses (kFileExists) when the .DBF, .BIN or .JNL of the table is already there.
    DbStatus Create(const std::string& path, const FieldDescriptor* fields, int count);
    // An empty table of that layout held in memory only, for a read-only look at a table that
    // was never made; it touches no file and refuses every change.
    DbStatus OpenEmpty(const std::string& path, const FieldDescriptor* fields, int count);
    DbStatus Close();

    // Index handles are small positive numbers, unique within the table object.
    DbStatus OpenIndex(const std::string& path, int* handle);
    DbStatus CreateIndex(const std::string& path, const char* keyField, bool unique, int* handle);
    DbStatus SelectIndex(int handle);  // 0 selects record order

    // Positions on the first record whose key starts with the given bytes.
    DbStatus Find(const char* key, int length, bool* found);
    DbStatus Seek(const char* key, int length, char* buffer, bool* found);
    DbStatus ReadCurrent(char* buffer);
    // Reads the record at the position and moves on; *read is 0 at the end.
    DbStatus ReadNext(int count, char* buffer, int* read);
    DbStatus Skip(int count);
    DbStatus GoFirst();
    DbStatus GoLast();
    DbStatus AtEnd(bool* atEnd);

    // Buffers hold the fields' text back to back, RecordLength() - 1 bytes.
    DbStatus Append(const char* buffer);
    DbStatus ReplaceCurrent(const char* buffer);
    DbStatus ReplaceByKey(const char* key, int length, const char* buffer);
    // flag 0 deletes the first record with the key, 1 every record with it.
    DbStatus DeleteByKey(const char* key, int length, int flag);

    // "#handle=value" limits reads to the records whose key in that index is the value;
    // nullptr clears. Positions on the first record and gives the count.
    DbStatus SetScope(const char* expression, long* count);
    // "FIELD=VALUE" skips records whose field differs; nullptr clears.
    DbStatus SetFilter(const char* expression);

    DbStatus FieldCount(int* count);
    DbStatus Descriptor(int index, FieldDescriptor* descriptor);  // index from 1
    DbStatus RecordLength(int* length);                           // field widths + 1

    // Blobs of the current record. A call with no field name continues the previous call's
    // blob after the bytes already moved.
    DbStatus ReadBlob(const char* field, void* buffer, std::uint32_t size, std::uint32_t* read);
    DbStatus WriteBlob(const char* field, const void* buffer, std::uint32_t size);
    DbStatus BlobSize(const char* field, std::uint32_t* size);

    // Changes made between BeginTransaction and Commit reach the files together or not at all;
    // reads in between see them. Rollback (or a close) forgets them. One per table at a time.
    DbStatus BeginTransaction();
    DbStatus Commit();
    void Rollback();

    // Appends every live record of the source, fields and blobs matched by name.
    DbStatus CopyRecords(CDbTable& source, long* added);

    // Self-check for tools: header, counts, deletion flags, index order and keys against their
    // records, and blob pointers.
    DbStatus Verify(std::string* report);

  private:
    struct Cursor;
    DbStatus Ready() const;
    DbStatus Position(long recno);
    DbStatus MoveFromCurrent(int steps);
    bool Visible(long recno, DbStatus* status);

    CDbConnection& m_connection;
    std::shared_ptr<detail::TableFile> m_file;
    std::unique_ptr<Cursor> m_cursor;
};

// Scope of a table transaction: rolls back unless Commit() ran.
class CDbTransaction {
  public:
    explicit CDbTransaction(CDbTable& table);
    ~CDbTransaction();
    CDbTransaction(const CDbTransaction&) = delete;
    CDbTransaction& operator=(const CDbTransaction&) = delete;
    DbStatus Status() const { return m_status; }  // of the begin
    DbStatus Commit();

  private:
    CDbTable& m_table;
    DbStatus m_status;
    bool m_done = false;
};

}  // namespace vesk
