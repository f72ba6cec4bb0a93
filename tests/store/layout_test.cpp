#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "store/samples.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

FolderRecord Folder(int id, const char* type, const char* title) {
    FolderRecord f;
    f.folderId = id;
    f.type = type;
    f.title = title;
    f.date = "20261206";
    f.scale = 1.0;
    return f;
}

ImpulseRecord Impulse(int folder, int id, int mesTime, int noMls) {
    ImpulseRecord r;
    r.folderId = folder;
    r.impulseId = id;
    r.sampling = 48000;
    r.mesTime = mesTime;
    r.noMls = noMls;
    r.channel = 2;
    r.bit = 16;
    r.time = "20261206120000";
    r.title = "IR " + std::to_string(id);
    r.multiplier = 1;
    return r;
}

TEST(Layout, MissingTablesAreCreatedAndRecordsRoundTrip) {
    test::TempStore store;
    test::ScriptedMessages messages;
    {
        CFolderTable folders;
        ASSERT_EQ(folders.Open(), 1);
        auto f = Folder(1, "I", "Hall");
        ASSERT_EQ(folders.Append(f), 1);
        CImpulseTable impulses;
        ASSERT_EQ(impulses.Open(), 1);
        auto mls = Impulse(1, 10, 14, 0);
        auto ir = Impulse(1, 11, 14, 1);
        ASSERT_EQ(impulses.Append(mls, MakeWaveBlock(2, std::vector<std::int16_t>(2 << 14, 3))), 1);
        ASSERT_EQ(impulses.Append(ir, MakeWaveBlock(2, std::vector<std::int16_t>(8, -2))), 1);
        CAcParamTable results;
        ASSERT_EQ(results.Open(), 1);
        AcParamRecord p;
        p.impulseId = 10;
        p.nData = 1;
        p.bands[0].splL = -3.25;
        ASSERT_EQ(results.Write(p), db::kOk);
        p.bands[0].splL = -4.5;
        ASSERT_EQ(results.Write(p), db::kOk);  // replaces, does not append
    }
    EXPECT_TRUE(std::filesystem::exists(store.File("IMPULSE2.EDX")));
    CImpulseTable impulses;
    ASSERT_EQ(impulses.Open(), 1);  // the layout now matches: no question
    EXPECT_TRUE(messages.asked.empty());
    ImpulseRecord r;
    ASSERT_EQ(impulses.Read(11, &r), 1);
    EXPECT_EQ(r.mesTime, 14);  // stored as 64
    EXPECT_EQ(r.noMls, 1);
    ASSERT_EQ(impulses.Read(10, &r), 1);
    EXPECT_EQ(r.noMls, 0);
    SampleBlock block;
    ASSERT_EQ(ReadWaveData(impulses, &block), db::kOk);
    EXPECT_EQ(block.Frames(), std::size_t{1} << 14);
    EXPECT_EQ(impulses.Read(99, &r), 0);
    EXPECT_TRUE(messages.shown.empty()) << "a missing key is silent";

    long count = 0;
    ASSERT_EQ(impulses.SetScopeTo(1, &count), 1);
    EXPECT_EQ(count, 2);
    int n = 0;
    while (impulses.ReadNext(&r))
        ++n;
    EXPECT_EQ(n, 2);
    CAcParamTable results;
    ASSERT_EQ(results.Open(), 1);
    AcParamRecord p;
    ASSERT_EQ(results.Read(10, &p), 1);
    EXPECT_DOUBLE_EQ(p.bands[0].splL, -4.5);
    EXPECT_EQ(results.Exists(10), 1);
    EXPECT_EQ(results.Exists(11), 0);
}

// An older FOLDER table: the same fields but COMMENT of 60 characters.
void WriteOldFolderTable(const std::string& dataPath) {
    auto schema = FolderSpec().schema;
    schema[6].width = 60;
    CDbTable old;
    ASSERT_EQ(old.Create(dataPath + "/FOLDER.DBF", schema.data(), static_cast<int>(schema.size())),
              db::kOk);
    FolderRecord f = Folder(4, "A", "Old hall");
    f.comment = "kept";
    std::vector<char> buffer(155, ' ');
    ASSERT_EQ(Pack(schema, f, buffer.data()), db::kOk);
    ASSERT_EQ(old.Append(buffer.data()), db::kOk);
}

TEST(Layout, OlderTablesConvertOnOkAndStayUntouchedOnCancel) {
    test::TempStore store;
    WriteOldFolderTable(store.DataPath());
    auto before = test::ReadFileBytes(store.File("FOLDER.DBF"));
    {
        test::ScriptedMessages cancel(false);
        CFolderTable folders;
        EXPECT_EQ(folders.Open(), 0);
        EXPECT_FALSE(folders.IsOpen());
        ASSERT_EQ(cancel.asked.size(), 1u);
        EXPECT_EQ(cancel.asked[0],
                  "Need convert from old folder recording file into new one. Are you sure?");
    }
    EXPECT_EQ(test::ReadFileBytes(store.File("FOLDER.DBF")), before);
    EXPECT_FALSE(std::filesystem::exists(store.File("TEMP.DBF")));

    test::ScriptedMessages ok(true);
    CFolderTable folders;
    ASSERT_EQ(folders.Open(), 1);
    EXPECT_EQ(ok.asked.size(), 1u);
    FolderRecord f;
    ASSERT_EQ(folders.Read(4, &f), 1);  // the old index was rebuilt for the new table
    EXPECT_EQ(f.title, "Old hall");
    EXPECT_EQ(f.comment, "kept");
    EXPECT_FALSE(std::filesystem::exists(store.File("TEMP.DBF")));
}

TEST(Layout, NmsOfRightWidthButOtherFieldCountIsConverted) {
    test::TempStore store;
    auto schema = NmsSpec().schema;
    schema.pop_back();  // NOISESRC missing: same width, 14 fields
    {
        CDbTable old;
        ASSERT_EQ(old.Create(store.File("NMS.DBF"), schema.data(), static_cast<int>(schema.size())),
                  db::kOk);
    }
    test::ScriptedMessages messages(true);
    CNmsTable nms;
    ASSERT_EQ(nms.Open(), 1);
    ASSERT_EQ(messages.asked.size(), 1u);
    EXPECT_EQ(messages.asked[0],
              "Need convert from old noise measurement file into new one. Are you sure?");
    int fields = 0;
    nms.FieldCount(&fields);
    EXPECT_EQ(fields, 15);
}

TEST(Layout, OldResultTablesAreDeletedOnlyWhenConfirmed) {
    test::TempStore store;
    const FieldDescriptor old[] = {MakeField("ACFID", 'I', 8),    MakeField("CONDSIZE", 'I', 5),
                                   MakeField("FACTSIZE", 'I', 5), MakeField("NACFFACT", 'I', 4),
                                   MakeField("ACFCOND", 'B', 0),  MakeField("ACFFACTOR", 'B', 0)};
    {
        CDbTable t;
        ASSERT_EQ(t.Create(store.File("ACFFACT.DBF"), old, 6), db::kOk);
        ASSERT_EQ(t.Append("       1    84   20   3"), db::kOk);
    }
    {
        test::ScriptedMessages cancel(false);
        CAcfFactTable table;
        EXPECT_EQ(table.Open(), 0);
        ASSERT_EQ(cancel.asked.size(), 1u);
        EXPECT_EQ(cancel.asked[0], "Delete old calculation file. Are you sure?");
    }
    test::ScriptedMessages ok(true);
    CAcfFactTable table;
    ASSERT_EQ(table.Open(), 1);
    EXPECT_EQ(table.Exists(1), 0);  // created empty
    FieldDescriptor fifth;
    table.Descriptor(5, &fifth);
    EXPECT_STREQ(fifth.name, "ACFCOND2");
}

TEST(Layout, TemplateIdsNamesAndData) {
    test::TempStore store;
    test::ScriptedMessages messages;
    CNsTmpTable t;
    ASSERT_EQ(t.Open(), 1);
    std::int32_t next = -1;
    ASSERT_EQ(t.NextTemplateId(&next), 1);
    EXPECT_EQ(next, 0);
    CNsTmpTable::TemplateData data{};
    data[0] = 42;
    data[99] = 7;
    for (int id : {3, 7}) {
        NsTmpRecord r;
        r.nsTmpId = id;
        r.nsTmpName = "Car " + std::to_string(id);
        ASSERT_EQ(t.Append(r, &data), 1);
    }
    ASSERT_EQ(t.NextTemplateId(&next), 1);
    EXPECT_EQ(next, 8);
    NsTmpRecord r;
    r.nsTmpId = 3;
    r.nsTmpName = "Truck";
    data[0] = 43;
    ASSERT_EQ(t.Update(r, &data), 1);
    CNsTmpTable::TemplateData back{};
    ASSERT_EQ(t.Read(3, &r, &back), 1);
    EXPECT_EQ(r.nsTmpName, "Truck");
    EXPECT_EQ(back[0], 43);
    ASSERT_EQ(t.Delete(7), 1);
    ASSERT_EQ(t.SelectIndex(t.Index1()), db::kOk);
    ASSERT_EQ(t.GoFirst(), db::kOk);
    int walked = 0;
    while (t.ReadNextWithData(&r, &back))
        ++walked;
    EXPECT_EQ(walked, 1);
    EXPECT_TRUE(messages.shown.empty());
}

TEST(Layout, NoiseResultKeepsANameGivenByHand) {
    test::TempStore store;
    CNmsTable nms;
    ASSERT_EQ(nms.Open(), 1);
    NmsRecord r;
    r.folderId = 1;
    r.nmsId = 1;
    r.sampleNum = 4;
    std::array<unsigned char, blob::kNmsCondSize> cond{};
    ASSERT_EQ(nms.Append(r, MakeWaveBlock(2, std::vector<std::int16_t>(8)), cond), 1);
    std::array<unsigned char, blob::kNoiseSourceSize> source{};
    std::memcpy(source.data() + 16, "=Siren", 6);
    std::vector<unsigned char> factors(3 * 40, 1);
    ASSERT_EQ(nms.WriteResult(r, cond, factors, source), db::kOk);
    std::array<unsigned char, blob::kNoiseSourceSize> identified{};
    std::memcpy(identified.data() + 16, "Car", 3);
    ASSERT_EQ(nms.WriteResult(r, cond, factors, identified), db::kOk);
    NmsBlobs blobs;
    ASSERT_EQ(nms.Read(1, &r, &blobs), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(blobs.source.data() + 16), "=Siren");
    EXPECT_EQ(r.nNmsFact, 3);
    EXPECT_EQ(r.factSize, 40);
    EXPECT_EQ(blobs.factors.size(), 120u);
}

TEST(Layout, DeleteFolderRemovesItsMeasurementsAndResultsOnly) {
    test::TempStore store;
    test::ScriptedMessages messages;
    {
        CFolderTable folders;
        CImpulseTable impulses;
        CAcParamTable results;
        ASSERT_TRUE(folders.Open() && impulses.Open() && results.Open());
        for (int folder : {1, 2}) {
            auto f = Folder(folder, "I", "F");
            ASSERT_EQ(folders.Append(f), 1);
            for (int k = 0; k < 3; ++k) {
                int id = folder * 10 + k;
                auto r = Impulse(folder, id, 10, 0);
                ASSERT_EQ(impulses.Append(r, MakeWaveBlock(1, std::vector<std::int16_t>(4))), 1);
                AcParamRecord p;
                p.impulseId = id;
                ASSERT_EQ(results.Write(p), db::kOk);
            }
        }
        auto empty = Folder(3, "N", "No measurements");
        ASSERT_EQ(folders.Append(empty), 1);
    }
    ASSERT_EQ(DeleteFolder(1), 1);
    ASSERT_EQ(DeleteFolder(3), 1);  // an empty folder deletes without an error
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(DeleteFolder(1), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "Can't find folder.");

    CFolderTable folders;
    CImpulseTable impulses;
    CAcParamTable results;
    ASSERT_TRUE(folders.Open() && impulses.Open() && results.Open());
    FolderRecord f;
    EXPECT_EQ(folders.Read(1, &f), 0);
    EXPECT_EQ(folders.Read(2, &f), 1);
    ImpulseRecord r;
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(impulses.Read(10 + k, &r), 0);
        EXPECT_EQ(results.Exists(10 + k), 0);
        EXPECT_EQ(impulses.Read(20 + k, &r), 1);
        EXPECT_EQ(results.Exists(20 + k), 1);
    }
}

TEST(Layout, FailuresAreReportedWithTheTablesMessageAndStatus) {
    test::TempDir dir;
    ConnectStoreAt(dir.File("DATA"));
    test::WriteFileBytes(dir.File("DATA/IMPULSE.DBF"), {0x03, 1, 2});  // damaged
    test::ScriptedMessages messages;
    CImpulseTable impulses;
    EXPECT_EQ(impulses.Open(), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "Can't open impulse response file. (Error=3030)");
    TheDbConnection().Close();
    CFolderTable folders;
    EXPECT_EQ(folders.Open(), 0);
    EXPECT_EQ(messages.shown.back(), "Can't open folder. (Error=2015)");
    TheDbConnection().Connect("MERIDAX");
}

}  // namespace
}  // namespace vesk
