// What the store promises beyond single operations: a reader changes nothing, damage is
// reported as damage, results belong to measurements that exist, and check finds what breaks
// other commands.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "cli/commands.h"
#include "store/file_io.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

struct CliRun {
    int status = -1;
    std::string out;
};

// One vesk-cli command on the store, in a child as the program runs it: its exit status and
// everything it printed.
CliRun RunCli(const std::string& store, std::vector<std::string> args,
              cli::CliMessages::Answer answer = cli::CliMessages::Answer::Ask) {
    const std::string log = store + "/../cli.log";
    pid_t pid = ::fork();
    if (pid == 0) {
        int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        cli::CliMessages messages(answer);
        SetMessages(&messages);
        ConnectStoreAt(store);
        const std::string command = args.front();
        args.erase(args.begin());
        TheDbConnection().SetWritable(cli::CommandWrites(command, args));
        cli::Context ctx{store, "", &messages};
        int rc = command == "check"     ? cli::CmdCheck(ctx, args)
                 : command == "folders" ? cli::CmdFolders(ctx, args)
                 : command == "list"    ? cli::CmdList(ctx, args)
                                        : 2;
        std::fflush(stdout);
        _exit(rc);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    CliRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = test::ReadFileText(log);
    return run;
}

class Promises : public ::testing::Test {
  protected:
    void SetUp() override {
        TheDbConnection().SetWritable(true);
        CFolderTable folders;
        CImpulseTable impulses;
        CAcParamTable results;
        ASSERT_TRUE(folders.Open() && impulses.Open() && results.Open());
        ASSERT_TRUE(test::AppendFolder(folders, 1, "I"));
        for (std::int32_t id : {1, 2}) {
            ASSERT_TRUE(test::AppendImpulse(impulses, 1, id, std::vector<unsigned char>(4096, 7)));
            AcParamRecord p;
            p.impulseId = id;
            ASSERT_EQ(results.Write(p), db::kOk);
        }
    }
    void TearDown() override { TheDbConnection().SetWritable(true); }
    test::TempStore store;
    test::ScriptedMessages messages{true};
};

TEST_F(Promises, ReadersNeverCreateOrRewriteTables) {
    // A partial copy: the samples are there, the table is not.
    std::filesystem::remove(store.File("IMPULSE.DBF"));
    const auto samples = test::ReadFileBytes(store.File("IMPULSE.BIN"));
    EXPECT_EQ(RunCli(store.DataPath(), {"list", "1"}).status, 3);
    EXPECT_EQ(RunCli(store.DataPath(), {"check"}).status, 3);
    {
        CImpulseTable impulses;  // a writer refuses too
        EXPECT_EQ(impulses.Open(), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(store.File("IMPULSE.DBF")));
    EXPECT_EQ(test::ReadFileBytes(store.File("IMPULSE.BIN")), samples);

    CDbTable t;
    EXPECT_EQ(t.Create(store.File("IMPULSE.DBF"), test::kKeyNameFields, 3), db::kFileExists);
    EXPECT_EQ(test::ReadFileBytes(store.File("IMPULSE.BIN")), samples);

    // A new store stays empty under readers.
    test::TempDir fresh;
    EXPECT_EQ(RunCli(fresh.File("DATA"), {"folders"}).status, 0);
    EXPECT_EQ(RunCli(fresh.File("DATA"), {"check"}).status, 0);
    EXPECT_TRUE(std::filesystem::is_empty(fresh.File("DATA")));
}

TEST_F(Promises, ResultsBelongToMeasurementsThatExist) {
    {
        CImpulseTable impulses;
        ASSERT_TRUE(impulses.Open());
        const std::string key = FormatKey(2);
        ASSERT_EQ(impulses.SelectIndex(impulses.Index2()), db::kOk);
        ASSERT_EQ(impulses.DeleteByKey(key.data(), 8, 1), db::kOk);  // its result stays behind
        std::int32_t next = 0;
        ASSERT_TRUE(impulses.NextId(&next));
        EXPECT_EQ(next, 3) << "a new measurement would show the dead result";
    }
    CAcParamTable results;
    ASSERT_TRUE(results.Open());
    AcParamRecord p;
    p.impulseId = 2;
    EXPECT_EQ(results.Write(p), db::kNoMeasurement);
    CAcfFactTable acfResults;
    AcfFactRecord a;
    a.acfId = 5;
    ASSERT_TRUE(acfResults.Open());
    EXPECT_EQ(acfResults.Write(a, AcfFactBlobs{}), db::kNoMeasurement);
    EXPECT_EQ(acfResults.Exists(5), 0);
    results.Close();
    acfResults.Close();

    const CliRun check = RunCli(store.DataPath(), {"check"});
    EXPECT_EQ(check.status, 3);
    EXPECT_NE(check.out.find("ACPARAM: result of measurement 2, which is gone"), std::string::npos)
        << check.out;
}

TEST_F(Promises, CheckFindsOrphansAndRepairsAfterTheQuestion) {
    {
        CFolderTable folders;  // a deletion killed after the folder record went
        ASSERT_TRUE(folders.Open());
        const std::string key = FormatKey(1);
        ASSERT_EQ(folders.SelectIndex(folders.Index1()), db::kOk);
        ASSERT_EQ(folders.DeleteByKey(key.data(), 8, 0), db::kOk);
    }
    CliRun run = RunCli(store.DataPath(), {"check"});
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.out.find("IMPULSE: measurement 1 has no folder 1 of its kind (orphan)"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(RunCli(store.DataPath(), {"check", "--repair"}, cli::CliMessages::Answer::No).status,
              1);
    EXPECT_EQ(RunCli(store.DataPath(), {"check", "--repair"}, cli::CliMessages::Answer::Yes).status,
              0);
    run = RunCli(store.DataPath(), {"check"});
    EXPECT_EQ(run.status, 0) << run.out;
    CImpulseTable impulses;
    ASSERT_TRUE(impulses.Open());
    EXPECT_EQ(impulses.Exists(1), 0);
}

TEST_F(Promises, CheckFindsWhatBreaksOtherCommands) {
    // A folder ID no folder can have.
    {
        CFolderTable folders;
        ASSERT_TRUE(folders.Open());
        ASSERT_TRUE(test::AppendFolder(folders, -9999999, "I"));
    }
    EXPECT_EQ(RunCli(store.DataPath(), {"check"}).status, 3);
    {
        CFolderTable folders;
        ASSERT_TRUE(folders.Open());
        const std::string key = FormatKey(-9999999);
        ASSERT_EQ(folders.SelectIndex(folders.Index1()), db::kOk);
        ASSERT_EQ(folders.DeleteByKey(key.data(), 8, 0), db::kOk);
    }
    ASSERT_EQ(RunCli(store.DataPath(), {"check"}).status, 0);

    // A deleted result record that its index still names.
    auto acparam = test::ReadFileBytes(store.File("ACPARAM.DBF"));
    const std::size_t header = detail::GetU16(acparam.data() + 8);
    acparam[header] = '*';
    test::WriteFileBytes(store.File("ACPARAM.DBF"), acparam);
    EXPECT_EQ(RunCli(store.DataPath(), {"check"}).status, 3);
    acparam[header] = ' ';
    test::WriteFileBytes(store.File("ACPARAM.DBF"), acparam);

    // A result whose frame count disagrees with its factors.
    {
        CFolderTable folders;
        CAcfTable acfs;
        CAcfFactTable results;
        ASSERT_TRUE(folders.Open() && acfs.Open() && results.Open());
        ASSERT_TRUE(test::AppendFolder(folders, 2, "A"));
        AcfRecord r;
        r.folderId = 2;
        r.acfId = 1;
        ASSERT_TRUE(acfs.Append(r, std::vector<unsigned char>(64, 1)));
        AcfFactRecord f;
        f.acfId = 1;
        AcfFactBlobs blobs;
        blobs.factors.assign(3 * blob::kAcfFactorSize, 1);
        blobs.peaks.assign(3 * blob::kAcfPeakSize, 2);
        ASSERT_EQ(results.Write(f, blobs), db::kOk);
        ASSERT_EQ(RunCli(store.DataPath(), {"check"}).status, 0);
        std::vector<char> buffer;
        f.nAcfFact = 4;
        ASSERT_EQ(results.PackRecord(f, &buffer), db::kOk);
        ASSERT_EQ(results.ReplaceCurrent(buffer.data()), db::kOk);
    }
    const CliRun run = RunCli(store.DataPath(), {"check"});
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.out.find("parts disagree"), std::string::npos) << run.out;

    // A field type letter no table has.
    auto folder = test::ReadFileBytes(store.File("FOLDER.DBF"));
    folder[32 + 32 + 11] = 'X';  // TYPE
    test::WriteFileBytes(store.File("FOLDER.DBF"), folder);
    EXPECT_EQ(RunCli(store.DataPath(), {"check"}).status, 3);
}

TEST_F(Promises, HugeZeroFilledTableIsDamageFoundAtOnce) {
    auto folder = test::ReadFileBytes(store.File("FOLDER.DBF"));
    const std::size_t header = detail::GetU16(folder.data() + 8);
    const std::size_t length = detail::GetU16(folder.data() + 10);
    const std::uint32_t claimed = 3000000;
    detail::PutU32(folder.data() + 4, claimed);
    folder.resize(header + length);  // the first record stays; millions of zeros follow
    test::WriteFileBytes(store.File("FOLDER.DBF"), folder);
    std::filesystem::resize_file(store.File("FOLDER.DBF"), header + claimed * length + 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunCli(store.DataPath(), {"folders"}).status, 3);
    const CliRun run = RunCli(store.DataPath(), {"check"});
    EXPECT_EQ(run.status, 3);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST_F(Promises, DamagedResultHeaderIsReportedNotOfferedForDeletion) {
    {
        CAcfFactTable results;
        ASSERT_TRUE(results.Open());
    }
    auto bytes = test::ReadFileBytes(store.File("ACFFACT.DBF"));
    bytes[32 + 4 * 32 + 5] = 'X';  // ACFCOND2 becomes ACFCOX2
    test::WriteFileBytes(store.File("ACFFACT.DBF"), bytes);
    test::ScriptedMessages answers(true);
    CAcfFactTable results;
    EXPECT_EQ(results.Open(), 0);
    EXPECT_TRUE(answers.asked.empty());
    ASSERT_EQ(answers.shown.size(), 1u);
    EXPECT_NE(answers.shown[0].find("(Error=3030)"), std::string::npos) << answers.shown[0];
    EXPECT_EQ(test::ReadFileBytes(store.File("ACFFACT.DBF")), bytes);
}

}  // namespace
}  // namespace vesk
