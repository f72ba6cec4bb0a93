// Table engine.
//
// Files of one table:
//  .DBF  dBase III: 32-byte header, 32-byte field descriptors, 0x0D, records, 0x1A. Header bytes
//        12..15 (reserved in dBase) hold a change counter that the indexes are matched against.
//  .EDX  one index: a header naming the key field and the table state it matches, then the keys
//        in order with their record numbers. Written whole through a temporary file at close.
//  .BIN  the blobs: a header with pointers to directory blocks, directory entries of 16 bytes
//        (offset, length) per record and blob field, and checksummed chunks appended at the end.
//  .JNL  the redo record of a change in flight; replayed when the table is next opened. Either
//        one record replace ("VJNL"), or a transaction ("VJN2": a list of (file, offset, bytes)
//        with one checksum over them all).
//
// Durability: an append commits when the header's record count is written; a replace when its
// journal entry is complete (replayed if the process dies before the in-place write ends); a
// blob when its 16-byte directory entry switches to the new chunk; a deletion is one flag byte.
// A transaction writes its new blobs to fresh space first and stages everything else; it
// commits when its journal is complete, since every later step is replayed from that journal.
#include "store/db_engine.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "store/file_io.h"

namespace vesk {

namespace {

constexpr int kMaxFields = 1024;
constexpr int kMaxFieldWidth = 254;
constexpr std::uint32_t kDbfDescriptorSize = 32;

constexpr char kEdxMagic[8] = {'V', 'E', 'S', 'K', 'E', 'D', 'X', '1'};
constexpr std::size_t kEdxHeaderSize = 64;

constexpr char kBinMagic[8] = {'V', 'E', 'S', 'K', 'B', 'I', 'N', '1'};
constexpr std::uint64_t kBinHeaderSize = 8192;
constexpr std::uint32_t kBinRecordsPerBlock = 4096;
constexpr std::uint32_t kBinMaxBlocks = 1000;      // 4,096,000 records
constexpr std::uint32_t kBinBlockTable = 32;       // offset of the block pointers in the header
constexpr std::uint32_t kChunkMagic = 0x424C4256;  // "VBLB"
constexpr std::size_t kChunkHeaderSize = 32;
constexpr std::uint32_t kMaxBlobSize = 1u << 30;

constexpr std::uint32_t kJournalMagic = 0x4C4E4A56;  // "VJNL"
constexpr std::size_t kJournalHeaderSize = 24;
constexpr std::uint32_t kTxnJournalMagic = 0x324E4A56;  // "VJN2"
constexpr std::size_t kTxnHeaderSize = 24;              // magic, entries, body length, checksum
constexpr std::size_t kTxnEntryHeaderSize = 16;         // file, length, offset
constexpr std::uint64_t kMaxFileOffset = 1ull << 40;

int g_lockWaitMilliseconds = 3000;

std::string SiblingPath(const std::string& path, const char* extension) {
    std::filesystem::path p(path);
    std::string ext = p.extension().string();
    bool lower = !ext.empty() && std::islower(static_cast<unsigned char>(ext.back()));
    std::string e = extension;
    if (lower)
        for (auto& c : e)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    p.replace_extension(e);
    return p.string();
}

std::string TrimRight(const char* p, int n) {
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0' || p[n - 1] == '\t'))
        --n;
    return std::string(p, static_cast<std::size_t>(n));
}

bool SameName(const char* a, const char* b) {
    return std::strncmp(a, b, 11) == 0;
}

}  // namespace

const char* DbStatusText(DbStatus status) {
    switch (status) {
        case db::kOk:
            return "done";
        case db::kNotConnected:
            return "not connected to the table engine";
        case db::kTableNotOpen:
            return "table not open";
        case db::kNoMemory:
            return "no memory";
        case db::kNoSuchFile:
            return "no such file";
        case db::kKeyAbsent:
            return "key not found";
        case db::kNoRecord:
            return "no record";
        case db::kBadField:
            return "field type or name not valid";
        case db::kFileDamaged:
            return "file damaged";
        case db::kLocked:
            return "table in use by another program";
        case db::kIoError:
            return "read or write failed";
        case db::kValueTooWide:
            return "value too wide for its field";
        case db::kDuplicateKey:
            return "key already present in a unique index";
        case db::kBadArgument:
            return "argument not valid";
        case db::kBlobDamaged:
            return "blob damaged";
        case db::kTableFull:
            return "table full";
        case db::kFileExists:
            return "a file of the table already exists";
        case db::kNoMeasurement:
            return "the measurement of the result is gone";
        case db::kReadOnlyStore:
            return "the store is open for reading only";
        default:
            return "unknown status";
    }
}

FieldDescriptor MakeField(const char* name, char type, int width, int decimals) {
    FieldDescriptor f;
    std::strncpy(f.name, name, 10);
    f.type = type;
    f.width = static_cast<std::int16_t>(width);
    f.decimals = static_cast<std::int16_t>(decimals);
    return f;
}

DbStatus CDbConnection::Connect(const char* applicationName) {
    m_connected = applicationName != nullptr;
    return m_connected ? db::kOk : db::kBadArgument;
}

DbStatus CDbConnection::SetDataFolder(const std::string& folder) {
    if (!m_connected) return db::kNotConnected;
    m_dataFolder = folder;
    return db::kOk;
}

DbStatus CDbConnection::DeleteFile(const std::string& path) {
    if (!m_connected) return db::kNotConnected;
    if (::unlink(path.c_str()) != 0) return errno == ENOENT ? db::kNoSuchFile : db::kIoError;
    return db::kOk;
}

DbStatus CDbConnection::RenameFile(const std::string& from, const std::string& to) {
    if (!m_connected) return db::kNotConnected;
    if (::rename(from.c_str(), to.c_str()) != 0)
        return errno == ENOENT ? db::kNoSuchFile : db::kIoError;
    SyncParentFolder(to);
    return db::kOk;
}

CDbConnection& TheDbConnection() {
    static CDbConnection connection;
    return connection;
}

void SetLockWaitMilliseconds(int milliseconds) {
    g_lockWaitMilliseconds = milliseconds;
}

namespace detail {

struct IndexData {
    std::string path;
    FieldDescriptor keyField;
    int keyOffset = 0;  // in the record buffer (without the deletion flag)
    int keyWidth = 0;
    bool unique = false;
    std::vector<char> keys;            // keyWidth bytes per record number
    std::vector<std::uint32_t> order;  // live record numbers sorted by (key, record number)
    bool dirty = false;
    std::uint32_t storedCounter = 0;  // change counter of the table written in the .EDX

    const char* Key(std::uint32_t recno) const {
        return keys.data() + static_cast<std::size_t>(recno) * keyWidth;
    }
    // First position whose entry is not before (key, recno).
    std::size_t LowerBound(const char* key, int length, std::uint32_t recno) const {
        auto it = std::lower_bound(
            order.begin(), order.end(), recno, [&](std::uint32_t r, std::uint32_t) {
                int c = std::memcmp(Key(r), key, static_cast<std::size_t>(length));
                if (c != 0) return c < 0;
                if (length < keyWidth) return false;
                return r < recno;
            });
        return static_cast<std::size_t>(it - order.begin());
    }
    // Past the last entry whose key starts with the given bytes.
    std::size_t UpperBound(const char* key, int length) const {
        auto it =
            std::upper_bound(order.begin(), order.end(), 0u, [&](std::uint32_t, std::uint32_t r) {
                return std::memcmp(key, Key(r), static_cast<std::size_t>(length)) < 0;
            });
        return static_cast<std::size_t>(it - order.begin());
    }
    void Insert(std::uint32_t recno, const char* record) {
        std::size_t need = (static_cast<std::size_t>(recno) + 1) * keyWidth;
        if (keys.size() < need) keys.resize(std::max(need, keys.size() * 2));
        std::memcpy(keys.data() + static_cast<std::size_t>(recno) * keyWidth, record + keyOffset,
                    static_cast<std::size_t>(keyWidth));
        std::size_t pos = LowerBound(Key(recno), keyWidth, recno);
        order.insert(order.begin() + static_cast<std::ptrdiff_t>(pos), recno);
        dirty = true;
    }
    void Remove(std::uint32_t recno) {
        std::size_t pos = LowerBound(Key(recno), keyWidth, recno);
        if (pos < order.size() && order[pos] == recno) {
            order.erase(order.begin() + static_cast<std::ptrdiff_t>(pos));
            dirty = true;
        }
    }
    bool Contains(const char* key) const {
        std::size_t pos = LowerBound(key, keyWidth, 0);
        return pos < order.size() &&
               std::memcmp(Key(order[pos]), key, static_cast<std::size_t>(keyWidth)) == 0;
    }
};

// A change staged by a transaction: file 0 is the .DBF, 1 the .BIN.
struct StagedWrite {
    std::uint32_t file = 0;
    std::uint64_t offset = 0;
    std::vector<unsigned char> bytes;
};

class TableFile {
  public:
    std::string path, binPath, journalPath;
    FileHandle dbf, bin, journal;
    bool readOnly = false;
    bool storeReadOnly = false;  // the process only reads the store: no files made or rewritten
    bool inTransaction = false;
    std::uint32_t committedCount = 0;  // the record count on disk while a transaction runs
    std::vector<StagedWrite> staged;
    std::vector<FieldDescriptor> fields;
    std::vector<int> offsets;   // of each field in the record buffer
    std::vector<int> blobSlot;  // per field, its slot in the blob directory or -1
    int blobFields = 0;
    std::uint32_t headerLength = 0, recordLength = 0, count = 0, changeCounter = 0;
    bool changed = false;  // the change counter was bumped in this session
    std::vector<std::unique_ptr<IndexData>> indexes;
    std::uint64_t binSize = 0;
    std::vector<std::uint64_t> dirBlocks;

    ~TableFile() { Flush(); }

    int DataLength() const { return static_cast<int>(recordLength) - 1; }
    std::uint64_t RecordOffset(std::uint32_t recno) const {
        return headerLength + static_cast<std::uint64_t>(recno) * recordLength;
    }
    int FieldIndex(const char* name) const {
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (SameName(fields[i].name, name)) return static_cast<int>(i);
        return -1;
    }

    DbStatus Load();
    DbStatus SetFields(const FieldDescriptor* descriptors, int n);
    DbStatus CreateFresh(const FieldDescriptor* descriptors, int n);
    void Stage(std::uint32_t file, std::uint64_t offset, const void* bytes, std::size_t size);
    void Patch(std::uint32_t file, std::uint64_t offset, unsigned char* buffer,
               std::size_t size) const;
    DbStatus Commit();
    void Rollback();
    DbStatus ReadRecord(std::uint32_t recno, char* flag, char* buffer) const;
    DbStatus BeginChange();
    DbStatus Append(const char* buffer, std::uint32_t* recno);
    DbStatus Replace(std::uint32_t recno, const char* buffer);
    DbStatus WriteJournalled(std::uint64_t offset, const char* buffer, std::uint32_t length);
    DbStatus Delete(std::uint32_t recno);
    DbStatus CheckUnique(const char* buffer, long exceptRecno) const;
    DbStatus BuildIndex(IndexData& index) const;
    DbStatus LoadIndex(IndexData& index, bool* rebuilt);
    bool WriteIndex(IndexData& index);
    void Flush();

    // Blobs.
    DbStatus OpenBin(bool create);
    DbStatus DirectoryEntryOffset(std::uint32_t recno, int slot, bool allocate,
                                  std::uint64_t* where);
    DbStatus BlobEntry(std::uint32_t recno, int slot, std::uint64_t* offset, std::uint32_t* length);
    DbStatus ReadBlobData(std::uint32_t recno, int slot, std::vector<unsigned char>* data);
    DbStatus WriteBlobData(std::uint32_t recno, int slot, const unsigned char* data,
                           std::uint32_t size);
    DbStatus ClearBlobEntries(std::uint32_t recno);

  private:
    DbStatus RecoverJournal();
    DbStatus RecoverTransaction();
    void BumpCounterOnDisk();
    bool dataDirty_ = false;
};

namespace {
std::mutex g_registryMutex;
std::map<std::string, std::weak_ptr<TableFile>>& Registry() {
    static std::map<std::string, std::weak_ptr<TableFile>> registry;
    return registry;
}

std::string RegistryKey(const std::string& path) {
    std::error_code ec;
    auto p = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : p.string();
}

// Opens and locks a file; waits for another process holding the lock.
DbStatus OpenLocked(const std::string& path, bool create, FileHandle* out, bool* readOnly) {
    int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT | O_EXCL : 0);
    int fd = ::open(path.c_str(), flags, 0644);
    *readOnly = false;
    if (fd < 0 && create && errno == EEXIST) return db::kFileExists;
    if (fd < 0 && !create && (errno == EACCES || errno == EROFS)) {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        *readOnly = true;
    }
    if (fd < 0) return errno == ENOENT ? db::kNoSuchFile : db::kIoError;
    FileHandle file(fd);
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(g_lockWaitMilliseconds);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) return db::kIoError;
        if (std::chrono::steady_clock::now() >= deadline) return db::kLocked;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    *out = std::move(file);
    return db::kOk;
}

void StampDate(unsigned char* header) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    header[1] = static_cast<unsigned char>(local.tm_year % 256);
    header[2] = static_cast<unsigned char>(local.tm_mon + 1);
    header[3] = static_cast<unsigned char>(local.tm_mday);
}

bool ValidDescriptor(const FieldDescriptor& f) {
    if (f.name[0] == '\0' || f.name[10] != '\0') return false;
    for (int i = 0; i < 10 && f.name[i]; ++i) {
        unsigned char c = static_cast<unsigned char>(f.name[i]);
        if (c <= ' ' || c >= 127) return false;
    }
    if (f.width < 0 || f.width > kMaxFieldWidth) return false;
    if (f.type == 'B') return f.width == 0;
    return f.width > 0;
}
}  // namespace

DbStatus TableFile::Load() {
    journalPath = SiblingPath(path, ".JNL");
    binPath = SiblingPath(path, ".BIN");
    DbStatus recovered = RecoverTransaction();
    if (recovered != db::kOk) return recovered;
    std::uint64_t size = 0;
    if (!dbf.Size(&size)) return db::kIoError;
    unsigned char header[32];
    if (size < 32 + 1 || !dbf.ReadAt(0, header, 32)) return db::kFileDamaged;
    headerLength = GetU16(header + 8);
    recordLength = GetU16(header + 10);
    count = GetU32(header + 4);
    changeCounter = GetU32(header + 12);
    if (header[0] != 0x03 || headerLength < 32 + kDbfDescriptorSize + 1 ||
        (headerLength - 33) % kDbfDescriptorSize != 0 || headerLength > size)
        return db::kFileDamaged;
    std::uint32_t n = (headerLength - 33) / kDbfDescriptorSize;
    if (n > static_cast<std::uint32_t>(kMaxFields)) return db::kFileDamaged;
    std::vector<unsigned char> raw(headerLength - 32);
    if (!dbf.ReadAt(32, raw.data(), raw.size())) return db::kFileDamaged;
    if (raw.back() != 0x0D) return db::kFileDamaged;
    fields.clear();
    offsets.clear();
    blobSlot.clear();
    blobFields = 0;
    int offset = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const unsigned char* d = raw.data() + i * kDbfDescriptorSize;
        FieldDescriptor f;
        std::memcpy(f.name, d, 11);
        f.name[10] = '\0';
        f.type = static_cast<char>(d[11]);
        f.width = d[16];
        f.decimals = d[17];
        if (d[10] != 0 || !ValidDescriptor(f) || std::strchr("CNIBDL", f.type) == nullptr)
            return db::kFileDamaged;
        fields.push_back(f);
        offsets.push_back(offset);
        blobSlot.push_back(f.type == 'B' ? blobFields++ : -1);
        offset += f.width;
    }
    if (static_cast<std::uint32_t>(offset) + 1 != recordLength) return db::kFileDamaged;
    if (RecordOffset(count) > size) return db::kFileDamaged;
    DbStatus st = RecoverJournal();
    if (st != db::kOk) return st;
    if (blobFields > 0) return OpenBin(false);
    return db::kOk;
}

// Replays a complete transaction journal; a torn one is a transaction that never committed.
DbStatus TableFile::RecoverTransaction() {
    FileHandle j(::open(journalPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!j.Valid()) return db::kOk;
    std::uint64_t jsize = 0;
    unsigned char head[kTxnHeaderSize];
    if (!j.Size(&jsize) || jsize < kTxnHeaderSize || !j.ReadAt(0, head, sizeof head) ||
        GetU32(head) != kTxnJournalMagic)
        return db::kOk;  // empty, torn, or the single-replace kind
    const std::uint32_t entries = GetU32(head + 4);
    const std::uint64_t bodyLength = GetU64(head + 8);
    if (bodyLength > jsize - kTxnHeaderSize) return db::kOk;
    std::vector<unsigned char> body(static_cast<std::size_t>(bodyLength));
    if (!j.ReadAt(kTxnHeaderSize, body.data(), body.size()) ||
        Checksum64(body.data(), body.size()) != GetU64(head + 16))
        return db::kOk;
    std::vector<StagedWrite> writes;
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < entries; ++i) {
        if (body.size() - at < kTxnEntryHeaderSize) return db::kFileDamaged;
        StagedWrite w;
        w.file = GetU32(body.data() + at);
        const std::uint32_t length = GetU32(body.data() + at + 4);
        w.offset = GetU64(body.data() + at + 8);
        at += kTxnEntryHeaderSize;
        if (w.file > 1 || length > body.size() - at || w.offset > kMaxFileOffset)
            return db::kFileDamaged;
        w.bytes.assign(body.begin() + static_cast<std::ptrdiff_t>(at),
                       body.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
        writes.push_back(std::move(w));
    }
    if (readOnly) return db::kIoError;  // a committed change must be finished first
    FileHandle blobs;
    for (const StagedWrite& w : writes) {
        if (w.file == 1 && !blobs.Valid()) {
            blobs = FileHandle(::open(binPath.c_str(), O_RDWR | O_CLOEXEC));
            if (!blobs.Valid()) return db::kFileDamaged;
        }
        const FileHandle& target = w.file == 0 ? dbf : blobs;
        if (!target.WriteAt(w.offset, w.bytes.data(), w.bytes.size())) return db::kIoError;
    }
    dbf.Sync();
    if (blobs.Valid()) blobs.Sync();
    j.Reset();
    ::unlink(journalPath.c_str());
    BumpCounterOnDisk();
    return db::kOk;
}

// After a replay: the indexes may have been written before the change finished, and a new
// change counter makes them rebuild.
void TableFile::BumpCounterOnDisk() {
    unsigned char counter[4];
    if (dbf.ReadAt(12, counter, 4)) {
        changeCounter = GetU32(counter) + 1;
        PutU32(counter, changeCounter);
        dbf.WriteAt(12, counter, 4);
    }
}

DbStatus TableFile::RecoverJournal() {
    FileHandle j(::open(journalPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!j.Valid()) return db::kOk;
    unsigned char head[kJournalHeaderSize];
    std::uint64_t jsize = 0;
    if (j.Size(&jsize) && jsize >= kJournalHeaderSize && j.ReadAt(0, head, sizeof head) &&
        GetU32(head) == kJournalMagic) {
        std::uint32_t length = GetU32(head + 4);
        std::uint64_t offset = GetU64(head + 8);
        std::uint64_t sum = GetU64(head + 16);
        std::vector<unsigned char> data(length <= recordLength ? length : 0);
        const std::uint64_t end = RecordOffset(count);
        if (length == recordLength && offset >= headerLength && offset <= end &&
            length <= end - offset && (offset - headerLength) % recordLength == 0 &&
            jsize >= kJournalHeaderSize + length &&
            j.ReadAt(kJournalHeaderSize, data.data(), length) &&
            Checksum64(data.data(), length) == sum) {
            if (readOnly) return db::kIoError;  // a replace in flight must be finished first
            if (!dbf.WriteAt(offset, data.data(), length)) return db::kIoError;
            dbf.Sync();
            BumpCounterOnDisk();
        }
    }
    j.Reset();
    if (!readOnly) ::unlink(journalPath.c_str());
    return db::kOk;
}

DbStatus TableFile::SetFields(const FieldDescriptor* descriptors, int n) {
    if (n <= 0 || n > kMaxFields) return db::kBadField;
    fields.assign(descriptors, descriptors + n);
    offsets.clear();
    blobSlot.clear();
    blobFields = 0;
    int offset = 0;
    for (auto& f : fields) {
        if (!ValidDescriptor(f) || std::strchr("CNIBDL", f.type) == nullptr) return db::kBadField;
        offsets.push_back(offset);
        blobSlot.push_back(f.type == 'B' ? blobFields++ : -1);
        offset += f.width;
    }
    headerLength = 32 + kDbfDescriptorSize * static_cast<std::uint32_t>(n) + 1;
    recordLength = static_cast<std::uint32_t>(offset) + 1;
    if (recordLength > 65535) return db::kBadField;
    count = 0;
    journalPath = SiblingPath(path, ".JNL");
    binPath = SiblingPath(path, ".BIN");
    dirBlocks.assign(kBinMaxBlocks, 0);
    return db::kOk;
}

DbStatus TableFile::CreateFresh(const FieldDescriptor* descriptors, int n) {
    DbStatus st = SetFields(descriptors, n);
    if (st != db::kOk) return st;
    // A counter no earlier index file of this name can match.
    changeCounter = static_cast<std::uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ (::getpid() * 2654435761u));
    std::vector<unsigned char> raw(headerLength + 1, 0);
    raw[0] = 0x03;
    StampDate(raw.data());
    PutU32(raw.data() + 4, 0);
    PutU16(raw.data() + 8, static_cast<std::uint16_t>(headerLength));
    PutU16(raw.data() + 10, static_cast<std::uint16_t>(recordLength));
    PutU32(raw.data() + 12, changeCounter);
    for (int i = 0; i < n; ++i) {
        unsigned char* d = raw.data() + 32 + i * kDbfDescriptorSize;
        std::memcpy(d, fields[static_cast<std::size_t>(i)].name, 11);
        d[11] = static_cast<unsigned char>(fields[static_cast<std::size_t>(i)].type);
        d[16] = static_cast<unsigned char>(fields[static_cast<std::size_t>(i)].width);
        d[17] = static_cast<unsigned char>(fields[static_cast<std::size_t>(i)].decimals);
    }
    raw[headerLength - 1] = 0x0D;
    raw[headerLength] = 0x1A;
    if (!dbf.WriteAt(0, raw.data(), raw.size())) return db::kIoError;
    dataDirty_ = true;
    if (blobFields > 0) return OpenBin(true);
    return db::kOk;
}

DbStatus TableFile::ReadRecord(std::uint32_t recno, char* flag, char* buffer) const {
    if (recno >= count) return db::kNoRecord;
    std::vector<unsigned char> raw(recordLength, 0);
    const bool onDisk = !inTransaction || recno < committedCount;
    if (onDisk && !dbf.ReadAt(RecordOffset(recno), raw.data(), recordLength))
        return db::kFileDamaged;
    if (inTransaction) Patch(0, RecordOffset(recno), raw.data(), raw.size());
    // Anything but the two flags is damage, such as the zeros of a sparse file: a walk stops
    // at the first one instead of reading millions of empty records.
    if (raw[0] != ' ' && raw[0] != '*') return db::kFileDamaged;
    *flag = static_cast<char>(raw[0]);
    if (buffer) std::memcpy(buffer, raw.data() + 1, recordLength - 1);
    return db::kOk;
}

DbStatus TableFile::BeginChange() {
    if (readOnly) return db::kIoError;
    if (storeReadOnly) return db::kReadOnlyStore;
    if (changed) return db::kOk;
    unsigned char head[16];
    if (!dbf.ReadAt(0, head, 16)) return db::kIoError;
    StampDate(head);
    PutU32(head + 12, ++changeCounter);
    if (!dbf.WriteAt(0, head, 16)) return db::kIoError;
    changed = true;
    dataDirty_ = true;
    return db::kOk;
}

DbStatus TableFile::CheckUnique(const char* buffer, long exceptRecno) const {
    for (const auto& index : indexes) {
        if (!index->unique) continue;
        const char* key = buffer + index->keyOffset;
        std::size_t pos = index->LowerBound(key, index->keyWidth, 0);
        for (; pos < index->order.size(); ++pos) {
            std::uint32_t r = index->order[pos];
            if (std::memcmp(index->Key(r), key, static_cast<std::size_t>(index->keyWidth)) != 0)
                break;
            if (static_cast<long>(r) != exceptRecno) return db::kDuplicateKey;
        }
    }
    return db::kOk;
}

DbStatus TableFile::Append(const char* buffer, std::uint32_t* recno) {
    if (count >= 0xFFFFFFFEu || RecordOffset(count + 1) + 1 > (1ull << 40)) return db::kTableFull;
    DbStatus st = CheckUnique(buffer, -1);
    if (st != db::kOk) return st;
    if ((st = BeginChange()) != db::kOk) return st;
    std::vector<char> raw(recordLength + 1);
    raw[0] = ' ';
    std::memcpy(raw.data() + 1, buffer, recordLength - 1);
    raw[recordLength] = 0x1A;
    std::uint32_t r = count;
    if (blobFields > 0 && (st = ClearBlobEntries(r)) != db::kOk) return st;
    if (inTransaction) {
        Stage(0, RecordOffset(r), raw.data(), raw.size());
        count = r + 1;
        for (auto& index : indexes)
            index->Insert(r, buffer);
        *recno = r;
        return db::kOk;
    }
    if (!dbf.WriteAt(RecordOffset(r), raw.data(), raw.size())) return db::kIoError;
    unsigned char countBytes[4];
    PutU32(countBytes, r + 1);
    if (!dbf.WriteAt(4, countBytes, 4)) return db::kIoError;  // the commit
    count = r + 1;
    for (auto& index : indexes)
        index->Insert(r, buffer);
    *recno = r;
    return db::kOk;
}

DbStatus TableFile::Replace(std::uint32_t recno, const char* buffer) {
    char flag = 0;
    std::vector<char> old(recordLength);
    DbStatus st = ReadRecord(recno, &flag, old.data());
    if (st != db::kOk) return st;
    if (flag == '*') return db::kNoRecord;
    if ((st = CheckUnique(buffer, recno)) != db::kOk) return st;
    if ((st = BeginChange()) != db::kOk) return st;
    std::uint32_t length = recordLength - 1;
    std::uint64_t offset = RecordOffset(recno) + 1;
    if (inTransaction) {
        std::vector<unsigned char> raw(recordLength);
        raw[0] = ' ';
        std::memcpy(raw.data() + 1, buffer, length);
        Stage(0, offset - 1, raw.data(), raw.size());
    } else {
        if ((st = WriteJournalled(offset, buffer, length)) != db::kOk) return st;
    }
    for (auto& index : indexes) {
        if (std::memcmp(old.data() + index->keyOffset, buffer + index->keyOffset,
                        static_cast<std::size_t>(index->keyWidth)) != 0) {
            index->Remove(recno);
            index->Insert(recno, buffer);
        }
    }
    return db::kOk;
}

DbStatus TableFile::WriteJournalled(std::uint64_t offset, const char* buffer,
                                    std::uint32_t length) {
    if (!journal.Valid()) {
        journal = FileHandle(::open(journalPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        if (!journal.Valid()) return db::kIoError;
    }
    // The journal holds the whole record with its flag, so a replay is one aligned write.
    std::vector<unsigned char> entry(kJournalHeaderSize + recordLength);
    entry[kJournalHeaderSize] = ' ';
    std::memcpy(entry.data() + kJournalHeaderSize + 1, buffer, length);
    PutU32(entry.data(), kJournalMagic);
    PutU32(entry.data() + 4, recordLength);
    PutU64(entry.data() + 8, offset - 1);
    PutU64(entry.data() + 16, Checksum64(entry.data() + kJournalHeaderSize, recordLength));
    if (!journal.WriteAt(0, entry.data(), entry.size())) return db::kIoError;
    if (!dbf.WriteAt(offset, buffer, length)) return db::kIoError;
    unsigned char zero[4] = {};
    journal.WriteAt(0, zero, 4);
    return db::kOk;
}

DbStatus TableFile::Delete(std::uint32_t recno) {
    DbStatus st = BeginChange();
    if (st != db::kOk) return st;
    char flag = '*';
    if (inTransaction)
        Stage(0, RecordOffset(recno), &flag, 1);
    else if (!dbf.WriteAt(RecordOffset(recno), &flag, 1))
        return db::kIoError;
    for (auto& index : indexes)
        index->Remove(recno);
    return db::kOk;
}

DbStatus TableFile::BuildIndex(IndexData& index) const {
    index.keys.assign(static_cast<std::size_t>(count) * index.keyWidth, ' ');
    index.order.clear();
    // Read in large slices: a rebuild of a big table should take milliseconds, not seconds.
    const std::uint32_t perSlice = std::max<std::uint32_t>(1, (1u << 20) / recordLength);
    std::vector<char> slice(static_cast<std::size_t>(perSlice) * recordLength);
    for (std::uint32_t first = 0; first < count; first += perSlice) {
        std::uint32_t n = std::min(perSlice, count - first);
        if (!dbf.ReadAt(RecordOffset(first), slice.data(),
                        static_cast<std::size_t>(n) * recordLength))
            return db::kFileDamaged;
        for (std::uint32_t i = 0; i < n; ++i) {
            const char* rec = slice.data() + static_cast<std::size_t>(i) * recordLength;
            if (rec[0] == '*') continue;
            if (rec[0] != ' ') return db::kFileDamaged;
            std::memcpy(index.keys.data() + static_cast<std::size_t>(first + i) * index.keyWidth,
                        rec + 1 + index.keyOffset, static_cast<std::size_t>(index.keyWidth));
            index.order.push_back(first + i);
        }
    }
    std::stable_sort(index.order.begin(), index.order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return std::memcmp(index.Key(a), index.Key(b), static_cast<std::size_t>(index.keyWidth)) <
               0;
    });
    index.dirty = true;
    return db::kOk;
}

// Reads an index file; one that does not match the table or is damaged is rebuilt.
DbStatus TableFile::LoadIndex(IndexData& index, bool* rebuilt) {
    *rebuilt = false;
    FileHandle file(::open(index.path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.Valid()) return errno == ENOENT ? db::kNoSuchFile : db::kIoError;
    std::uint64_t size = 0;
    unsigned char h[kEdxHeaderSize];
    if (!file.Size(&size) || size < kEdxHeaderSize || !file.ReadAt(0, h, kEdxHeaderSize) ||
        std::memcmp(h, kEdxMagic, 8) != 0 || Checksum64(h, 56) != GetU64(h + 56))
        return db::kFileDamaged;  // without a trustworthy key field the caller must create it
    char name[11];
    std::memcpy(name, h + 8, 11);
    name[10] = '\0';
    int field = FieldIndex(name);
    if (field < 0 || fields[static_cast<std::size_t>(field)].type == 'B') return db::kFileDamaged;
    index.keyField = fields[static_cast<std::size_t>(field)];
    index.keyOffset = offsets[static_cast<std::size_t>(field)];
    index.keyWidth = index.keyField.width;
    index.unique = h[20] != 0;
    std::uint32_t keyWidth = GetU32(h + 24);
    std::uint32_t entries = GetU32(h + 40);
    std::size_t entrySize = static_cast<std::size_t>(keyWidth) + 4;
    bool matches = keyWidth == static_cast<std::uint32_t>(index.keyWidth) &&
                   GetU32(h + 28) == count && GetU32(h + 32) == recordLength &&
                   GetU32(h + 36) == changeCounter && entries <= count &&
                   size == kEdxHeaderSize + entries * entrySize;
    if (matches) {
        std::vector<unsigned char> body(entries * entrySize);
        matches = file.ReadAt(kEdxHeaderSize, body.data(), body.size()) &&
                  Checksum64(body.data(), body.size()) == GetU64(h + 48);
        if (matches) {
            index.keys.assign(static_cast<std::size_t>(count) * index.keyWidth, ' ');
            index.order.resize(entries);
            std::vector<bool> seen(count, false);
            for (std::uint32_t i = 0; i < entries && matches; ++i) {
                const unsigned char* e = body.data() + i * entrySize;
                std::uint32_t r = GetU32(e + keyWidth);
                if (r >= count || seen[r]) {
                    matches = false;
                    break;
                }
                seen[r] = true;
                std::memcpy(index.keys.data() + static_cast<std::size_t>(r) * keyWidth, e,
                            keyWidth);
                index.order[i] = r;
                if (i > 0) {
                    std::uint32_t p = index.order[i - 1];
                    int c = std::memcmp(index.Key(p), index.Key(r), keyWidth);
                    if (c > 0 || (c == 0 && p >= r)) matches = false;
                }
            }
        }
    }
    if (!matches) {
        DbStatus st = BuildIndex(index);
        if (st != db::kOk) return st;
        *rebuilt = true;
    } else {
        index.dirty = false;
        index.storedCounter = changeCounter;
    }
    return db::kOk;
}

bool TableFile::WriteIndex(IndexData& index) {
    std::size_t entrySize = static_cast<std::size_t>(index.keyWidth) + 4;
    std::vector<unsigned char> out(kEdxHeaderSize + index.order.size() * entrySize, 0);
    unsigned char* body = out.data() + kEdxHeaderSize;
    for (std::size_t i = 0; i < index.order.size(); ++i) {
        unsigned char* e = body + i * entrySize;
        std::memcpy(e, index.Key(index.order[i]), static_cast<std::size_t>(index.keyWidth));
        PutU32(e + index.keyWidth, index.order[i]);
    }
    unsigned char* h = out.data();
    std::memcpy(h, kEdxMagic, 8);
    std::memcpy(h + 8, index.keyField.name, 11);
    h[20] = index.unique ? 1 : 0;
    PutU32(h + 24, static_cast<std::uint32_t>(index.keyWidth));
    PutU32(h + 28, count);
    PutU32(h + 32, recordLength);
    PutU32(h + 36, changeCounter);
    PutU32(h + 40, static_cast<std::uint32_t>(index.order.size()));
    PutU64(h + 48, Checksum64(body, out.size() - kEdxHeaderSize));
    PutU64(h + 56, Checksum64(h, 56));
    if (!WriteFileAtomically(index.path, out.data(), out.size())) return false;
    index.dirty = false;
    index.storedCounter = changeCounter;
    return true;
}

void TableFile::Flush() {
    if (readOnly) return;
    if (inTransaction) Rollback();
    if (dataDirty_) {
        // Data and blobs reach the disk before the indexes that describe them.
        dbf.Sync();
        if (bin.Valid()) bin.Sync();
        dataDirty_ = false;
    }
    for (auto& index : indexes)
        if (!storeReadOnly && (index->dirty || index->storedCounter != changeCounter))
            WriteIndex(*index);
    if (journal.Valid()) {
        journal.Reset();
        ::unlink(journalPath.c_str());
    }
}

DbStatus TableFile::OpenBin(bool create) {
    int flags = (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    // Never truncates: an existing blob file is either read or left alone.
    bin = FileHandle(::open(binPath.c_str(), flags | (create ? O_CREAT | O_EXCL : 0), 0644));
    bool fresh = create;
    dirBlocks.assign(kBinMaxBlocks, 0);
    if (!bin.Valid() && errno == ENOENT && !create) {
        // Records without their blob file have lost their samples: that is damage. A table
        // with no records yet (killed while being made) gets its blob file when it may write.
        if (count > 0) return db::kFileDamaged;
        if (readOnly || storeReadOnly) return db::kOk;  // reads as no blobs
        bin = FileHandle(::open(binPath.c_str(), flags | O_CREAT | O_EXCL, 0644));
        fresh = true;
    }
    if (!bin.Valid()) return errno == EEXIST ? db::kFileExists : db::kIoError;
    if (fresh) {
        std::vector<unsigned char> h(kBinHeaderSize, 0);
        std::memcpy(h.data(), kBinMagic, 8);
        PutU32(h.data() + 8, 1);
        PutU32(h.data() + 12, static_cast<std::uint32_t>(blobFields));
        PutU32(h.data() + 16, kBinRecordsPerBlock);
        PutU32(h.data() + 20, kBinMaxBlocks);
        if (!bin.WriteAt(0, h.data(), h.size())) return db::kIoError;
        binSize = kBinHeaderSize;
        return db::kOk;
    }
    std::vector<unsigned char> h(kBinHeaderSize);
    if (!bin.Size(&binSize) || binSize < kBinHeaderSize || !bin.ReadAt(0, h.data(), h.size()) ||
        std::memcmp(h.data(), kBinMagic, 8) != 0 || GetU32(h.data() + 8) != 1 ||
        GetU32(h.data() + 12) != static_cast<std::uint32_t>(blobFields) ||
        GetU32(h.data() + 16) != kBinRecordsPerBlock || GetU32(h.data() + 20) != kBinMaxBlocks)
        return db::kFileDamaged;
    std::uint64_t blockBytes = static_cast<std::uint64_t>(kBinRecordsPerBlock) * blobFields * 16;
    for (std::uint32_t b = 0; b < kBinMaxBlocks; ++b) {
        std::uint64_t p = GetU64(h.data() + kBinBlockTable + 8 * b);
        if (p != 0 &&
            (p < kBinHeaderSize || p % 16 != 0 || p > binSize || blockBytes > binSize - p))
            return db::kFileDamaged;
        dirBlocks[b] = p;
    }
    return db::kOk;
}

DbStatus TableFile::DirectoryEntryOffset(std::uint32_t recno, int slot, bool allocate,
                                         std::uint64_t* where) {
    std::uint32_t block = recno / kBinRecordsPerBlock;
    if (block >= kBinMaxBlocks) return db::kTableFull;
    if (dirBlocks[block] == 0) {
        if (!bin.Valid() && allocate) return db::kReadOnlyStore;
        if (!allocate) {
            *where = 0;
            return db::kOk;
        }
        std::uint64_t blockBytes =
            static_cast<std::uint64_t>(kBinRecordsPerBlock) * blobFields * 16;
        std::uint64_t at = (binSize + 15) / 16 * 16;
        // Zeroed space first, then the pointer: a crash in between only leaks the space.
        if (!bin.Truncate(at + blockBytes)) return db::kIoError;
        unsigned char p[8];
        PutU64(p, at);
        if (!bin.WriteAt(kBinBlockTable + 8ull * block, p, 8)) return db::kIoError;
        dirBlocks[block] = at;
        binSize = at + blockBytes;
    }
    *where = dirBlocks[block] +
             (static_cast<std::uint64_t>(recno % kBinRecordsPerBlock) * blobFields + slot) * 16;
    return db::kOk;
}

DbStatus TableFile::BlobEntry(std::uint32_t recno, int slot, std::uint64_t* offset,
                              std::uint32_t* length) {
    std::uint64_t where = 0;
    DbStatus st = DirectoryEntryOffset(recno, slot, false, &where);
    *offset = 0;
    *length = 0;
    if (st != db::kOk || where == 0) return st;
    unsigned char e[16];
    if (!bin.ReadAt(where, e, 16)) return db::kBlobDamaged;
    if (inTransaction) Patch(1, where, e, 16);
    *offset = GetU64(e);
    *length = GetU32(e + 8);
    if (*offset == 0) {
        *length = 0;
        return db::kOk;
    }
    // Compared without sums that could wrap around.
    if (*offset < kBinHeaderSize || *length > kMaxBlobSize || *offset > binSize ||
        kChunkHeaderSize + *length > binSize - *offset) {
        *offset = 0;
        *length = 0;
        return db::kBlobDamaged;
    }
    return db::kOk;
}

DbStatus TableFile::ReadBlobData(std::uint32_t recno, int slot, std::vector<unsigned char>* data) {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    DbStatus st = BlobEntry(recno, slot, &offset, &length);
    data->clear();
    if (st != db::kOk || offset == 0) return st;
    std::vector<unsigned char> chunk(kChunkHeaderSize + length);
    if (!bin.ReadAt(offset, chunk.data(), chunk.size())) return db::kBlobDamaged;
    if (GetU32(chunk.data()) != kChunkMagic || GetU32(chunk.data() + 4) != recno ||
        GetU32(chunk.data() + 8) != static_cast<std::uint32_t>(slot) ||
        GetU32(chunk.data() + 12) != length ||
        GetU64(chunk.data() + 16) != Checksum64(chunk.data() + kChunkHeaderSize, length))
        return db::kBlobDamaged;
    data->assign(chunk.begin() + kChunkHeaderSize, chunk.end());
    return db::kOk;
}

DbStatus TableFile::WriteBlobData(std::uint32_t recno, int slot, const unsigned char* data,
                                  std::uint32_t size) {
    if (size > kMaxBlobSize) return db::kBadArgument;
    DbStatus st = BeginChange();
    if (st != db::kOk) return st;
    std::uint64_t where = 0;
    if ((st = DirectoryEntryOffset(recno, slot, true, &where)) != db::kOk) return st;
    std::vector<unsigned char> chunk(kChunkHeaderSize + size);
    PutU32(chunk.data(), kChunkMagic);
    PutU32(chunk.data() + 4, recno);
    PutU32(chunk.data() + 8, static_cast<std::uint32_t>(slot));
    PutU32(chunk.data() + 12, size);
    PutU64(chunk.data() + 16, Checksum64(data, size));
    if (size) std::memcpy(chunk.data() + kChunkHeaderSize, data, size);
    std::uint64_t at = (binSize + 15) / 16 * 16;
    if (!bin.WriteAt(at, chunk.data(), chunk.size())) return db::kIoError;
    binSize = at + chunk.size();
    unsigned char e[16] = {};
    PutU64(e, at);
    PutU32(e + 8, size);
    if (inTransaction) {
        Stage(1, where, e, 16);  // switched when the transaction commits
        return db::kOk;
    }
    if (!bin.WriteAt(where, e, 16)) return db::kIoError;  // the switch
    return db::kOk;
}

DbStatus TableFile::ClearBlobEntries(std::uint32_t recno) {
    std::uint64_t where = 0;
    DbStatus st = DirectoryEntryOffset(recno, 0, false, &where);
    if (st == db::kTableFull) return db::kOk;  // the record can hold no blobs at all
    if (st != db::kOk || where == 0) return st;
    std::vector<unsigned char> zero(static_cast<std::size_t>(blobFields) * 16, 0);
    if (inTransaction) {
        Stage(1, where, zero.data(), zero.size());
        return db::kOk;
    }
    return bin.WriteAt(where, zero.data(), zero.size()) ? db::kOk : db::kIoError;
}

void TableFile::Stage(std::uint32_t file, std::uint64_t offset, const void* bytes,
                      std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    staged.push_back({file, offset, std::vector<unsigned char>(p, p + size)});
}

// Lays the staged writes over bytes read from a file, in the order they were made.
void TableFile::Patch(std::uint32_t file, std::uint64_t offset, unsigned char* buffer,
                      std::size_t size) const {
    for (const StagedWrite& w : staged) {
        if (w.file != file) continue;
        const std::uint64_t begin = std::max(offset, w.offset);
        const std::uint64_t end = std::min(offset + size, w.offset + w.bytes.size());
        if (begin < end)
            std::memcpy(buffer + (begin - offset), w.bytes.data() + (begin - w.offset),
                        static_cast<std::size_t>(end - begin));
    }
}

DbStatus TableFile::Commit() {
    inTransaction = false;
    if (staged.empty()) return db::kOk;
    if (count != committedCount) {
        unsigned char countBytes[4];
        PutU32(countBytes, count);
        Stage(0, 4, countBytes, 4);
    }
    std::vector<unsigned char> out(kTxnHeaderSize);
    for (const StagedWrite& w : staged) {
        unsigned char e[kTxnEntryHeaderSize];
        PutU32(e, w.file);
        PutU32(e + 4, static_cast<std::uint32_t>(w.bytes.size()));
        PutU64(e + 8, w.offset);
        out.insert(out.end(), e, e + kTxnEntryHeaderSize);
        out.insert(out.end(), w.bytes.begin(), w.bytes.end());
    }
    PutU32(out.data(), kTxnJournalMagic);
    PutU32(out.data() + 4, static_cast<std::uint32_t>(staged.size()));
    PutU64(out.data() + 8, out.size() - kTxnHeaderSize);
    PutU64(out.data() + 16, Checksum64(out.data() + kTxnHeaderSize, out.size() - kTxnHeaderSize));
    std::vector<StagedWrite> writes = std::move(staged);
    staged.clear();
    if (!journal.Valid()) {
        journal = FileHandle(::open(journalPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
        if (!journal.Valid()) {
            count = committedCount;
            for (auto& index : indexes)
                BuildIndex(*index);
            return db::kIoError;
        }
    }
    // The commit: once the whole journal is written, every step after it is replayed if the
    // process dies, so the change is whole from here on.
    if (!journal.Truncate(0) || !journal.WriteAt(0, out.data(), out.size())) {
        unsigned char zero[4] = {};
        journal.WriteAt(0, zero, 4);
        count = committedCount;
        for (auto& index : indexes)
            BuildIndex(*index);
        return db::kIoError;
    }
    for (const StagedWrite& w : writes) {
        const FileHandle& target = w.file == 0 ? dbf : bin;
        if (!target.WriteAt(w.offset, w.bytes.data(), w.bytes.size()))
            return db::kIoError;  // the journal stays and finishes the change at the next open
    }
    unsigned char zero[4] = {};
    journal.WriteAt(0, zero, 4);
    return db::kOk;
}

void TableFile::Rollback() {
    inTransaction = false;
    if (staged.empty() && count == committedCount) return;
    staged.clear();
    count = committedCount;
    // The in-memory indexes followed the staged changes; the files did not.
    for (auto& index : indexes)
        BuildIndex(*index);
}

}  // namespace detail

// ---------------------------------------------------------------------------------------------

struct CDbTable::Cursor {
    std::vector<detail::IndexData*> handles;
    int selected = 0;
    long recno = -1;  // current record, -1 at the end
    detail::IndexData* scopeIndex = nullptr;
    std::string scopeKey;
    int filterField = -1;
    std::string filterValue;
    // Blob continuation.
    long blobRecno = -1;
    int blobSlot = -1;
    std::vector<unsigned char> pendingWrite;
    std::vector<unsigned char> pendingRead;
    std::size_t readOffset = 0;

    detail::IndexData* Index() const {
        return selected > 0 ? handles[static_cast<std::size_t>(selected - 1)] : nullptr;
    }
    void ResetBlob() {
        blobRecno = -1;
        pendingWrite.clear();
        pendingRead.clear();
        readOffset = 0;
    }
};

CDbTable::CDbTable(CDbConnection& connection) : m_connection(connection), m_cursor(new Cursor) {}

CDbTable::~CDbTable() {
    Close();
}

DbStatus CDbTable::Ready() const {
    if (!m_connection.IsConnected()) return db::kNotConnected;
    if (!m_file) return db::kTableNotOpen;
    return db::kOk;
}

DbStatus CDbTable::Open(const std::string& path) {
    if (!m_connection.IsConnected()) return db::kNotConnected;
    Close();
    std::string key = detail::RegistryKey(path);
    std::lock_guard<std::mutex> lock(detail::g_registryMutex);
    auto& registry = detail::Registry();
    if (auto it = registry.find(key); it != registry.end()) {
        if (auto shared = it->second.lock()) {
            m_file = shared;
            *m_cursor = Cursor();
            return db::kOk;
        }
    }
    auto file = std::make_shared<detail::TableFile>();
    file->path = path;
    file->storeReadOnly = !m_connection.Writable();
    DbStatus st = detail::OpenLocked(path, false, &file->dbf, &file->readOnly);
    if (st == db::kOk) st = file->Load();
    if (st != db::kOk) {
        file->readOnly = true;  // nothing to write back for a table that did not open
        return st;
    }
    registry[key] = file;
    m_file = file;
    *m_cursor = Cursor();
    return db::kOk;
}

DbStatus CDbTable::Create(const std::string& path, const FieldDescriptor* fields, int count) {
    if (!m_connection.IsConnected()) return db::kNotConnected;
    Close();
    std::string key = detail::RegistryKey(path);
    std::lock_guard<std::mutex> lock(detail::g_registryMutex);
    auto& registry = detail::Registry();
    if (auto it = registry.find(key); it != registry.end() && !it->second.expired())
        return db::kBadArgument;
    if (!m_connection.Writable()) return db::kReadOnlyStore;
    // Creating over any file of a table would destroy what it holds.
    std::error_code ec;
    for (const char* ext : {".BIN", ".JNL"})
        if (std::filesystem::exists(SiblingPath(path, ext), ec)) return db::kFileExists;
    auto file = std::make_shared<detail::TableFile>();
    file->path = path;
    DbStatus st = detail::OpenLocked(path, true, &file->dbf, &file->readOnly);
    if (st == db::kOk && file->readOnly) st = db::kIoError;
    if (st == db::kOk) st = file->CreateFresh(fields, count);
    if (st != db::kOk) {
        file->readOnly = true;
        return st;
    }
    registry[key] = file;
    m_file = file;
    *m_cursor = Cursor();
    return db::kOk;
}

DbStatus CDbTable::OpenEmpty(const std::string& path, const FieldDescriptor* fields, int count) {
    if (!m_connection.IsConnected()) return db::kNotConnected;
    Close();
    auto file = std::make_shared<detail::TableFile>();
    file->path = path;
    file->readOnly = true;
    file->storeReadOnly = true;
    DbStatus st = file->SetFields(fields, count);
    if (st != db::kOk) return st;
    m_file = file;  // not shared: nothing on disk to share
    *m_cursor = Cursor();
    return db::kOk;
}

DbStatus CDbTable::BeginTransaction() {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    if (m_file->readOnly) return db::kReadOnlyStore;
    if (m_file->inTransaction) return db::kBadArgument;
    m_file->inTransaction = true;
    m_file->committedCount = m_file->count;
    m_file->staged.clear();
    m_cursor->ResetBlob();
    return db::kOk;
}

DbStatus CDbTable::Commit() {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    if (!m_file->inTransaction) return db::kBadArgument;
    m_cursor->ResetBlob();
    return m_file->Commit();
}

void CDbTable::Rollback() {
    if (!m_file || !m_file->inTransaction) return;
    m_cursor->ResetBlob();
    m_file->Rollback();
    if (m_cursor->recno >= static_cast<long>(m_file->count)) m_cursor->recno = -1;
}

CDbTransaction::CDbTransaction(CDbTable& table) : m_table(table) {
    m_status = table.BeginTransaction();
}

CDbTransaction::~CDbTransaction() {
    if (!m_done && m_status == db::kOk) m_table.Rollback();
}

DbStatus CDbTransaction::Commit() {
    if (m_status != db::kOk) return m_status;
    m_done = true;
    return m_table.Commit();
}

DbStatus CDbTable::Close() {
    if (!m_file) return db::kOk;
    std::lock_guard<std::mutex> lock(detail::g_registryMutex);
    std::string key = detail::RegistryKey(m_file->path);
    m_file.reset();  // the last holder flushes and unlocks
    auto& registry = detail::Registry();
    if (auto it = registry.find(key); it != registry.end() && it->second.expired())
        registry.erase(it);
    *m_cursor = Cursor();
    return db::kOk;
}

DbStatus CDbTable::OpenIndex(const std::string& path, int* handle) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    for (auto& index : m_file->indexes) {
        if (index->path == path) {
            m_cursor->handles.push_back(index.get());
            *handle = static_cast<int>(m_cursor->handles.size());
            return db::kOk;
        }
    }
    auto index = std::make_unique<detail::IndexData>();
    index->path = path;
    bool rebuilt = false;
    if ((st = m_file->LoadIndex(*index, &rebuilt)) != db::kOk) return st;
    m_cursor->handles.push_back(index.get());
    m_file->indexes.push_back(std::move(index));
    *handle = static_cast<int>(m_cursor->handles.size());
    return db::kOk;
}

DbStatus CDbTable::CreateIndex(const std::string& path, const char* keyField, bool unique,
                               int* handle) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    // A table that may not be written gets its index in memory only.
    const bool keepInMemory = m_file->readOnly || m_file->storeReadOnly;
    int field = keyField ? m_file->FieldIndex(keyField) : -1;
    if (field < 0 || m_file->fields[static_cast<std::size_t>(field)].type == 'B')
        return db::kBadField;
    auto& indexes = m_file->indexes;
    indexes.erase(
        std::remove_if(indexes.begin(), indexes.end(), [&](auto& i) { return i->path == path; }),
        indexes.end());
    auto index = std::make_unique<detail::IndexData>();
    index->path = path;
    index->keyField = m_file->fields[static_cast<std::size_t>(field)];
    index->keyOffset = m_file->offsets[static_cast<std::size_t>(field)];
    index->keyWidth = index->keyField.width;
    index->unique = unique;
    if ((st = m_file->BuildIndex(*index)) != db::kOk) return st;
    if (!keepInMemory && !m_file->WriteIndex(*index)) return db::kIoError;
    m_cursor->handles.push_back(index.get());
    indexes.push_back(std::move(index));
    *handle = static_cast<int>(m_cursor->handles.size());
    return db::kOk;
}

DbStatus CDbTable::SelectIndex(int handle) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    if (handle < 0 || handle > static_cast<int>(m_cursor->handles.size())) return db::kBadArgument;
    m_cursor->selected = handle;
    if (m_cursor->scopeIndex && m_cursor->scopeIndex != m_cursor->Index())
        m_cursor->scopeIndex = nullptr;
    return db::kOk;
}

bool CDbTable::Visible(long recno, DbStatus* status) {
    *status = db::kOk;
    if (m_cursor->filterField < 0 && m_cursor->Index()) return true;
    std::vector<char> buffer(m_file->recordLength);
    char flag = 0;
    *status = m_file->ReadRecord(static_cast<std::uint32_t>(recno), &flag, buffer.data());
    if (*status != db::kOk || flag == '*') return false;
    if (m_cursor->filterField < 0) return true;
    std::size_t f = static_cast<std::size_t>(m_cursor->filterField);
    return TrimRight(buffer.data() + m_file->offsets[f], m_file->fields[f].width) ==
           m_cursor->filterValue;
}

// Moves from the current record by steps (0 = settle on the current or next visible one).
DbStatus CDbTable::MoveFromCurrent(int steps) {
    Cursor& c = *m_cursor;
    if (c.recno < 0) return db::kOk;
    DbStatus st = db::kOk;
    if (detail::IndexData* index = c.Index()) {
        std::uint32_t r = static_cast<std::uint32_t>(c.recno);
        std::size_t end = index->order.size();
        std::size_t begin = 0;
        if (c.scopeIndex == index) {
            begin = index->LowerBound(c.scopeKey.data(), index->keyWidth, 0);
            end = index->UpperBound(c.scopeKey.data(), index->keyWidth);
        }
        std::size_t pos = static_cast<std::uint32_t>(c.recno) < m_file->count
                              ? index->LowerBound(index->Key(r), index->keyWidth, r)
                              : end;
        bool onCurrent = pos < index->order.size() && index->order[pos] == r;
        if (onCurrent)
            pos += static_cast<std::size_t>(steps);
        else if (steps > 1)
            pos += static_cast<std::size_t>(steps - 1);
        if (pos < begin) pos = begin;
        for (; pos < end; ++pos) {
            if (Visible(index->order[pos], &st)) break;
            if (st != db::kOk) return st;
        }
        c.recno = pos < end ? static_cast<long>(index->order[pos]) : -1;
        return db::kOk;
    }
    long r = c.recno + steps;
    for (; r < static_cast<long>(m_file->count); ++r) {
        if (Visible(r, &st)) break;
        if (st != db::kOk) return st;
    }
    c.recno = r < static_cast<long>(m_file->count) ? r : -1;
    return db::kOk;
}

DbStatus CDbTable::Position(long recno) {
    m_cursor->recno = recno;
    return MoveFromCurrent(0);
}

DbStatus CDbTable::GoFirst() {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    detail::IndexData* index = m_cursor->Index();
    if (!index) return Position(0);
    std::size_t pos = m_cursor->scopeIndex == index
                          ? index->LowerBound(m_cursor->scopeKey.data(), index->keyWidth, 0)
                          : 0;
    if (pos >= index->order.size()) {
        m_cursor->recno = -1;
        return db::kOk;
    }
    return Position(index->order[pos]);
}

DbStatus CDbTable::Find(const char* key, int length, bool* found) {
    DbStatus st = Ready();
    *found = false;
    if (st != db::kOk) return st;
    detail::IndexData* index = m_cursor->Index();
    if (!index || !key || length <= 0 || length > index->keyWidth) return db::kBadArgument;
    std::size_t pos = index->LowerBound(key, length, 0);
    if (pos < index->order.size() &&
        std::memcmp(index->Key(index->order[pos]), key, static_cast<std::size_t>(length)) == 0) {
        m_cursor->recno = index->order[pos];
        *found = true;
    }
    return db::kOk;
}

DbStatus CDbTable::Seek(const char* key, int length, char* buffer, bool* found) {
    DbStatus st = Find(key, length, found);
    if (st != db::kOk || !*found) return st;
    return ReadCurrent(buffer);
}

DbStatus CDbTable::ReadCurrent(char* buffer) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    if (m_cursor->recno < 0) return db::kNoRecord;
    char flag = 0;
    st = m_file->ReadRecord(static_cast<std::uint32_t>(m_cursor->recno), &flag, buffer);
    if (st != db::kOk) return st;
    if (flag == '*') return m_cursor->Index() ? db::kFileDamaged : db::kNoRecord;
    return db::kOk;
}

DbStatus CDbTable::ReadNext(int count, char* buffer, int* read) {
    DbStatus st = Ready();
    *read = 0;
    if (st != db::kOk) return st;
    if (count <= 0 || !buffer) return db::kBadArgument;
    for (int i = 0; i < count && m_cursor->recno >= 0; ++i) {
        st = ReadCurrent(buffer + static_cast<std::size_t>(i) * m_file->DataLength());
        if (st != db::kOk) return st;
        ++*read;
        if ((st = MoveFromCurrent(1)) != db::kOk) return st;
    }
    return db::kOk;
}

DbStatus CDbTable::Skip(int count) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    if (count < 0) return db::kBadArgument;
    return MoveFromCurrent(count);
}

DbStatus CDbTable::GoLast() {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    detail::IndexData* index = m_cursor->Index();
    long last = -1;
    if (index) {
        std::size_t begin = 0, end = index->order.size();
        if (m_cursor->scopeIndex == index) {
            begin = index->LowerBound(m_cursor->scopeKey.data(), index->keyWidth, 0);
            end = index->UpperBound(m_cursor->scopeKey.data(), index->keyWidth);
        }
        for (std::size_t pos = end; pos > begin; --pos) {
            if (Visible(index->order[pos - 1], &st)) {
                last = index->order[pos - 1];
                break;
            }
            if (st != db::kOk) return st;
        }
    } else {
        for (long r = static_cast<long>(m_file->count) - 1; r >= 0; --r) {
            if (Visible(r, &st)) {
                last = r;
                break;
            }
            if (st != db::kOk) return st;
        }
    }
    m_cursor->recno = last;
    return db::kOk;
}

DbStatus CDbTable::AtEnd(bool* atEnd) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    *atEnd = m_cursor->recno < 0;
    return db::kOk;
}

DbStatus CDbTable::Append(const char* buffer) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    if (!buffer) return db::kBadArgument;
    std::uint32_t recno = 0;
    if ((st = m_file->Append(buffer, &recno)) != db::kOk) return st;
    m_cursor->recno = recno;
    m_cursor->ResetBlob();
    return db::kOk;
}

DbStatus CDbTable::ReplaceCurrent(const char* buffer) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    if (!buffer) return db::kBadArgument;
    if (m_cursor->recno < 0) return db::kNoRecord;
    m_cursor->ResetBlob();
    return m_file->Replace(static_cast<std::uint32_t>(m_cursor->recno), buffer);
}

DbStatus CDbTable::ReplaceByKey(const char* key, int length, const char* buffer) {
    bool found = false;
    DbStatus st = Find(key, length, &found);
    if (st != db::kOk) return st;
    if (!found) return db::kKeyAbsent;
    return ReplaceCurrent(buffer);
}

DbStatus CDbTable::DeleteByKey(const char* key, int length, int flag) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    detail::IndexData* index = m_cursor->Index();
    if (!index || !key || length <= 0 || length > index->keyWidth) return db::kBadArgument;
    std::vector<std::uint32_t> doomed;
    for (std::size_t pos = index->LowerBound(key, length, 0); pos < index->order.size(); ++pos) {
        std::uint32_t r = index->order[pos];
        if (std::memcmp(index->Key(r), key, static_cast<std::size_t>(length)) != 0) break;
        doomed.push_back(r);
        if (flag == 0) break;
    }
    for (std::uint32_t r : doomed)
        if ((st = m_file->Delete(r)) != db::kOk) return st;
    m_cursor->ResetBlob();
    if (!doomed.empty()) m_cursor->recno = -1;
    return db::kOk;
}

DbStatus CDbTable::SetScope(const char* expression, long* count) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    if (!expression) {
        m_cursor->scopeIndex = nullptr;
        m_cursor->scopeKey.clear();
        if (count) *count = 0;
        return GoFirst();
    }
    int handle = 0;
    long value = 0;
    int used = 0;
    if (std::sscanf(expression, "#%d=%ld%n", &handle, &value, &used) != 2 ||
        expression[used] != '\0' || handle <= 0 ||
        handle > static_cast<int>(m_cursor->handles.size()))
        return db::kBadArgument;
    detail::IndexData* index = m_cursor->handles[static_cast<std::size_t>(handle - 1)];
    std::string key(static_cast<std::size_t>(index->keyWidth), ' ');
    std::string text = std::to_string(value);
    if (text.size() > key.size()) return db::kValueTooWide;
    if (index->keyField.type == 'C')
        key.replace(0, text.size(), text);
    else
        key.replace(key.size() - text.size(), text.size(), text);
    m_cursor->selected = handle;
    m_cursor->scopeIndex = index;
    m_cursor->scopeKey = key;
    std::size_t begin = index->LowerBound(key.data(), index->keyWidth, 0);
    std::size_t end = index->UpperBound(key.data(), index->keyWidth);
    if (count) *count = static_cast<long>(end - begin);
    return GoFirst();
}

DbStatus CDbTable::SetFilter(const char* expression) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    if (!expression) {
        m_cursor->filterField = -1;
        return db::kOk;
    }
    const char* eq = std::strchr(expression, '=');
    if (!eq || eq == expression || eq - expression > 10) return db::kBadArgument;
    std::string name(expression, static_cast<std::size_t>(eq - expression));
    int field = m_file->FieldIndex(name.c_str());
    if (field < 0 || m_file->fields[static_cast<std::size_t>(field)].type == 'B')
        return db::kBadField;
    m_cursor->filterField = field;
    m_cursor->filterValue = eq + 1;
    return db::kOk;
}

DbStatus CDbTable::FieldCount(int* count) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    *count = static_cast<int>(m_file->fields.size());
    return db::kOk;
}

DbStatus CDbTable::Descriptor(int index, FieldDescriptor* descriptor) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    if (index < 1 || index > static_cast<int>(m_file->fields.size())) return db::kBadField;
    *descriptor = m_file->fields[static_cast<std::size_t>(index - 1)];
    return db::kOk;
}

DbStatus CDbTable::RecordLength(int* length) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    *length = static_cast<int>(m_file->recordLength);
    return db::kOk;
}

DbStatus CDbTable::ReadBlob(const char* field, void* buffer, std::uint32_t size,
                            std::uint32_t* read) {
    DbStatus st = Ready();
    *read = 0;
    if (st != db::kOk) return st;
    Cursor& c = *m_cursor;
    if (field) {
        int f = m_file->FieldIndex(field);
        if (f < 0 || m_file->blobSlot[static_cast<std::size_t>(f)] < 0) return db::kBadField;
        if (c.recno < 0) return db::kNoRecord;
        c.ResetBlob();
        c.blobSlot = m_file->blobSlot[static_cast<std::size_t>(f)];
        st = m_file->ReadBlobData(static_cast<std::uint32_t>(c.recno), c.blobSlot, &c.pendingRead);
        if (st != db::kOk) return st;
        c.blobRecno = c.recno;
    } else if (c.blobRecno < 0 || c.blobRecno != c.recno) {
        return db::kBadArgument;
    }
    std::size_t n = std::min<std::size_t>(size, c.pendingRead.size() - c.readOffset);
    if (n) std::memcpy(buffer, c.pendingRead.data() + c.readOffset, n);
    c.readOffset += n;
    *read = static_cast<std::uint32_t>(n);
    return db::kOk;
}

DbStatus CDbTable::WriteBlob(const char* field, const void* buffer, std::uint32_t size) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    if (size && !buffer) return db::kBadArgument;
    Cursor& c = *m_cursor;
    if (c.recno < 0) return db::kNoRecord;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    if (field) {
        int f = m_file->FieldIndex(field);
        if (f < 0 || m_file->blobSlot[static_cast<std::size_t>(f)] < 0) return db::kBadField;
        c.ResetBlob();
        c.blobSlot = m_file->blobSlot[static_cast<std::size_t>(f)];
        c.blobRecno = c.recno;
        c.pendingWrite.assign(bytes, bytes + size);
    } else {
        if (c.blobRecno != c.recno || c.pendingWrite.empty()) return db::kBadArgument;
        if (c.pendingWrite.size() + size > kMaxBlobSize) return db::kBadArgument;
        c.pendingWrite.insert(c.pendingWrite.end(), bytes, bytes + size);
    }
    // A continuation rewrites the whole blob to fresh space, so the blob switches in one step.
    st = m_file->WriteBlobData(static_cast<std::uint32_t>(c.recno), c.blobSlot,
                               c.pendingWrite.data(),
                               static_cast<std::uint32_t>(c.pendingWrite.size()));
    if (st != db::kOk) c.ResetBlob();
    return st;
}

DbStatus CDbTable::BlobSize(const char* field, std::uint32_t* size) {
    DbStatus st = Ready();
    *size = 0;
    if (st != db::kOk) return st;
    int f = field ? m_file->FieldIndex(field) : -1;
    if (f < 0 || m_file->blobSlot[static_cast<std::size_t>(f)] < 0) return db::kBadField;
    if (m_cursor->recno < 0) return db::kNoRecord;
    std::uint64_t offset = 0;
    return m_file->BlobEntry(static_cast<std::uint32_t>(m_cursor->recno),
                             m_file->blobSlot[static_cast<std::size_t>(f)], &offset, size);
}

DbStatus CDbTable::CopyRecords(CDbTable& source, long* added) {
    DbStatus st = Ready();
    if (added) *added = 0;
    if (st != db::kOk) return st;
    if ((st = source.Ready()) != db::kOk) return st;
    detail::TableFile& from = *source.m_file;
    detail::TableFile& to = *m_file;
    // Same-named fields keep their values; text is cut or padded, numbers keep their digits.
    struct Map {
        int to, from;
    };
    std::vector<Map> map;
    std::vector<Map> blobs;
    for (std::size_t i = 0; i < to.fields.size(); ++i) {
        int j = from.FieldIndex(to.fields[i].name);
        if (j < 0) continue;
        bool toBlob = to.fields[i].type == 'B';
        bool fromBlob = from.fields[static_cast<std::size_t>(j)].type == 'B';
        if (toBlob && fromBlob)
            blobs.push_back({static_cast<int>(i), j});
        else if (!toBlob && !fromBlob)
            map.push_back({static_cast<int>(i), j});
    }
    std::vector<char> in(from.recordLength), out(to.recordLength);
    std::vector<unsigned char> blob;
    for (std::uint32_t r = 0; r < from.count; ++r) {
        char flag = 0;
        if ((st = from.ReadRecord(r, &flag, in.data())) != db::kOk) return st;
        if (flag == '*') continue;
        std::fill(out.begin(), out.end(), ' ');
        for (const Map& m : map) {
            const FieldDescriptor& tf = to.fields[static_cast<std::size_t>(m.to)];
            const FieldDescriptor& ff = from.fields[static_cast<std::size_t>(m.from)];
            const char* src = in.data() + from.offsets[static_cast<std::size_t>(m.from)];
            char* dst = out.data() + to.offsets[static_cast<std::size_t>(m.to)];
            std::string text = TrimRight(src, ff.width);
            if (tf.type == 'I' || tf.type == 'N') {
                std::size_t lead = text.find_first_not_of(' ');
                text = lead == std::string::npos ? std::string() : text.substr(lead);
                if (text.size() > static_cast<std::size_t>(tf.width)) return db::kValueTooWide;
                std::memcpy(dst + tf.width - static_cast<int>(text.size()), text.data(),
                            text.size());
            } else {
                std::memcpy(dst, text.data(),
                            std::min<std::size_t>(text.size(), static_cast<std::size_t>(tf.width)));
            }
        }
        std::uint32_t recno = 0;
        if ((st = to.Append(out.data(), &recno)) != db::kOk) return st;
        for (const Map& m : blobs) {
            st = from.ReadBlobData(r, from.blobSlot[static_cast<std::size_t>(m.from)], &blob);
            if (st != db::kOk) return st;
            if (blob.empty()) continue;
            st = to.WriteBlobData(recno, to.blobSlot[static_cast<std::size_t>(m.to)], blob.data(),
                                  static_cast<std::uint32_t>(blob.size()));
            if (st != db::kOk) return st;
        }
        if (added) ++*added;
    }
    m_cursor->recno = -1;
    return db::kOk;
}

DbStatus CDbTable::Verify(std::string* report) {
    DbStatus st = Ready();
    if (st != db::kOk) return st;
    detail::TableFile& t = *m_file;
    char line[256];
    std::snprintf(line, sizeof line,
                  "records %u, record length %u, header %u, fields %zu, blob fields %d\n", t.count,
                  t.recordLength, t.headerLength, t.fields.size(), t.blobFields);
    report->append(line);
    std::uint32_t live = 0;
    std::vector<unsigned char> blob;
    DbStatus worst = db::kOk;
    for (std::uint32_t r = 0; r < t.count; ++r) {
        char flag = 0;
        if ((st = t.ReadRecord(r, &flag, nullptr)) != db::kOk) {
            std::snprintf(
                line, sizeof line, "record %u: %s\n", r,
                st == db::kFileDamaged ? "deletion flag neither ' ' nor '*'" : DbStatusText(st));
            report->append(line);
            return st;  // the first is enough: a damaged table may hold millions more
        }
        if (flag == '*') continue;
        ++live;
        for (int s = 0; s < t.blobFields; ++s) {
            if ((st = t.ReadBlobData(r, s, &blob)) != db::kOk) {
                std::snprintf(line, sizeof line, "record %u blob %d: %s\n", r, s, DbStatusText(st));
                report->append(line);
                worst = st;
            }
        }
    }
    std::snprintf(line, sizeof line, "live records %u\n", live);
    report->append(line);
    std::vector<char> record(t.recordLength);
    for (auto& index : t.indexes) {
        // Every key must be its record's, and its record live.
        std::size_t wrong = 0;
        for (std::uint32_t r : index->order) {
            char flag = 0;
            if (t.ReadRecord(r, &flag, record.data()) != db::kOk || flag != ' ' ||
                std::memcmp(record.data() + index->keyOffset, index->Key(r),
                            static_cast<std::size_t>(index->keyWidth)) != 0) {
                if (wrong++ == 0) {
                    std::snprintf(
                        line, sizeof line, "index %s: key of record %u %s\n", index->path.c_str(),
                        r, flag == '*' ? "points to a deleted record" : "differs from its record");
                    report->append(line);
                }
            }
        }
        if (wrong) worst = db::kFileDamaged;
        bool ordered = true;
        for (std::size_t i = 1; i < index->order.size(); ++i)
            if (std::memcmp(index->Key(index->order[i - 1]), index->Key(index->order[i]),
                            static_cast<std::size_t>(index->keyWidth)) > 0)
                ordered = false;
        std::snprintf(line, sizeof line, "index %s on %s: %zu keys, %s%s\n", index->path.c_str(),
                      index->keyField.name, index->order.size(),
                      ordered ? "in order" : "OUT OF ORDER",
                      index->order.size() == live ? "" : ", count differs from live records");
        report->append(line);
        if (!ordered || index->order.size() != live) worst = db::kFileDamaged;
    }
    return worst;
}

}  // namespace vesk
