// Damaged and hostile files: every read must come back as a status or a refusal, never as a
// crash, a read past a buffer or a hang.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "store/db_engine.h"
#include "store/file_io.h"
#include "store/samples.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

using detail::Checksum64;
using detail::GetU16;
using detail::GetU32;
using detail::GetU64;
using detail::PutU16;
using detail::PutU32;
using detail::PutU64;
using Bytes = std::vector<unsigned char>;
using Files = std::map<std::string, Bytes>;

// Walks stop here; reaching it means a walk did not end.
constexpr int kGuard = 100000;

std::vector<std::int16_t> Ramp(std::size_t n, int step) {
    std::vector<std::int16_t> s(n);
    for (std::size_t i = 0; i < n; ++i)
        s[i] = static_cast<std::int16_t>(static_cast<int>(i) * step - 3000);
    return s;
}

// A small store with every table and every kind of blob in it.
void BuildPristine(Files* files) {
    test::TempStore store;
    test::ScriptedMessages messages(true);
    {
        CFolderTable folders;
        ASSERT_EQ(folders.Open(), 1);
        const char* types[] = {"I", "A", "N"};
        for (int i = 1; i <= 3; ++i) {
            FolderRecord f;
            f.folderId = i;
            f.type = types[i - 1];
            f.name = "Folder " + std::to_string(i);
            f.place = "Hall";
            f.date = "20240102";
            f.scale = 1.5 * i;
            ASSERT_EQ(folders.Append(f), 1);
        }
        CImpulseTable impulses;
        CAcParamTable params;
        ASSERT_EQ(impulses.Open(), 1);
        ASSERT_EQ(params.Open(), 1);
        for (int i = 1; i <= 4; ++i) {
            ImpulseRecord r;
            r.folderId = 1;
            r.impulseId = i;
            r.sampling = 48000;
            r.channel = 2;
            r.bit = 16;
            r.time = "20240102030405";
            r.title = "Seat " + std::to_string(i);
            r.temperature = 21.5;
            r.noMls = i % 2;
            ASSERT_EQ(impulses.Append(r, MakeWaveBlock(2, Ramp(96u * i, 7 * i))), 1);
            if (i <= 2) {
                AcParamRecord p;
                p.impulseId = i;
                p.nData = 12;
                p.dt1MinTime = 10;
                for (int b = 0; b < kAcParamBands; ++b) {
                    p.bands[b].freq = b;
                    p.bands[b].splL = -3.25 * b;
                }
                ASSERT_EQ(params.Write(p), db::kOk);
            }
        }
        CAcfTable acf;
        CAcfFactTable facts;
        ASSERT_EQ(acf.Open(), 1);
        ASSERT_EQ(facts.Open(), 1);
        for (int i = 1; i <= 2; ++i) {
            AcfRecord r;
            r.folderId = 2;
            r.acfId = i;
            r.sampling = 44100;
            r.channel = 1;
            r.sampleNum = 200 * i;
            ASSERT_EQ(acf.Append(r, MakeWaveBlock(1, Ramp(200u * i, 3))), 1);
        }
        AcfFactRecord fact;
        fact.acfId = 1;
        AcfFactBlobs fb;
        fb.cond.fill(0x11);
        fb.factors.assign(3 * blob::kAcfFactorSize, 0x22);
        fb.peaks.assign(3 * blob::kAcfPeakSize, 0x33);
        ASSERT_EQ(facts.Write(fact, fb), db::kOk);
        CNmsTable nms;
        ASSERT_EQ(nms.Open(), 1);
        for (int i = 1; i <= 2; ++i) {
            NmsRecord r;
            r.folderId = 3;
            r.nmsId = i;
            r.sampling = 48000;
            r.channel = 2;
            r.sampleNum = 128;
            std::array<unsigned char, blob::kNmsCondSize> cond{};
            cond.fill(static_cast<unsigned char>(i));
            ASSERT_EQ(nms.Append(r, MakeWaveBlock(2, Ramp(128, 5)), cond), 1);
            std::array<unsigned char, blob::kNoiseSourceSize> source{};
            source.fill('s');
            ASSERT_EQ(nms.WriteResult(r, cond, Bytes(2 * blob::kNmsFactorSize, 0x44), source),
                      db::kOk);
        }
        CNsTmpTable templates;
        ASSERT_EQ(templates.Open(), 1);
        for (int i = 1; i <= 2; ++i) {
            NsTmpRecord t;
            t.nsTmpId = i;
            t.nsTmpName = "Template " + std::to_string(i);
            CNsTmpTable::TemplateData data{};
            data.fill(static_cast<unsigned char>(0x50 + i));
            ASSERT_EQ(templates.Append(t, &data), 1);
        }
    }
    ASSERT_TRUE(messages.shown.empty()) << messages.shown.front();
    for (const auto& entry : std::filesystem::directory_iterator(store.DataPath()))
        (*files)[entry.path().filename().string()] = test::ReadFileBytes(entry.path().string());
}

struct WalkCount {
    int records = 0, blobs = 0, waves = 0, typed = 0;
};

// Reads a table every way it can be read: record order and each index, every blob of every
// record, the samples, the first and last records, and the self-check.
void WalkRaw(CStoreTable& t, WalkCount* n) {
    if (!t.IsOpen()) return;
    const std::vector<FieldDescriptor>* fields = nullptr;
    if (t.Fields(&fields) != db::kOk) return;
    int length = 0;
    if (t.RecordLength(&length) != db::kOk) return;
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
    CDbTable& table = t;
    const bool hasWave = std::any_of(fields->begin(), fields->end(), [](const FieldDescriptor& f) {
        return std::strcmp(f.name, "WAVEDATA") == 0;
    });
    std::set<int> handles = {0, t.Index1(), t.Index2()};
    for (int handle : handles) {
        if (table.SelectIndex(handle) != db::kOk || table.GoFirst() != db::kOk) continue;
        int guard = 0;
        for (; guard < kGuard; ++guard) {
            bool atEnd = true;
            if (table.AtEnd(&atEnd) != db::kOk || atEnd) break;
            if (table.ReadCurrent(buffer.data()) == db::kOk && handle == 0) ++n->records;
            for (const FieldDescriptor& f : *fields) {
                if (f.type != 'B') continue;
                std::uint32_t size = 0, read = 0;
                if (table.BlobSize(f.name, &size) != db::kOk) continue;
                Bytes data(size);
                if (table.ReadBlob(f.name, data.data(), size, &read) != db::kOk) continue;
                EXPECT_EQ(read, size);
                if (handle == 0) ++n->blobs;
                // The whole blob was delivered: a continued read has nothing more to give.
                EXPECT_EQ(table.ReadBlob(nullptr, data.data(), size, &read), db::kOk);
                EXPECT_EQ(read, 0u);
            }
            SampleBlock samples;
            if (hasWave && ReadWaveData(table, &samples) == db::kOk && handle == 0) ++n->waves;
            if (table.Skip(1) != db::kOk) break;
        }
        EXPECT_LT(guard, kGuard) << "walk on index " << handle << " did not end";
        if (table.GoLast() == db::kOk) table.ReadCurrent(buffer.data());
        int read = 0;
        if (table.GoFirst() == db::kOk) table.ReadNext(1, buffer.data(), &read);
    }
    std::int32_t id = 0;
    t.NextId(&id);
    std::string report;
    t.Verify(&report);
}

// Opens every table of the store and reads everything, the typed way and the raw way.
WalkCount WalkStore(const std::string& dataPath, bool answer) {
    WalkCount n;
    test::ScriptedMessages messages(answer);
    CFolderTable folders;
    CImpulseTable impulses;
    CAcfTable acf;
    CNmsTable nms;
    CNsTmpTable templates;
    CAcParamTable params;
    CAcfFactTable facts;
    CStoreTable* all[] = {&folders, &impulses, &acf, &nms, &templates, &params, &facts};
    for (CStoreTable* t : all)
        t->Open(dataPath);

    std::set<long> folderIds = {1, 2, 3, 0, -1, 99999999};
    if (folders.IsOpen() && folders.SetScope(nullptr, nullptr) == db::kOk) {
        FolderRecord f;
        for (int guard = 0; guard < kGuard && folders.ReadNext(&f); ++guard) {
            folderIds.insert(f.folderId);
            ++n.typed;
        }
    }
    for (long folder : folderIds) {
        long count = 0;
        if (impulses.IsOpen() && impulses.SetScopeTo(folder, &count)) {
            ImpulseRecord r;
            std::vector<long> ids;
            int guard = 0;
            for (; guard < kGuard && impulses.Read(-1, &r); ++guard) {
                ++n.typed;
                ids.push_back(r.impulseId);
                SampleBlock samples;
                ReadWaveData(impulses, &samples);
                if (impulses.Skip(1) != db::kOk) break;
            }
            EXPECT_LT(guard, kGuard);
            for (long id : ids) {
                impulses.Read(id, &r);
                AcParamRecord p;
                if (params.IsOpen() && params.Exists(id)) params.Read(id, &p);
            }
        }
        if (acf.IsOpen() && acf.SetScopeTo(folder, &count)) {
            AcfRecord r;
            int guard = 0;
            for (; guard < kGuard && acf.ReadNext(&r); ++guard) {
                ++n.typed;
                AcfFactRecord fr;
                AcfFactBlobs fb;
                if (facts.IsOpen() && facts.Exists(r.acfId)) facts.Read(r.acfId, &fr, &fb);
            }
            EXPECT_LT(guard, kGuard);
        }
        if (nms.IsOpen() && nms.SetScopeTo(folder, &count)) {
            NmsRecord r;
            NmsBlobs blobs;
            int guard = 0;
            for (; guard < kGuard && nms.Read(-1, &r, &blobs); ++guard) {
                ++n.typed;
                if (nms.Skip(1) != db::kOk) break;
            }
            EXPECT_LT(guard, kGuard);
        }
    }
    if (templates.IsOpen()) {
        std::int32_t next = 0;
        templates.NextTemplateId(&next);
        NsTmpRecord r;
        CNsTmpTable::TemplateData data{};
        if (templates.SelectIndex(templates.Index1()) == db::kOk &&
            templates.GoFirst() == db::kOk) {
            int guard = 0;
            for (; guard < kGuard && templates.ReadNextWithData(&r, &data); ++guard)
                ++n.typed;
            EXPECT_LT(guard, kGuard);
        }
        templates.Read(1, &r, &data);
    }
    for (CStoreTable* t : all)
        WalkRaw(*t, &n);
    return n;
}

// One damaged copy of the store: a file and what is done to it (false removes the file).
struct Mutant {
    std::string file, what;
    std::function<bool(Bytes&)> change;
};

bool HasExtension(const std::string& name, const char* ext) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, ext) == 0;
}

void AddGeneric(const std::string& file, const Bytes& pristine, std::vector<Mutant>* out) {
    const std::size_t n = pristine.size();
    std::set<std::size_t> cuts = {0, 1, 4, 12, 16, 31, 32, 33, 64, 65};
    for (std::size_t k = 1; k < 8; ++k)
        cuts.insert(n * k / 8);
    for (std::size_t back : {1, 16, 17})
        cuts.insert(n > back ? n - back : 0);
    for (std::size_t cut : cuts)
        if (cut < n)
            out->push_back({file, "cut to " + std::to_string(cut), [cut](Bytes& b) {
                                b.resize(cut);
                                return true;
                            }});
    std::set<std::size_t> spots;
    for (std::size_t i = 0; i < std::min<std::size_t>(n, 48); i += 3)
        spots.insert(i);
    for (std::size_t k = 1; k < 12; ++k)
        spots.insert(n * k / 12);
    if (n) spots.insert(n - 1);
    const unsigned char masks[] = {0xFF, 0x01, 0x80, 0x7F, 0x20};
    int m = 0;
    for (std::size_t at : spots) {
        unsigned char mask = masks[m++ % 5];
        out->push_back({file, "flip " + std::to_string(at), [at, mask](Bytes& b) {
                            if (at < b.size()) b[at] ^= mask;
                            return true;
                        }});
    }
    out->push_back({file, "one more byte", [](Bytes& b) {
                        b.push_back(0);
                        return true;
                    }});
    out->push_back({file, "4 KiB more", [](Bytes& b) {
                        b.resize(b.size() + 4096, 0xFF);
                        return true;
                    }});
    out->push_back({file, "removed", [](Bytes&) { return false; }});
    out->push_back({file, "garbage", [](Bytes& b) {
                        std::mt19937 g(static_cast<unsigned>(b.size()));
                        for (auto& c : b)
                            c = static_cast<unsigned char>(g());
                        return true;
                    }});
}

// Header values with huge or inconsistent counts and lengths, descriptors that lie, and record
// text no field can hold.
void AddDbf(const std::string& file, const Bytes& p, std::vector<Mutant>* out) {
    const std::uint32_t count = GetU32(p.data() + 4), hl = GetU16(p.data() + 8),
                        rl = GetU16(p.data() + 10);
    const std::uint32_t nFields = (hl - 33) / 32;
    auto put32 = [&](std::size_t at, std::uint32_t v, const std::string& what) {
        out->push_back({file, what, [at, v](Bytes& b) {
                            PutU32(b.data() + at, v);
                            return true;
                        }});
    };
    auto put16 = [&](std::size_t at, std::uint32_t v, const std::string& what) {
        out->push_back({file, what, [at, v](Bytes& b) {
                            PutU16(b.data() + at, static_cast<std::uint16_t>(v));
                            return true;
                        }});
    };
    for (std::uint32_t v : {0u, count + 1, count * 2 + 7, 0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu})
        put32(4, v, "count " + std::to_string(v));
    for (std::uint32_t v : {0u, 1u, 32u, 33u, 65u, hl - 32, hl - 1, hl + 1, hl + 32, 0xFFFFu})
        put16(8, v, "header length " + std::to_string(v));
    for (std::uint32_t v : {0u, 1u, 2u, rl - 1, rl + 1, 0xFFFFu})
        put16(10, v, "record length " + std::to_string(v));
    put32(12, 0, "change counter 0");
    out->push_back({file, "version 0x83", [](Bytes& b) {
                        b[0] = 0x83;
                        return true;
                    }});
    out->push_back({file, "no terminator", [hl](Bytes& b) {
                        b[hl - 1] = ' ';
                        return true;
                    }});
    for (std::uint32_t i = 0; i < nFields; ++i) {
        std::size_t d = 32 + 32 * i;
        const unsigned char width = p[d + 16];
        const char type = static_cast<char>(p[d + 11]);
        if (i >= 3 && type != 'B' && i + 1 != nFields)
            continue;  // the first, the last and the blobs
        std::string name = "field " + std::to_string(i);
        out->push_back({file, name + " width 0", [d](Bytes& b) {
                            b[d + 16] = 0;
                            return true;
                        }});
        out->push_back({file, name + " width 255", [d](Bytes& b) {
                            b[d + 16] = 255;
                            return true;
                        }});
        out->push_back({file, name + " type X", [d](Bytes& b) {
                            b[d + 11] = 'X';
                            return true;
                        }});
        out->push_back({file, name + " type B", [d](Bytes& b) {
                            b[d + 11] = 'B';
                            return true;
                        }});
        out->push_back({file, name + " unnamed", [d](Bytes& b) {
                            b[d] = 0;
                            return true;
                        }});
        out->push_back({file, name + " name unterminated", [d](Bytes& b) {
                            std::memset(&b[d], 'Q', 11);
                            return true;
                        }});
        out->push_back({file, name + " decimals 255", [d](Bytes& b) {
                            b[d + 17] = 255;
                            return true;
                        }});
        if (type != 'B' && width > 1) {
            // Consistent headers of another layout, with the records read misaligned.
            out->push_back({file, name + " one narrower", [d, rl](Bytes& b) {
                                b[d + 16] = static_cast<unsigned char>(b[d + 16] - 1);
                                PutU16(b.data() + 10, static_cast<std::uint16_t>(rl - 1));
                                return true;
                            }});
        }
        if (type == 'B') {
            out->push_back({file, name + " blob becomes text", [d, rl](Bytes& b) {
                                b[d + 11] = 'C';
                                b[d + 16] = 4;
                                PutU16(b.data() + 10, static_cast<std::uint16_t>(rl + 4));
                                return true;
                            }});
        }
    }
    const char* fills[] = {"\xFF", "9", "-", " ", "1e999", "nan", "-99999999999", "*"};
    for (const char* fill : fills) {
        out->push_back({file, std::string("first record filled with ") + fill,
                        [hl, rl, fill, count](Bytes& b) {
                            if (count == 0) return true;
                            std::size_t len = std::strlen(fill);
                            for (std::size_t i = 1; i < rl; ++i)
                                b[hl + i] = static_cast<unsigned char>(fill[(i - 1) % len]);
                            return true;
                        }});
    }
    for (char flag : {'*', 'X', '\0'})
        out->push_back({file, std::string("first record flag ") + std::to_string(flag),
                        [hl, flag, count](Bytes& b) {
                            if (count) b[hl] = static_cast<unsigned char>(flag);
                            return true;
                        }});
}

// Index files that pass their checksums but lie about the table.
void AddEdx(const std::string& file, const Bytes& p, std::vector<Mutant>* out) {
    const std::uint32_t keyWidth = GetU32(p.data() + 24), entries = GetU32(p.data() + 40);
    const std::size_t entry = keyWidth + 4;
    auto sealed = [file, out](const std::string& what, std::function<void(Bytes&)> change) {
        out->push_back({file, what + " (checksums fixed)", [change](Bytes& b) {
                            change(b);
                            if (b.size() < 64) return true;
                            PutU64(b.data() + 48, Checksum64(b.data() + 64, b.size() - 64));
                            PutU64(b.data() + 56, Checksum64(b.data(), 56));
                            return true;
                        }});
    };
    for (std::uint32_t v : {0u, keyWidth + 1, 0xFFFFFFFBu, 0xFFFFFFFFu})
        sealed("key width " + std::to_string(v), [v](Bytes& b) { PutU32(b.data() + 24, v); });
    for (std::uint32_t v : {0u, entries + 1, 0xFFFFFFFFu})
        sealed("entries " + std::to_string(v), [v](Bytes& b) { PutU32(b.data() + 40, v); });
    sealed("count + 1", [](Bytes& b) { PutU32(b.data() + 28, GetU32(b.data() + 28) + 1); });
    sealed("unique flipped", [](Bytes& b) { b[20] ^= 1; });
    for (const char* name : {"WAVEDATA", "NOSUCH", "TITLE", "TIME", "NSTMPNAME", "TYPE", "COMMENT"})
        sealed(std::string("key field ") + name, [name](Bytes& b) {
            std::memset(b.data() + 8, 0, 11);
            std::memcpy(b.data() + 8, name, std::strlen(name));
        });
    if (entries >= 2) {
        auto recno = [keyWidth, entry](Bytes& b, std::size_t i) {
            return b.data() + 64 + i * entry + keyWidth;
        };
        sealed("entries swapped", [entry](Bytes& b) {
            std::swap_ranges(b.begin() + 64, b.begin() + 64 + static_cast<long>(entry),
                             b.begin() + 64 + static_cast<long>(entry));
        });
        sealed("record number repeated",
               [recno](Bytes& b) { std::memcpy(recno(b, 1), recno(b, 0), 4); });
        sealed("record number repeated further on",
               [recno, entries](Bytes& b) { std::memcpy(recno(b, entries - 1), recno(b, 0), 4); });
        sealed("record number past the end",
               [recno](Bytes& b) { PutU32(recno(b, 1), GetU32(recno(b, 1)) + 1000); });
        sealed("record number huge", [recno](Bytes& b) { PutU32(recno(b, 0), 0xFFFFFFFFu); });
        sealed("keys rewritten in order", [entries, entry, keyWidth](Bytes& b) {
            for (std::uint32_t i = 0; i < entries; ++i)
                std::memset(b.data() + 64 + i * entry, 'A' + static_cast<int>(i), keyWidth);
        });
        sealed("one entry dropped", [entry](Bytes& b) {
            b.erase(b.begin() + 64, b.begin() + 64 + static_cast<long>(entry));
            PutU32(b.data() + 40, GetU32(b.data() + 40) - 1);
        });
    }
    out->push_back({file, "header checksum broken", [](Bytes& b) {
                        b[56] ^= 1;
                        return true;
                    }});
}

// Blob files whose block pointers, directory entries and chunk headers point anywhere.
void AddBin(const std::string& file, const Bytes& p, std::uint32_t records,
            std::vector<Mutant>* out) {
    const std::uint64_t size = p.size();
    const std::uint32_t blobFields = GetU32(p.data() + 12);
    const std::uint64_t block0 = GetU64(p.data() + 32);
    const std::uint64_t blockBytes = 4096ull * blobFields * 16;
    auto put64 = [&](std::size_t at, std::uint64_t v, const std::string& what) {
        out->push_back({file, what, [at, v](Bytes& b) {
                            if (at + 8 <= b.size()) PutU64(b.data() + at, v);
                            return true;
                        }});
    };
    for (std::size_t at : {8u, 12u, 16u, 20u})
        for (std::uint32_t v : {0u, 2u, 0xFFFFFFFFu})
            out->push_back({file, "header word " + std::to_string(at) + " = " + std::to_string(v),
                            [at, v](Bytes& b) {
                                PutU32(b.data() + at, v);
                                return true;
                            }});
    const std::uint64_t pointers[] = {
        1ull << 62, ~0ull - 15,  0 - blockBytes, 0 - 16ull, size, size - 16,
        block0 + 8, block0 + 16, block0 - 16,    8192 - 16, 16,   8192};
    for (std::uint64_t v : pointers)
        put64(32, v, "block 0 at " + std::to_string(v));
    put64(40, block0, "block 1 shares block 0");
    put64(32 + 8 * 999, block0, "block 999 shares block 0");
    put64(32 + 8 * 999, ~0ull - 15, "block 999 huge");
    if (block0 == 0) return;
    int damaged = 0;
    for (std::uint32_t r = 0; r < records && damaged < 3; ++r) {
        for (std::uint32_t s = 0; s < blobFields && damaged < 3; ++s) {
            const std::size_t e = block0 + (static_cast<std::uint64_t>(r) * blobFields + s) * 16;
            const std::uint64_t offset = GetU64(p.data() + e);
            const std::uint32_t length = GetU32(p.data() + e + 8);
            if (offset == 0) continue;
            ++damaged;
            const std::string at = "record " + std::to_string(r) + " blob " + std::to_string(s);
            const std::uint64_t offsets[] = {
                ~0ull - 31,  0 - 32 - static_cast<std::uint64_t>(length),
                size,        size - 32,
                8,           8192,
                offset + 16, offset - 16,
                1ull << 40};
            for (std::uint64_t v : offsets)
                put64(e, v, at + " offset " + std::to_string(v));
            for (std::uint32_t v : {0u, 1u, length - 1, length + 1, 1u << 30, 0xFFFFFFFFu})
                out->push_back({file, at + " length " + std::to_string(v), [e, v](Bytes& b) {
                                    PutU32(b.data() + e + 8, v);
                                    return true;
                                }});
            for (std::size_t field : {0u, 4u, 8u, 12u, 16u, 32u})
                out->push_back(
                    {file, at + " chunk byte " + std::to_string(field), [offset, field](Bytes& b) {
                         b[offset + field] ^= 0x5A;
                         return true;
                     }});
            out->push_back({file, at + " chunk length huge", [offset](Bytes& b) {
                                PutU32(b.data() + offset + 12, 0xFFFFFFF0u);
                                return true;
                            }});
        }
    }
}

// Journals of a replace in flight that point outside the table or carry a wrong checksum.
void AddJournal(const std::string& table, const Bytes& dbf, std::vector<Mutant>* out) {
    const std::uint32_t count = GetU32(dbf.data() + 4), hl = GetU16(dbf.data() + 8),
                        rl = GetU16(dbf.data() + 10);
    const std::string file = table + ".JNL";
    auto journal = [&](const std::string& what, std::uint32_t length, std::uint64_t offset,
                       bool goodSum, std::size_t keep) {
        out->push_back({file, what, [=](Bytes& b) {
                            Bytes data(rl, '7');
                            data[0] = ' ';
                            b.assign(24, 0);
                            PutU32(b.data(), 0x4C4E4A56);
                            PutU32(b.data() + 4, length);
                            PutU64(b.data() + 8, offset);
                            PutU64(b.data() + 16,
                                   Checksum64(data.data(), data.size()) ^ (goodSum ? 0 : 1));
                            b.insert(b.end(), data.begin(), data.end());
                            b.resize(std::min(b.size(), keep));
                            return true;
                        }});
    };
    const std::uint64_t last = hl + static_cast<std::uint64_t>(count ? count - 1 : 0) * rl;
    // The largest aligned offset: adding the record length wraps past zero.
    const std::uint64_t wrapping = hl + (~0ull - hl) / rl * rl;
    journal("replay of the last record", rl, last, true, ~0u);
    journal("bad checksum", rl, last, false, ~0u);
    journal("cut short", rl, last, true, 24 + rl / 2);
    journal("length huge", 0xFFFFFFFFu, last, true, ~0u);
    journal("length short", rl - 1, last, true, ~0u);
    journal("past the end", rl, hl + static_cast<std::uint64_t>(count) * rl, true, ~0u);
    journal("inside the header", rl, 0, true, ~0u);
    journal("misaligned", rl, last + 1, true, ~0u);
    journal("offset wrapping", rl, wrapping, true, ~0u);
    journal("header only", rl, last, true, 24);
    out->push_back({file, "garbage", [](Bytes& b) {
                        b.assign(100, 0xA5);
                        return true;
                    }});
}

TEST(Hostile, DamagedStoreFilesGiveStatusesNeverCrashes) {
    Files pristine;
    ASSERT_NO_FATAL_FAILURE(BuildPristine(&pristine));

    // The walk itself must read everything of the undamaged store.
    {
        test::TempDir dir;
        for (const auto& [name, bytes] : pristine)
            test::WriteFileBytes(dir.File(name), bytes);
        ConnectStoreAt(dir.Path());
        WalkCount n = WalkStore(dir.Path(), false);
        EXPECT_EQ(n.records, 3 + 4 + 2 + 2 + 2 + 2 + 1);
        EXPECT_EQ(n.blobs, 4 + 2 + 2 * 4 + 2 + 2);
        EXPECT_EQ(n.waves, 4 + 2 + 2);
        EXPECT_EQ(n.typed, 3 + 4 + 2 + 2 + 2);
    }

    std::vector<Mutant> mutants;
    for (const auto& [name, bytes] : pristine) {
        AddGeneric(name, bytes, &mutants);
        if (HasExtension(name, ".DBF")) {
            AddDbf(name, bytes, &mutants);
            std::string table = name.substr(0, name.size() - 4);
            AddJournal(table, bytes, &mutants);
            if (pristine.count(table + ".BIN"))
                AddBin(table + ".BIN", pristine.at(table + ".BIN"), GetU32(bytes.data() + 4),
                       &mutants);
        } else if (HasExtension(name, ".EDX")) {
            AddEdx(name, bytes, &mutants);
        }
    }
    ASSERT_GT(mutants.size(), 1000u);

    int index = 0;
    for (const Mutant& m : mutants) {
        SCOPED_TRACE(m.file + ": " + m.what);
        test::TempDir dir;
        for (const auto& [name, bytes] : pristine)
            if (name != m.file) test::WriteFileBytes(dir.File(name), bytes);
        Bytes bytes = pristine.count(m.file) ? pristine.at(m.file) : Bytes();
        if (m.change(bytes)) test::WriteFileBytes(dir.File(m.file), bytes);
        ConnectStoreAt(dir.Path());
        // Every other mutant accepts the offered conversions, so that they run on damage too.
        WalkStore(dir.Path(), ++index % 2 == 0);
        if (HasFatalFailure()) return;
    }
}

// A block pointer near the top of the address range passes the range check by wrapping, and
// then places directory entries over the blob file's own header.
TEST(Hostile, WrappingBlockPointerIsRefused) {
    test::TempStore store;
    test::ScriptedMessages messages;
    {
        CImpulseTable impulses;
        ASSERT_EQ(impulses.Open(), 1);
        for (int i = 1; i <= 2; ++i) {
            ASSERT_TRUE(test::AppendImpulse(impulses, 1, i, MakeWaveBlock(1, Ramp(16, 1))));
        }
    }
    Bytes bin = test::ReadFileBytes(store.File("IMPULSE.BIN"));
    ASSERT_GE(bin.size(), 8192u + 65536u);
    PutU64(bin.data() + 32, 0 - 16ull);  // + 64 KiB of directory wraps to 65520
    test::WriteFileBytes(store.File("IMPULSE.BIN"), bin);

    CDbTable t;
    DbStatus st = t.Open(store.File("IMPULSE.DBF"));
    EXPECT_EQ(st, db::kFileDamaged);
    if (st == db::kOk) {
        // Record 1's directory entry now lies at offset 0 of the blob file.
        ASSERT_EQ(t.GoFirst(), db::kOk);
        ASSERT_EQ(t.Skip(1), db::kOk);
        EXPECT_EQ(t.WriteBlob("WAVEDATA", "x", 1), db::kOk);
        t.Close();
        EXPECT_EQ(t.Open(store.File("IMPULSE.DBF")), db::kOk)
            << "the write destroyed the blob file's header";
    }
}

// A directory entry whose offset plus length wraps past zero passes the range check and
// claims a gigabyte that is not in the file.
TEST(Hostile, WrappingBlobEntryIsDamagedNotAGigabyte) {
    test::TempStore store;
    test::ScriptedMessages messages;
    {
        CImpulseTable impulses;
        ASSERT_EQ(impulses.Open(), 1);
        ASSERT_TRUE(test::AppendImpulse(impulses, 1, 1, MakeWaveBlock(1, Ramp(16, 1))));
    }
    Bytes bin = test::ReadFileBytes(store.File("IMPULSE.BIN"));
    const std::uint64_t entry = GetU64(bin.data() + 32);
    PutU64(bin.data() + entry, 0 - 32 - (1ull << 30));
    PutU32(bin.data() + entry + 8, 1u << 30);
    test::WriteFileBytes(store.File("IMPULSE.BIN"), bin);

    CDbTable t;
    ASSERT_EQ(t.Open(store.File("IMPULSE.DBF")), db::kOk);
    ASSERT_EQ(t.GoFirst(), db::kOk);
    std::uint32_t size = 0;
    EXPECT_EQ(t.BlobSize("WAVEDATA", &size), db::kBlobDamaged);
    EXPECT_EQ(size, 0u);
    if (size < (1u << 20)) {  // not while the engine would have us allocate the gigabyte
        SampleBlock samples;
        EXPECT_NE(ReadWaveData(t, &samples), db::kOk);
    }
}

// Builds IMPULSE with four records, IDs 1..4, and closes it.
void FourImpulses() {
    CImpulseTable impulses;
    ASSERT_EQ(impulses.Open(), 1);
    for (int i = 1; i <= 4; ++i) {
        ASSERT_TRUE(test::AppendImpulse(impulses, 1 + i % 2, i, MakeWaveBlock(1, Ramp(8, i))));
    }
}

// A journal whose offset plus the record length wraps past zero passes the range check; the
// replay then fails on every open, so the table can no longer be opened at all.
TEST(Hostile, JournalPointingPastTheAddressRangeIsIgnored) {
    test::TempStore store;
    test::ScriptedMessages messages;
    ASSERT_NO_FATAL_FAILURE(FourImpulses());
    const Bytes dbf = test::ReadFileBytes(store.File("IMPULSE.DBF"));
    const std::uint32_t hl = GetU16(dbf.data() + 8), rl = GetU16(dbf.data() + 10);
    Bytes journal(24 + rl, '7');
    journal[24] = ' ';
    PutU32(journal.data(), 0x4C4E4A56);
    PutU32(journal.data() + 4, rl);
    PutU64(journal.data() + 8, hl + (~0ull - hl) / rl * rl);  // aligned on a record, near 2^64
    PutU64(journal.data() + 16, Checksum64(journal.data() + 24, rl));
    test::WriteFileBytes(store.File("IMPULSE.JNL"), journal);

    CImpulseTable impulses;
    ASSERT_EQ(impulses.Open(), 1) << messages.shown.front();
    ImpulseRecord r;
    EXPECT_EQ(impulses.Read(3, &r), 1);
}

// An index file with valid checksums that names one record twice is taken as it is: lookups
// then land on the wrong record instead of the index being rebuilt.
TEST(Hostile, IndexNamingARecordTwiceIsRebuilt) {
    test::TempStore store;
    test::ScriptedMessages messages;
    ASSERT_NO_FATAL_FAILURE(FourImpulses());
    Bytes edx = test::ReadFileBytes(store.File("IMPULSE2.EDX"));
    const std::uint32_t keyWidth = GetU32(edx.data() + 24), entries = GetU32(edx.data() + 40);
    ASSERT_EQ(entries, 4u);
    const std::size_t entry = keyWidth + 4;
    std::memcpy(edx.data() + 64 + 3 * entry + keyWidth, edx.data() + 64 + keyWidth,
                4);  // ID 4 -> record 0
    PutU64(edx.data() + 48, Checksum64(edx.data() + 64, edx.size() - 64));
    PutU64(edx.data() + 56, Checksum64(edx.data(), 56));
    test::WriteFileBytes(store.File("IMPULSE2.EDX"), edx);

    CImpulseTable impulses;
    ASSERT_EQ(impulses.Open(), 1);
    for (int id = 1; id <= 4; ++id) {
        ImpulseRecord r;
        EXPECT_EQ(impulses.Read(id, &r), 1) << id;
        EXPECT_EQ(r.impulseId, id);
    }
    std::string report;
    EXPECT_EQ(impulses.Verify(&report), db::kOk) << report;
}

TEST(Hostile, WaveBlocksAreRefusedUnlessWholeAndNeverReadPast) {
    // An exactly sized heap copy, so that any read past the end is caught by the sanitizer.
    auto parse = [](const Bytes& b, SampleBlock* block) {
        std::unique_ptr<unsigned char[]> copy(new unsigned char[b.size() ? b.size() : 1]);
        if (!b.empty()) std::memcpy(copy.get(), b.data(), b.size());
        return ParseWaveBlock(copy.get(), b.size(), block);
    };
    SampleBlock block;
    EXPECT_FALSE(ParseWaveBlock(nullptr, 0, &block));
    const Bytes stereo = MakeWaveBlock(2, Ramp(2 * 50, 11));
    EXPECT_EQ(GetU32(stereo.data() + 8), 200u);  // the sample bytes
    ASSERT_TRUE(parse(stereo, &block));
    EXPECT_EQ(block.Frames(), 50u);
    EXPECT_EQ(block.At(3, 0), 11 * 6 - 3000);  // frames interleave left, right
    EXPECT_EQ(block.At(3, 1), 11 * 7 - 3000);
    EXPECT_EQ(GetU32(MakeWaveBlock(1, Ramp(5, 1)).data() + 8), 10u);
    for (std::size_t n = 0; n < stereo.size(); ++n)
        EXPECT_FALSE(parse(Bytes(stereo.begin(), stereo.begin() + static_cast<long>(n)), &block))
            << n;
    Bytes longer = stereo;
    longer.push_back(0);
    EXPECT_FALSE(parse(longer, &block));

    auto with = [&](std::size_t at, std::uint32_t v, bool wide) {
        Bytes b = stereo;
        if (wide)
            PutU32(b.data() + at, v);
        else
            PutU16(b.data() + at, static_cast<std::uint16_t>(v));
        return b;
    };
    // Byte counts claiming more than is there, or splitting a frame.
    for (std::uint32_t bytes : {202u, 204u, 0xFFFFFFFFu, 0xFFFFFFF4u, 0x80000000u, 198u, 0u, 2u})
        EXPECT_FALSE(parse(with(8, bytes, true), &block)) << bytes;
    for (std::uint32_t channels : {0u, 3u, 0xFFFFu})
        EXPECT_FALSE(parse(with(0, channels, false), &block));
    for (std::uint32_t bits : {0u, 8u, 24u, 32u, 0xFFFFu})
        EXPECT_FALSE(parse(with(2, bits, false), &block));
    // Mono samples in an odd byte count.
    Bytes odd = MakeWaveBlock(1, Ramp(5, 1));
    odd.pop_back();
    PutU32(odd.data() + 8, 9);
    EXPECT_FALSE(parse(odd, &block));

    // Garbage of every small length, and longer garbage: whatever it says, no read past.
    std::mt19937 g(77);
    for (int i = 0; i < 400; ++i) {
        Bytes b(static_cast<std::size_t>(i < 64 ? i : g() % 600));
        for (auto& c : b)
            c = static_cast<unsigned char>(g());
        if (i % 3 == 0 && b.size() >= 12) {
            PutU16(b.data(), static_cast<std::uint16_t>(1 + g() % 2));
            PutU16(b.data() + 2, 16);
        }
        SampleBlock out;
        if (parse(b, &out)) {
            EXPECT_EQ(out.samples.size() * 2 + 12, b.size());
        }
    }

    // Through the table: stored blocks that do not parse read as "no samples".
    test::TempStore store;
    test::ScriptedMessages messages;
    CImpulseTable impulses;
    ASSERT_EQ(impulses.Open(), 1);
    const Bytes bad[] = {Bytes(), Bytes(11, 1), with(8, 0xFFFFFFFFu, true), with(0, 3, false),
                         Bytes(stereo.begin(), stereo.end() - 1)};
    int id = 0;
    for (const Bytes& b : bad) {
        ASSERT_TRUE(test::AppendImpulse(impulses, 1, ++id, b));
        SampleBlock out;
        EXPECT_EQ(ReadWaveData(impulses, &out), db::kNoRecord) << id;
    }
}

}  // namespace
}  // namespace vesk
