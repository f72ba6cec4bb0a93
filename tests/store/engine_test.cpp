#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "store/db_engine.h"
#include "store/file_io.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

const auto& kFields = test::kKeyNameFields;
std::string Rec(long key, const char* name) {
    return test::KeyNameRecord(key, name);
}

class Engine : public ::testing::Test {
  protected:
    void SetUp() override { TheDbConnection().Connect("MERIDAX"); }
    std::string Dbf() const { return dir.File("T.DBF"); }
    std::string Edx() const { return dir.File("T1.EDX"); }
    void CreateWith(CDbTable& t, std::initializer_list<std::pair<long, const char*>> rows,
                    int* index) {
        ASSERT_EQ(t.Create(Dbf(), kFields, 3), db::kOk);
        ASSERT_EQ(t.CreateIndex(Edx(), "KEY", false, index), db::kOk);
        for (auto& [k, n] : rows)
            ASSERT_EQ(t.Append(Rec(k, n).c_str()), db::kOk);
    }
    std::vector<std::string> ReadAll(CDbTable& t) {
        std::vector<std::string> out;
        char buffer[19] = {};
        int read = 0;
        while (t.ReadNext(1, buffer, &read) == db::kOk && read == 1)
            out.emplace_back(buffer, 18);
        return out;
    }
    test::TempDir dir;
};

TEST_F(Engine, StatusesWithoutConnectionOrTable) {
    CDbTable t;
    char buffer[32];
    EXPECT_EQ(t.ReadCurrent(buffer), db::kTableNotOpen);
    EXPECT_EQ(t.Open(dir.File("MISSING.DBF")), db::kNoSuchFile);
    TheDbConnection().Close();
    EXPECT_EQ(t.Open(Dbf()), db::kNotConnected);
    TheDbConnection().Connect("MERIDAX");
}

TEST_F(Engine, IndexOrderScopeSeekAndNavigation) {
    CDbTable t;
    int index = 0;
    CreateWith(t, {{3, "c1"}, {1, "a"}, {3, "c2"}, {2, "b"}, {3, "c3"}}, &index);
    int length = 0;
    ASSERT_EQ(t.RecordLength(&length), db::kOk);
    EXPECT_EQ(length, 19);

    // Record order without an index.
    ASSERT_EQ(t.SelectIndex(0), db::kOk);
    ASSERT_EQ(t.GoFirst(), db::kOk);
    EXPECT_EQ(ReadAll(t).front(), Rec(3, "c1"));

    // Key order, equal keys in the order they were added.
    ASSERT_EQ(t.SelectIndex(index), db::kOk);
    ASSERT_EQ(t.GoFirst(), db::kOk);
    auto all = ReadAll(t);
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0], Rec(1, "a"));
    EXPECT_EQ(all[2], Rec(3, "c1"));
    EXPECT_EQ(all[4], Rec(3, "c3"));

    long count = 0;
    char scope[16];
    std::snprintf(scope, sizeof scope, "#%d=%ld", index, 3L);
    ASSERT_EQ(t.SetScope(scope, &count), db::kOk);
    EXPECT_EQ(count, 3);
    auto scoped = ReadAll(t);
    ASSERT_EQ(scoped.size(), 3u);
    EXPECT_EQ(scoped[1], Rec(3, "c2"));
    bool atEnd = false;
    ASSERT_EQ(t.AtEnd(&atEnd), db::kOk);
    EXPECT_TRUE(atEnd);
    ASSERT_EQ(t.GoLast(), db::kOk);
    char buffer[19] = {};
    ASSERT_EQ(t.ReadCurrent(buffer), db::kOk);
    EXPECT_EQ(std::string(buffer, 18), Rec(3, "c3"));
    std::snprintf(scope, sizeof scope, "#%d=%ld", index, 9L);
    ASSERT_EQ(t.SetScope(scope, &count), db::kOk);
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(ReadAll(t).empty());
    EXPECT_EQ(t.SetScope("#7=1", &count), db::kBadArgument);
    ASSERT_EQ(t.SetScope(nullptr, nullptr), db::kOk);

    bool found = false;
    std::string key = Rec(2, "").substr(0, 8);
    ASSERT_EQ(t.Seek(key.data(), 8, buffer, &found), db::kOk);
    EXPECT_TRUE(found);
    EXPECT_EQ(std::string(buffer, 18), Rec(2, "b"));
    ASSERT_EQ(t.Skip(1), db::kOk);
    ASSERT_EQ(t.ReadCurrent(buffer), db::kOk);
    EXPECT_EQ(std::string(buffer, 18), Rec(3, "c1"));
    key = Rec(4, "").substr(0, 8);
    ASSERT_EQ(t.Find(key.data(), 8, &found), db::kOk);
    EXPECT_FALSE(found);

    // Filter on a text field.
    ASSERT_EQ(t.SetFilter("NAME=c2"), db::kOk);
    ASSERT_EQ(t.GoFirst(), db::kOk);
    auto filtered = ReadAll(t);
    ASSERT_EQ(filtered.size(), 1u);
    EXPECT_EQ(filtered[0], Rec(3, "c2"));
    EXPECT_EQ(t.SetFilter("NOPE=1"), db::kBadField);
}

TEST_F(Engine, ReplaceDeleteAndUniqueKeys) {
    CDbTable t;
    int index = 0;
    ASSERT_EQ(t.Create(Dbf(), kFields, 3), db::kOk);
    ASSERT_EQ(t.CreateIndex(Edx(), "KEY", true, &index), db::kOk);
    ASSERT_EQ(t.Append(Rec(1, "one").c_str()), db::kOk);
    ASSERT_EQ(t.Append(Rec(2, "two").c_str()), db::kOk);
    EXPECT_EQ(t.Append(Rec(1, "again").c_str()), db::kDuplicateKey);
    ASSERT_EQ(t.SelectIndex(index), db::kOk);
    std::string key = Rec(1, "").substr(0, 8);
    ASSERT_EQ(t.ReplaceByKey(key.data(), 8, Rec(1, "uno").c_str()), db::kOk);
    // A replace that would move onto another record's key is refused.
    EXPECT_EQ(t.ReplaceByKey(key.data(), 8, Rec(2, "clash").c_str()), db::kDuplicateKey);
    std::string absent = Rec(5, "").substr(0, 8);
    EXPECT_EQ(t.ReplaceByKey(absent.data(), 8, Rec(5, "x").c_str()), db::kKeyAbsent);
    EXPECT_EQ(t.DeleteByKey(absent.data(), 8, 1), db::kOk);  // nothing to delete is not a failure
    std::string two = Rec(2, "").substr(0, 8);
    ASSERT_EQ(t.DeleteByKey(two.data(), 8, 1), db::kOk);
    ASSERT_EQ(t.GoFirst(), db::kOk);
    auto all = ReadAll(t);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0], Rec(1, "uno"));
    ASSERT_EQ(t.Append(Rec(2, "new two").c_str()), db::kOk);  // the key is free again
    t.Close();

    // Everything survives a close and reopen through the written index.
    CDbTable again;
    ASSERT_EQ(again.Open(Dbf()), db::kOk);
    ASSERT_EQ(again.OpenIndex(Edx(), &index), db::kOk);
    ASSERT_EQ(again.SelectIndex(index), db::kOk);
    ASSERT_EQ(again.GoFirst(), db::kOk);
    auto reread = ReadAll(again);
    ASSERT_EQ(reread.size(), 2u);
    EXPECT_EQ(reread[1], Rec(2, "new two"));
    ASSERT_EQ(again.SelectIndex(0), db::kOk);
    ASSERT_EQ(again.GoFirst(), db::kOk);
    EXPECT_EQ(ReadAll(again).size(), 2u);  // the deleted record stays hidden in record order too
}

TEST_F(Engine, BlobsWithContinuationAndRewrites) {
    CDbTable t;
    int index = 0;
    CreateWith(t, {{1, "a"}, {2, "b"}}, &index);
    ASSERT_EQ(t.SelectIndex(index), db::kOk);
    bool found = false;
    std::string key = Rec(1, "").substr(0, 8);
    ASSERT_EQ(t.Find(key.data(), 8, &found), db::kOk);
    std::uint32_t size = 99;
    ASSERT_EQ(t.BlobSize("DATA", &size), db::kOk);
    EXPECT_EQ(size, 0u);  // never written
    std::vector<unsigned char> first(40, 7), second(80, 9);
    ASSERT_EQ(t.WriteBlob("DATA", first.data(), 40), db::kOk);
    ASSERT_EQ(t.WriteBlob(nullptr, second.data(), 80), db::kOk);
    ASSERT_EQ(t.BlobSize("DATA", &size), db::kOk);
    EXPECT_EQ(size, 120u);
    EXPECT_EQ(t.WriteBlob("NAME", first.data(), 4), db::kBadField);
    t.Close();

    CDbTable r;
    ASSERT_EQ(r.Open(Dbf()), db::kOk);
    ASSERT_EQ(r.OpenIndex(Edx(), &index), db::kOk);
    ASSERT_EQ(r.SelectIndex(index), db::kOk);
    ASSERT_EQ(r.Find(key.data(), 8, &found), db::kOk);
    std::vector<unsigned char> a(40), b(100, 0xEE);
    std::uint32_t read = 0;
    ASSERT_EQ(r.ReadBlob("DATA", a.data(), 40, &read), db::kOk);
    EXPECT_EQ(read, 40u);
    EXPECT_EQ(a, first);
    ASSERT_EQ(r.ReadBlob(nullptr, b.data(), 100, &read), db::kOk);
    EXPECT_EQ(read, 80u);  // the continuation stops at the blob's end
    EXPECT_TRUE(std::equal(second.begin(), second.end(), b.begin()));
    // A rewrite replaces the whole blob.
    std::vector<unsigned char> small(3, 1);
    ASSERT_EQ(r.WriteBlob("DATA", small.data(), 3), db::kOk);
    ASSERT_EQ(r.BlobSize("DATA", &size), db::kOk);
    EXPECT_EQ(size, 3u);
    std::string other = Rec(2, "").substr(0, 8);
    ASSERT_EQ(r.Find(other.data(), 8, &found), db::kOk);
    ASSERT_EQ(r.BlobSize("DATA", &size), db::kOk);
    EXPECT_EQ(size, 0u);
}

TEST_F(Engine, StaleOrMissingIndexesAreRebuilt) {
    {
        CDbTable t;
        int index = 0;
        CreateWith(t, {{2, "b"}, {1, "a"}}, &index);
    }
    auto staleIndex = test::ReadFileBytes(Edx());
    {
        CDbTable t;
        ASSERT_EQ(t.Open(Dbf()), db::kOk);
        ASSERT_EQ(t.Append(Rec(0, "zero").c_str()), db::kOk);  // no index open: it goes stale
    }
    test::WriteFileBytes(Edx(), staleIndex);
    CDbTable t;
    int index = 0;
    ASSERT_EQ(t.Open(Dbf()), db::kOk);
    ASSERT_EQ(t.OpenIndex(Edx(), &index), db::kOk);
    ASSERT_EQ(t.SelectIndex(index), db::kOk);
    ASSERT_EQ(t.GoFirst(), db::kOk);
    auto all = ReadAll(t);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0], Rec(0, "zero"));
    std::string report;
    EXPECT_EQ(t.Verify(&report), db::kOk) << report;
    t.Close();
    std::filesystem::remove(Edx());
    ASSERT_EQ(t.Open(Dbf()), db::kOk);
    EXPECT_EQ(t.OpenIndex(Edx(), &index), db::kNoSuchFile);  // the caller creates it
}

TEST_F(Engine, CopyRecordsMatchesFieldsByName) {
    CDbTable old;
    const FieldDescriptor oldFields[] = {MakeField("NAME", 'C', 4), MakeField("KEY", 'I', 4),
                                         MakeField("GONE", 'C', 3), MakeField("DATA", 'B', 0)};
    ASSERT_EQ(old.Create(dir.File("OLD.DBF"), oldFields, 4), db::kOk);
    ASSERT_EQ(old.Append("abcd  42xyz"), db::kOk);
    std::vector<unsigned char> blob = {1, 2, 3};
    ASSERT_EQ(old.WriteBlob("DATA", blob.data(), 3), db::kOk);
    ASSERT_EQ(old.Append("efgh   7   "), db::kOk);
    CDbTable fresh;
    ASSERT_EQ(fresh.Create(Dbf(), kFields, 3), db::kOk);
    long added = 0;
    ASSERT_EQ(fresh.CopyRecords(old, &added), db::kOk);
    EXPECT_EQ(added, 2);
    ASSERT_EQ(fresh.SelectIndex(0), db::kOk);
    ASSERT_EQ(fresh.GoFirst(), db::kOk);
    char buffer[19] = {};
    ASSERT_EQ(fresh.ReadCurrent(buffer), db::kOk);
    EXPECT_EQ(std::string(buffer, 18), Rec(42, "abcd"));
    std::vector<unsigned char> copied(3);
    std::uint32_t read = 0;
    ASSERT_EQ(fresh.ReadBlob("DATA", copied.data(), 3, &read), db::kOk);
    EXPECT_EQ(copied, blob);
}

TEST_F(Engine, TransactionsAreSeenInsideAndForgottenUnlessCommitted) {
    CDbTable t;
    int index = 0;
    CreateWith(t, {{1, "a"}}, &index);
    auto find = [&](long key) {
        bool found = false;
        const std::string k = Rec(key, "").substr(0, 8);
        EXPECT_EQ(t.SelectIndex(index), db::kOk);
        EXPECT_EQ(t.Find(k.data(), 8, &found), db::kOk);
        return found;
    };
    auto blob = [&] {
        char bytes[8] = {};
        std::uint32_t read = 0;
        EXPECT_TRUE(find(1));
        EXPECT_EQ(t.ReadBlob("DATA", bytes, sizeof bytes, &read), db::kOk);
        return std::string(bytes, read);
    };
    ASSERT_TRUE(find(1));
    ASSERT_EQ(t.WriteBlob("DATA", "old", 3), db::kOk);
    for (bool commit : {false, true}) {
        SCOPED_TRACE(commit ? "committed" : "rolled back");
        {
            CDbTransaction transaction(t);
            ASSERT_EQ(transaction.Status(), db::kOk);
            ASSERT_EQ(t.Append(Rec(2, "b").c_str()), db::kOk);
            ASSERT_EQ(t.WriteBlob("DATA", "two", 3), db::kOk);
            ASSERT_TRUE(find(1));
            ASSERT_EQ(t.ReplaceCurrent(Rec(1, "new").c_str()), db::kOk);
            ASSERT_EQ(t.WriteBlob("DATA", "new", 3), db::kOk);
            EXPECT_TRUE(find(2));
            EXPECT_EQ(blob(), "new");
            if (commit) {
                ASSERT_EQ(transaction.Commit(), db::kOk);
            }
        }
        EXPECT_EQ(find(2), commit);
        EXPECT_EQ(blob(), commit ? "new" : "old");
        ASSERT_EQ(t.SelectIndex(0), db::kOk);
        ASSERT_EQ(t.GoFirst(), db::kOk);
        EXPECT_EQ(ReadAll(t).size(), commit ? 2u : 1u);
    }
    std::string report;
    EXPECT_EQ(t.Verify(&report), db::kOk) << report;
    t.Close();
    ASSERT_EQ(t.Open(Dbf()), db::kOk);
    ASSERT_EQ(t.OpenIndex(Edx(), &index), db::kOk);
    EXPECT_TRUE(find(2));
    EXPECT_EQ(blob(), "new");
}

}  // namespace
}  // namespace vesk
