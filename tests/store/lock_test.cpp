// A table is held by one process at a time; table objects within a process share it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "store/db_engine.h"
#include "store/tables.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

const auto& kFields = test::kKeyNameFields;
std::string Rec(long key, const char* name) {
    return test::KeyNameRecord(key, name);
}

// A child process that opens a table, says so, and holds it until told to let go.
class Holder {
  public:
    // open(): runs in the child, returns the status of its open; the table must stay open
    // until release() runs.
    template <class Open, class Release>
    Holder(Open open, Release release) {
        int up[2], down[2];
        if (::pipe(up) != 0 || ::pipe(down) != 0) return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(up[0]);
            ::close(down[1]);
            int status = open();
            if (::write(up[1], &status, sizeof status) != sizeof status) _exit(4);
            char go = 0;
            if (::read(down[0], &go, 1) != 1) _exit(5);
            release();
            status = 0;
            if (::write(up[1], &status, sizeof status) != sizeof status) _exit(4);
            _exit(0);
        }
        ::close(up[1]);
        ::close(down[0]);
        m_up = up[0];
        m_down = down[1];
    }
    ~Holder() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_up >= 0) ::close(m_up);
        if (m_down >= 0) ::close(m_down);
    }
    // The child's status after the open or the release; -1 when it died.
    int Next() {
        int status = -1;
        return ::read(m_up, &status, sizeof status) == sizeof status ? status : -1;
    }
    // Lets the child close the table; true when it did and exited cleanly.
    bool Release() {
        char go = 1;
        if (::write(m_down, &go, 1) != 1 || Next() != 0) return false;
        int wstatus = 0;
        ::waitpid(m_pid, &wstatus, 0);
        m_pid = -1;
        return WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0;
    }

  private:
    pid_t m_pid = -1;
    int m_up = -1, m_down = -1;
};

// Sets how long opens wait for the lock, and restores the engine's default at scope end.
struct LockWait {
    explicit LockWait(int ms) { SetLockWaitMilliseconds(ms); }
    ~LockWait() { SetLockWaitMilliseconds(3000); }
};

template <class F>
long long Timed(F f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 t0)
        .count();
}

TEST(Lock, AnotherProcessHoldingTheTableMakesOpenWaitThenFail) {
    test::TempDir dir;
    TheDbConnection().Connect("MERIDAX");
    const std::string dbf = dir.File("T.DBF"), edx = dir.File("T1.EDX");
    {
        CDbTable t;
        int index = 0;
        ASSERT_EQ(t.Create(dbf, kFields, 3), db::kOk);
        ASSERT_EQ(t.CreateIndex(edx, "KEY", true, &index), db::kOk);
        ASSERT_EQ(t.Append(Rec(1, "one").c_str()), db::kOk);
        ASSERT_EQ(t.WriteBlob("DATA", "blob-one", 8), db::kOk);
    }
    CDbTable held;
    Holder child([&] { return static_cast<int>(held.Open(dbf)); },
                 [&] {
                     // A change made while holding must reach the next opener.
                     int index = 0;
                     held.OpenIndex(edx, &index);
                     held.Append(Rec(2, "two").c_str());
                     held.Close();
                 });
    ASSERT_EQ(child.Next(), db::kOk);

    LockWait wait(300);
    CDbTable t;
    DbStatus st = db::kOk;
    long long waited = Timed([&] { st = t.Open(dbf); });
    EXPECT_EQ(st, db::kLocked);
    EXPECT_GE(waited, 290);
    EXPECT_LT(waited, 3000);
    EXPECT_FALSE(t.IsOpen());

    ASSERT_TRUE(child.Release());
    // The other way round: while this process holds it, another process cannot open it. The
    // child is forked before the open so that it does not inherit the open table.
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    Holder blocked(
        [&] {
            char go = 0;
            if (::read(gate[0], &go, 1) != 1) return -1;
            SetLockWaitMilliseconds(50);
            CDbTable other;
            return static_cast<int>(other.Open(dbf));
        },
        [] {});
    ::close(gate[0]);
    waited = Timed([&] { st = t.Open(dbf); });
    ASSERT_EQ(st, db::kOk);
    EXPECT_LT(waited, 290);  // no waiting once the lock is free
    int index = 0;
    ASSERT_EQ(t.OpenIndex(edx, &index), db::kOk);
    ASSERT_EQ(t.SelectIndex(index), db::kOk);
    char buffer[19] = {};
    bool found = false;
    ASSERT_EQ(t.Seek("       1", 8, buffer, &found), db::kOk);
    ASSERT_TRUE(found);
    EXPECT_EQ(std::string(buffer, 18), Rec(1, "one"));
    char blob[16] = {};
    std::uint32_t read = 0;
    ASSERT_EQ(t.ReadBlob("DATA", blob, sizeof blob, &read), db::kOk);
    EXPECT_EQ(std::string(blob, read), "blob-one");
    ASSERT_EQ(t.Seek("       2", 8, buffer, &found), db::kOk);
    ASSERT_TRUE(found);
    EXPECT_EQ(std::string(buffer, 18), Rec(2, "two"));
    std::string report;
    EXPECT_EQ(t.Verify(&report), db::kOk) << report;

    ASSERT_EQ(::write(gate[1], "g", 1), 1);
    ::close(gate[1]);
    EXPECT_EQ(blocked.Next(), db::kLocked);
    EXPECT_TRUE(blocked.Release());
}

TEST(Lock, FolderTableReportsTheLockThroughTheMessageSink) {
    test::TempStore store;
    {
        CFolderTable folders;
        ASSERT_EQ(folders.Open(), 1);
        FolderRecord f;
        f.folderId = 7;
        f.type = "I";
        f.name = "Hall";
        ASSERT_EQ(folders.Append(f), 1);
    }
    CFolderTable held;
    Holder child([&] { return held.Open() == 1 ? 0 : 1; }, [&] { held.Close(); });
    ASSERT_EQ(child.Next(), 0);

    LockWait wait(300);
    {
        test::ScriptedMessages messages;
        CFolderTable folders;
        long long waited = Timed([&] { EXPECT_EQ(folders.Open(), 0); });
        EXPECT_GE(waited, 290);
        EXPECT_EQ(messages.shown, std::vector<std::string>{"Can't open folder. (Error=3031)"});
        EXPECT_TRUE(messages.asked.empty());  // a lock is no reason to offer a conversion
    }
    ASSERT_TRUE(child.Release());
    {
        test::ScriptedMessages messages;
        CFolderTable folders;
        ASSERT_EQ(folders.Open(), 1);
        FolderRecord f;
        ASSERT_EQ(folders.Read(7, &f), 1);
        EXPECT_EQ(f.name, "Hall");
        EXPECT_TRUE(messages.shown.empty());
    }
}

TEST(Lock, TwoTableObjectsOfOneProcessShareTheTable) {
    test::TempDir dir;
    TheDbConnection().Connect("MERIDAX");
    const std::string dbf = dir.File("T.DBF"), edx = dir.File("T1.EDX");
    LockWait wait(300);
    CDbTable a, b;
    int ia = 0, ib = 0;
    ASSERT_EQ(a.Create(dbf, kFields, 3), db::kOk);
    ASSERT_EQ(a.CreateIndex(edx, "KEY", true, &ia), db::kOk);
    ASSERT_EQ(a.Append(Rec(1, "one").c_str()), db::kOk);

    long long waited = 0;
    DbStatus st = db::kOk;
    waited = Timed([&] { st = b.Open(dbf); });
    ASSERT_EQ(st, db::kOk);  // not locked out by its own process
    EXPECT_LT(waited, 290);
    ASSERT_EQ(b.OpenIndex(edx, &ib), db::kOk);

    // Appends, replaces, blobs and deletions through one are seen through the other.
    ASSERT_EQ(b.Append(Rec(2, "two").c_str()), db::kOk);
    ASSERT_EQ(b.WriteBlob("DATA", "second", 6), db::kOk);
    char buffer[19] = {};
    bool found = false;
    ASSERT_EQ(a.SelectIndex(ia), db::kOk);
    ASSERT_EQ(a.Seek("       2", 8, buffer, &found), db::kOk);
    ASSERT_TRUE(found);
    EXPECT_EQ(std::string(buffer, 18), Rec(2, "two"));
    char blob[16] = {};
    std::uint32_t read = 0;
    ASSERT_EQ(a.ReadBlob("DATA", blob, sizeof blob, &read), db::kOk);
    EXPECT_EQ(std::string(blob, read), "second");
    ASSERT_EQ(a.ReplaceCurrent(Rec(2, "deux").c_str()), db::kOk);
    ASSERT_EQ(b.SelectIndex(ib), db::kOk);
    ASSERT_EQ(b.Seek("       2", 8, buffer, &found), db::kOk);
    EXPECT_EQ(std::string(buffer, 18), Rec(2, "deux"));
    // The unique index is one: a key added through one is a duplicate through the other.
    EXPECT_EQ(b.Append(Rec(1, "again").c_str()), db::kDuplicateKey);
    ASSERT_EQ(a.DeleteByKey("       1", 8, 0), db::kOk);
    ASSERT_EQ(b.Find("       1", 8, &found), db::kOk);
    EXPECT_FALSE(found);

    // Each object keeps its own position.
    ASSERT_EQ(a.SelectIndex(0), db::kOk);
    ASSERT_EQ(a.GoFirst(), db::kOk);
    ASSERT_EQ(b.Seek("       2", 8, buffer, &found), db::kOk);
    ASSERT_EQ(a.ReadCurrent(buffer), db::kOk);
    EXPECT_EQ(std::string(buffer, 18),
              Rec(2, "deux"));  // record 1 is deleted, record order skips it

    // Closing one leaves the other working; after both close, the changes are on disk.
    ASSERT_EQ(a.Close(), db::kOk);
    ASSERT_EQ(b.Append(Rec(3, "three").c_str()), db::kOk);
    ASSERT_EQ(b.Close(), db::kOk);
    CDbTable c;
    int ic = 0;
    ASSERT_EQ(c.Open(dbf), db::kOk);
    ASSERT_EQ(c.OpenIndex(edx, &ic), db::kOk);
    std::string report;
    EXPECT_EQ(c.Verify(&report), db::kOk) << report;
    EXPECT_NE(report.find("live records 2"), std::string::npos) << report;
}

}  // namespace
}  // namespace vesk
