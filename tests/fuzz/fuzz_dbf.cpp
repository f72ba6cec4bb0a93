// The table engine on arbitrary table files.
//
// Input: three little-endian uint32 lengths, then that many bytes of the .DBF, the .EDX and the
// .BIN, and whatever follows as the .JNL. An input shorter than the prefix is the .DBF alone.
// The files are opened as IMPULSE, read every way, written to, closed and opened again; then
// opened afresh through the store's IMPULSE table with its layout check and conversion.
#include <algorithm>
#include <cstring>
#include <vector>

#include "store/db_engine.h"
#include "store/file_io.h"
#include "store/messages.h"
#include "store/samples.h"
#include "store/tables.h"
#include "tests/fuzz/fuzz_common.h"

namespace vesk {
namespace {

class Answers : public MessageSink {
  public:
    bool ok = false;
    void ShowMessage(const std::string&) override {}
    bool AskOkCancel(const std::string&) override { return ok; }
};

struct Parts {
    const std::uint8_t *dbf = nullptr, *edx = nullptr, *bin = nullptr, *jnl = nullptr;
    std::size_t dbfSize = 0, edxSize = 0, binSize = 0, jnlSize = 0;
};

Parts Split(const std::uint8_t* data, std::size_t size) {
    Parts p;
    if (size < 12) {
        p.dbf = data;
        p.dbfSize = size;
        return p;
    }
    std::size_t at = 12;
    auto take = [&](std::size_t want, const std::uint8_t** part, std::size_t* n) {
        *n = std::min(want, size - at);
        *part = data + at;
        at += *n;
    };
    take(detail::GetU32(data), &p.dbf, &p.dbfSize);
    take(detail::GetU32(data + 4), &p.edx, &p.edxSize);
    take(detail::GetU32(data + 8), &p.bin, &p.binSize);
    take(size - at, &p.jnl, &p.jnlSize);
    return p;
}

void WriteParts(const std::string& dir, const Parts& p) {
    fuzz::ClearScratch();
    fuzz::WriteWhole(dir + "/IMPULSE.DBF", p.dbf, p.dbfSize);
    if (p.edxSize) {
        fuzz::WriteWhole(dir + "/IMPULSE1.EDX", p.edx, p.edxSize);
        fuzz::WriteWhole(dir + "/IMPULSE2.EDX", p.edx, p.edxSize);
    }
    if (p.binSize) fuzz::WriteWhole(dir + "/IMPULSE.BIN", p.bin, p.binSize);
    if (p.jnlSize) fuzz::WriteWhole(dir + "/IMPULSE.JNL", p.jnl, p.jnlSize);
}

constexpr int kGuard = 1 << 16;

void Walk(CDbTable& t, int index) {
    int length = 0, fields = 0;
    if (t.RecordLength(&length) != db::kOk || t.FieldCount(&fields) != db::kOk) return;
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    std::vector<FieldDescriptor> blobs;
    bool wave = false;
    for (int i = 1; i <= fields; ++i) {
        FieldDescriptor f;
        if (t.Descriptor(i, &f) == db::kOk && f.type == 'B') {
            blobs.push_back(f);
            wave = wave || std::strcmp(f.name, "WAVEDATA") == 0;
        }
    }
    for (int handle : {0, index}) {
        if (t.SelectIndex(handle) != db::kOk || t.GoFirst() != db::kOk) continue;
        int guard = 0;
        for (bool end = false; guard < kGuard && t.AtEnd(&end) == db::kOk && !end; ++guard) {
            t.ReadCurrent(buffer.data());
            for (const FieldDescriptor& f : blobs) {
                std::uint32_t size = 0, read = 0;
                if (t.BlobSize(f.name, &size) != db::kOk) continue;
                std::vector<unsigned char> data(size);
                t.ReadBlob(f.name, data.data(), size, &read);
                if (read > size) abort();
            }
            SampleBlock samples;
            if (wave) ReadWaveData(t, &samples);
            if (t.Skip(1) != db::kOk) break;
        }
        if (guard == kGuard) abort();  // a walk that does not end
        t.GoLast();
        t.ReadCurrent(buffer.data());
    }
    std::string report;
    t.Verify(&report);
}

void RawPass(const std::string& dir) {
    CDbTable t;
    if (t.Open(dir + "/IMPULSE.DBF") != db::kOk) return;
    int index = 0;
    if (t.OpenIndex(dir + "/IMPULSE2.EDX", &index) != db::kOk) index = 0;
    Walk(t, index);
    // Writes on top of whatever was read: they must keep to the file's own bounds too.
    int length = 0;
    t.RecordLength(&length);
    std::vector<char> record(static_cast<std::size_t>(std::max(length, 1)), '1');
    if (t.Append(record.data()) == db::kOk) {
        t.WriteBlob("WAVEDATA", "0123456789abcdef", 16);
        t.WriteBlob(nullptr, "ghij", 4);
    }
    if (t.GoFirst() == db::kOk) {
        t.ReplaceCurrent(record.data());
        t.WriteBlob("WAVEDATA", "x", 1);
    }
    if (index) {
        t.SelectIndex(index);
        t.DeleteByKey(record.data(), std::min(8, std::max(length - 1, 1)), 1);
    }
    t.Close();
    // What opened before the writes must open after them: a write outside its place shows here.
    DbStatus st = t.Open(dir + "/IMPULSE.DBF");
    if (st == db::kFileDamaged || st == db::kBlobDamaged) abort();
    if (st != db::kOk) return;
    if (t.OpenIndex(dir + "/IMPULSE2.EDX", &index) != db::kOk) index = 0;
    Walk(t, index);
}

void TypedPass(const std::string& dir, bool convert) {
    Answers answers;
    answers.ok = convert;
    SetMessages(&answers);
    {
        CImpulseTable impulses;
        if (impulses.Open(dir)) {
            long count = 0;
            for (long folder : {0L, 1L, 2L}) {
                if (!impulses.SetScopeTo(folder, &count)) continue;
                ImpulseRecord r;
                for (int guard = 0; guard < kGuard && impulses.Read(-1, &r); ++guard) {
                    SampleBlock samples;
                    ReadWaveData(impulses, &samples);
                    if (impulses.Skip(1) != db::kOk) break;
                }
            }
            std::int32_t id = 0;
            impulses.NextId(&id);
            ImpulseRecord r;
            impulses.Read(1, &r);
        }
    }
    SetMessages(nullptr);
}

}  // namespace
}  // namespace vesk

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vesk;
    const std::string& dir = fuzz::ScratchDir();
    static bool connected = ConnectStoreAt(dir);
    (void)connected;
    SetLockWaitMilliseconds(0);
    Parts parts = Split(data, size);
    WriteParts(dir, parts);
    RawPass(dir);
    WriteParts(dir, parts);
    TypedPass(dir, size % 2 == 1);
    return 0;
}
