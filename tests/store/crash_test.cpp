// A writer process is killed at random moments; the store must reopen with every operation
// that returned intact, and the one in flight either absent or whole. The store's own writers
// (results, folder deletion, template import, weights) are killed at each write in turn.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>

#include <filesystem>

#include "noise/templates.h"
#include "store/db_engine.h"
#include "store/file_io.h"
#include "store/store_check.h"
#include "tests/test_support.h"

namespace vesk {
namespace {

// KEY I8 | VAL C20 | DATA B, unique index on KEY.
const FieldDescriptor kFields[] = {MakeField("KEY", 'I', 8), MakeField("VAL", 'C', 20),
                                   MakeField("DATA", 'B', 0)};
constexpr int kDataLength = 28;

struct Row {
    std::string val;
    std::vector<unsigned char> blob;
    bool operator==(const Row&) const = default;
};
using State = std::map<long, Row>;

enum class Kind { Append, Replace, Rewrite, Continue, Delete, Reopen };

struct Op {
    Kind kind = Kind::Reopen;
    long key = -1;
    std::string val;
    std::vector<unsigned char> first, second;  // the blob, or its two halves for a continuation
};

// Cheap to make, so that the writer spends its time in the engine where the kills should land.
std::vector<unsigned char> Bytes(std::uint64_t seed, std::size_t n) {
    std::vector<unsigned char> out(n);
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    for (std::size_t i = 0; i < n; i += 8) {
        std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        std::memcpy(out.data() + i, &z, std::min<std::size_t>(8, n - i));
    }
    return out;
}

std::string Text(long key, const std::string& val) {
    char text[kDataLength + 1];
    std::snprintf(text, sizeof text, "%8ld%-20s", key, val.c_str());
    return text;
}

// The operation at a step depends only on the step and the state it starts from, so the
// writer and the checker derive the same sequence.
Op MakeOp(long step, const State& state) {
    std::mt19937 g(0x5EEDu ^ static_cast<std::uint32_t>(step * 2654435761u));
    auto size = [&](std::uint32_t max) { return 1 + g() % max; };
    Op op;
    unsigned roll = state.size() < 3 ? 0 : g() % 100;
    if (roll < 30)
        op.kind = Kind::Append;
    else if (roll < 52)
        op.kind = Kind::Replace;
    else if (roll < 70)
        op.kind = Kind::Rewrite;
    else if (roll < 85)
        op.kind = Kind::Continue;
    else if (roll < 94)
        op.kind = Kind::Delete;
    else
        op.kind = Kind::Reopen;
    if (op.kind == Kind::Append) {
        op.key = step + 1;  // steps are never reused, so neither are keys
    } else if (op.kind != Kind::Reopen) {
        auto it = state.begin();
        std::advance(it, static_cast<long>(g() % state.size()));
        op.key = it->first;
    }
    op.val = (op.kind == Kind::Append ? "a" : "r") + std::to_string(step);
    std::uint64_t seed = static_cast<std::uint64_t>(step) * 2;
    if (op.kind == Kind::Append || op.kind == Kind::Rewrite) op.first = Bytes(seed, size(20480));
    if (op.kind == Kind::Continue) {
        op.first = Bytes(seed, size(12000));
        op.second = Bytes(seed + 1, size(12000));
    }
    return op;
}

void Apply(const Op& op, State* state) {
    switch (op.kind) {
        case Kind::Append:
            (*state)[op.key] = Row{op.val, op.first};
            break;
        case Kind::Replace:
            (*state)[op.key].val = op.val;
            break;
        case Kind::Rewrite:
            (*state)[op.key].blob = op.first;
            break;
        case Kind::Continue: {
            auto& blob = (*state)[op.key].blob;
            blob = op.first;
            blob.insert(blob.end(), op.second.begin(), op.second.end());
            break;
        }
        case Kind::Delete:
            state->erase(op.key);
            break;
        case Kind::Reopen:
            break;
    }
}

// Every state the op's record may be found in when the process died during the op: each
// step the engine commits on its own is a state that may survive.
std::vector<std::optional<Row>> Outcomes(const Op& op, const State& before) {
    std::optional<Row> old;
    if (auto it = before.find(op.key); it != before.end()) old = it->second;
    switch (op.kind) {
        case Kind::Append:
            return {std::nullopt, Row{op.val, {}}, Row{op.val, op.first}};
        case Kind::Replace:
            return {old, Row{op.val, old->blob}};
        case Kind::Rewrite:
            return {old, Row{old->val, op.first}};
        case Kind::Continue: {
            Row whole{old->val, op.first};
            whole.blob.insert(whole.blob.end(), op.second.begin(), op.second.end());
            return {old, Row{old->val, op.first}, whole};
        }
        case Kind::Delete:
            return {old, std::nullopt};
        case Kind::Reopen:
            return {};
    }
    return {};
}

DbStatus FindKey(CDbTable& t, int index, long key) {
    char text[16];
    std::snprintf(text, sizeof text, "%8ld", key);
    bool found = false;
    DbStatus st = t.SelectIndex(index);
    if (st == db::kOk) st = t.Find(text, 8, &found);
    return st != db::kOk ? st : found ? db::kOk : db::kKeyAbsent;
}

DbStatus Execute(CDbTable& t, int* index, const Op& op, const std::string& dbf,
                 const std::string& edx) {
    DbStatus st = db::kOk;
    std::string text = Text(op.key, op.val);
    switch (op.kind) {
        case Kind::Append:
            if ((st = t.Append(text.c_str())) == db::kOk)
                st = t.WriteBlob("DATA", op.first.data(),
                                 static_cast<std::uint32_t>(op.first.size()));
            return st;
        case Kind::Replace:
            return (st = FindKey(t, *index, op.key)) != db::kOk ? st
                                                                : t.ReplaceCurrent(text.c_str());
        case Kind::Rewrite:
            if ((st = FindKey(t, *index, op.key)) != db::kOk) return st;
            return t.WriteBlob("DATA", op.first.data(),
                               static_cast<std::uint32_t>(op.first.size()));
        case Kind::Continue:
            if ((st = FindKey(t, *index, op.key)) != db::kOk) return st;
            if ((st = t.WriteBlob("DATA", op.first.data(),
                                  static_cast<std::uint32_t>(op.first.size()))) != db::kOk)
                return st;
            return t.WriteBlob(nullptr, op.second.data(),
                               static_cast<std::uint32_t>(op.second.size()));
        case Kind::Delete: {
            char key[16];
            std::snprintf(key, sizeof key, "%8ld", op.key);
            if ((st = t.SelectIndex(*index)) != db::kOk) return st;
            return t.DeleteByKey(key, 8, 0);
        }
        case Kind::Reopen:
            // Closing writes the indexes back: a kill may land in that too.
            t.Close();
            if ((st = t.Open(dbf)) != db::kOk) return st;
            return t.OpenIndex(edx, index);
    }
    return db::kBadArgument;
}

struct Report {
    std::int32_t step;
    std::int32_t status;  // nonzero: the writer failed at the step
};

[[noreturn]] void RunWriter(int fd, const std::string& dbf, const std::string& edx, long start,
                            long end, State state) {
    auto send = [&](long step, DbStatus status) {
        Report r{static_cast<std::int32_t>(step), static_cast<std::int32_t>(status)};
        if (::write(fd, &r, sizeof r) != sizeof r) _exit(4);
    };
    CDbTable t;
    int index = 0;
    DbStatus st = t.Open(dbf);
    if (st == db::kOk) st = t.OpenIndex(edx, &index);
    if (st != db::kOk) {
        send(start, st);
        _exit(3);
    }
    for (long step = start; step < end; ++step) {
        Op op = MakeOp(step, state);
        if ((st = Execute(t, &index, op, dbf, edx)) != db::kOk) {
            send(step, st);
            _exit(3);
        }
        Apply(op, &state);
        send(step, db::kOk);
    }
    for (;;)
        ::pause();  // the parent kills us
}

// Reads the whole table through record order and through the index.
std::string ReadBack(CDbTable& t, int index, State* out) {
    char buffer[kDataLength + 1] = {};
    std::string problem;
    DbStatus st = t.SelectIndex(0);
    if (st == db::kOk) st = t.GoFirst();
    for (int guard = 0; st == db::kOk && guard < 1000000; ++guard) {
        bool atEnd = false;
        if ((st = t.AtEnd(&atEnd)) != db::kOk || atEnd) break;
        if ((st = t.ReadCurrent(buffer)) != db::kOk) break;
        long key = std::strtol(std::string(buffer, 8).c_str(), nullptr, 10);
        std::string val(buffer + 8, 20);
        val.erase(val.find_last_not_of(' ') + 1);
        std::uint32_t size = 0, read = 0;
        if ((st = t.BlobSize("DATA", &size)) != db::kOk) break;
        std::vector<unsigned char> blob(size);
        if (size && (st = t.ReadBlob("DATA", blob.data(), size, &read)) != db::kOk) break;
        if (read != size) return "short blob read for key " + std::to_string(key);
        if (out->count(key)) return "key " + std::to_string(key) + " twice";
        (*out)[key] = Row{val, blob};
        st = t.Skip(1);
    }
    if (st != db::kOk) return std::string("walk failed: ") + DbStatusText(st);
    for (const auto& [key, row] : *out) {
        if ((st = FindKey(t, index, key)) != db::kOk)
            return "index lost key " + std::to_string(key);
        if ((st = t.ReadCurrent(buffer)) != db::kOk ||
            std::string(buffer, kDataLength) != Text(key, row.val))
            return "index points key " + std::to_string(key) + " elsewhere";
    }
    return "";
}

std::string Describe(const std::optional<Row>& row) {
    if (!row) return "absent";
    return "'" + row->val + "' with a " + std::to_string(row->blob.size()) + "-byte blob";
}

// Compares what survived with the model: exact outside the op in flight, one of its outcomes on it.
std::string Compare(const State& actual, const State& expected, const Op* inFlight) {
    long flightKey = inFlight ? inFlight->key : -1;
    std::map<long, bool> keys;
    for (const auto& kv : actual)
        keys[kv.first] = true;
    for (const auto& kv : expected)
        keys[kv.first] = true;
    for (const auto& [key, unused] : keys) {
        std::optional<Row> got, want;
        if (auto it = actual.find(key); it != actual.end()) got = it->second;
        if (auto it = expected.find(key); it != expected.end()) want = it->second;
        if (key == flightKey) {
            auto outcomes = Outcomes(*inFlight, expected);
            bool ok = false;
            for (const auto& o : outcomes)
                ok = ok || o == got;
            if (!ok)
                return "key " + std::to_string(key) + " of the op in flight is " + Describe(got);
        } else if (got != want) {
            return "key " + std::to_string(key) + " is " + Describe(got) + ", expected " +
                   Describe(want);
        }
    }
    return "";
}

TEST(Crash, KilledWriterLeavesEveryFinishedOperationIntact) {
    constexpr int kGroups = 10, kTrialsPerGroup = 20;  // a group continues on one store
    constexpr long kOpsPerTrial = 64;
    TheDbConnection().Connect("MERIDAX");
    std::mt19937 rng(20240611);
    int inFlightSeen = 0, killedMidSequence = 0;
    long step = 0;
    for (int group = 0; group < kGroups; ++group) {
        test::TempDir dir;
        const std::string dbf = dir.File("T.DBF"), edx = dir.File("T1.EDX");
        {
            CDbTable t;
            int index = 0;
            ASSERT_EQ(t.Create(dbf, kFields, 3), db::kOk);
            ASSERT_EQ(t.CreateIndex(edx, "KEY", true, &index), db::kOk);
        }
        State state;
        for (int trial = 0; trial < kTrialsPerGroup; ++trial) {
            SCOPED_TRACE("group " + std::to_string(group) + " trial " + std::to_string(trial) +
                         " from step " + std::to_string(step));
            const long start = step, end = step + kOpsPerTrial;
            const long target =
                start - 1 + static_cast<long>(rng() % 41);  // start - 1: before any report
            const int delayMicros = static_cast<int>(rng() % 400);

            int fds[2];
            ASSERT_EQ(::pipe(fds), 0);
            pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                ::close(fds[0]);
                RunWriter(fds[1], dbf, edx, start, end, state);
            }
            ::close(fds[1]);
            long last = start - 1;
            std::string failure;
            auto receive = [&] {
                Report r{};
                if (::read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) return false;
                if (r.status != 0)
                    failure = "writer failed at step " + std::to_string(r.step) + ": " +
                              DbStatusText(static_cast<DbStatus>(r.status));
                else
                    last = std::max<long>(last, r.step);
                return true;
            };
            while (last < target && failure.empty() && receive()) {
            }
            if (delayMicros) std::this_thread::sleep_for(std::chrono::microseconds(delayMicros));
            ::kill(pid, SIGKILL);
            int wstatus = 0;
            ::waitpid(pid, &wstatus, 0);
            while (receive()) {  // reports written before the kill are still in the pipe
            }
            ::close(fds[0]);
            ASSERT_EQ(failure, "");
            ASSERT_TRUE(WIFSIGNALED(wstatus) && WTERMSIG(wstatus) == SIGKILL);

            State expected = state;
            for (long s = start; s <= last; ++s)
                Apply(MakeOp(s, expected), &expected);
            std::optional<Op> inFlight;
            if (last + 1 < end) inFlight = MakeOp(last + 1, expected);
            if (last + 1 < end) ++killedMidSequence;

            CDbTable t;
            int index = 0;
            ASSERT_EQ(t.Open(dbf), db::kOk);
            ASSERT_EQ(t.OpenIndex(edx, &index), db::kOk);
            State actual;
            ASSERT_EQ(ReadBack(t, index, &actual), "");
            ASSERT_EQ(Compare(actual, expected, inFlight ? &*inFlight : nullptr), "");
            std::string report;
            ASSERT_EQ(t.Verify(&report), db::kOk) << report;
            if (inFlight && actual != expected) ++inFlightSeen;

            // The next trial goes on from what survived, past the op in flight.
            state = std::move(actual);
            step = last + 2;
        }
    }
    // The kills must land inside the sequences, some inside an operation, for the test to mean
    // anything.
    EXPECT_GT(killedMidSequence, 100);
    EXPECT_GT(inFlightSeen, 0);
    RecordProperty("in_flight_ops_seen", inFlightSeen);
}

// ---------------------------------------------------------------------------------------------
// Whole results and deletions, killed at every write.

// The store's check in a child, as `vesk-cli check` runs it: 0 when clean, else 3.
int CheckExitStatus(const std::string& store) {
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        test::ScriptedMessages messages(false);
        ConnectStoreAt(store);
        TheDbConnection().SetWritable(false);
        _exit(CheckStore(false, [](const std::string&) {}) == StoreCheck::Clean ? 0 : 3);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `operation` on a copy of the prepared store in a child killed at its Nth write, for
// N = 1, 2, ... until it finishes; after each run `verify` sees what survived (true: killed).
// Gives the number of writes the operation made.
template <class Operation, class Verify>
int KillAtEveryWrite(const std::string& prepared, Operation operation, Verify verify) {
    const std::string store = prepared + "-run";
    for (long n = 1; n < 10000; ++n) {
        std::filesystem::remove_all(store);
        std::filesystem::copy(prepared, store, std::filesystem::copy_options::recursive);
        ConnectStoreAt(store);
        pid_t pid = ::fork();
        if (pid == 0) {
            detail::g_killAtWrite = n;
            _exit(operation() ? 0 : 3);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
        if (!killed && (!WIFEXITED(status) || WEXITSTATUS(status) != 0)) {
            ADD_FAILURE() << "the operation failed on its own at write " << n;
            return static_cast<int>(n);
        }
        SCOPED_TRACE((killed ? "killed at write " : "finished after write ") + std::to_string(n));
        verify(killed);
        EXPECT_EQ(CheckExitStatus(store), 0) << "check after write " << n;
        if (!killed || ::testing::Test::HasFailure()) return static_cast<int>(n);
    }
    return 0;
}

std::vector<unsigned char> Pattern(unsigned char seed, std::size_t size) {
    std::vector<unsigned char> out(size);
    for (std::size_t i = 0; i < size; ++i)
        out[i] = static_cast<unsigned char>(seed + i * 7);
    return out;
}

AcfFactBlobs AcfResult(unsigned char seed, std::size_t frames) {
    AcfFactBlobs b;
    b.cond.fill(seed);
    b.factors = Pattern(seed, frames * blob::kAcfFactorSize);
    b.peaks = Pattern(static_cast<unsigned char>(seed + 1), frames * blob::kAcfPeakSize);
    return b;
}

class StoreKill : public ::testing::Test {
  protected:
    void SetUp() override {
        TheDbConnection().Connect("MERIDAX");
        TheDbConnection().SetWritable(true);
        prepared = dir.File("DATA");
        ConnectStoreAt(prepared);
    }
    void TearDown() override { ConnectStoreAt(prepared); }
    test::TempDir dir;
    test::ScriptedMessages messages{true};
    std::string prepared;
};

TEST_F(StoreKill, RunningAcfResultsAreOldOrNewWhole) {
    {
        CFolderTable folders;
        CAcfTable acfs;
        CAcfFactTable results;
        ASSERT_TRUE(folders.Open() && acfs.Open() && results.Open());
        ASSERT_TRUE(test::AppendFolder(folders, 1, "A"));
        for (std::int32_t id : {1, 2}) {
            AcfRecord r;
            r.folderId = 1;
            r.acfId = id;
            ASSERT_TRUE(acfs.Append(r, std::vector<unsigned char>(64, 1)));
        }
        AcfFactRecord old;
        old.acfId = 1;
        ASSERT_EQ(results.Write(old, AcfResult(10, 3)), db::kOk);
    }
    auto same = [](const AcfFactRecord& r, const AcfFactBlobs& b, const AcfFactBlobs& want) {
        return r.nAcfFact == static_cast<std::int32_t>(want.factors.size() / 40) &&
               b.cond == want.cond && b.factors == want.factors && b.peaks == want.peaks;
    };
    int writes = KillAtEveryWrite(
        prepared,
        [] {
            CAcfFactTable results;
            AcfFactRecord a, b;
            a.acfId = 1;
            b.acfId = 2;
            return results.Open() && results.Write(a, AcfResult(20, 5)) == db::kOk &&
                   results.Write(b, AcfResult(30, 4)) == db::kOk;
        },
        [&](bool killed) {
            CAcfFactTable results;
            ASSERT_TRUE(results.Open());
            AcfFactRecord r;
            AcfFactBlobs b;
            ASSERT_TRUE(results.Read(1, &r, &b));
            EXPECT_TRUE((killed && same(r, b, AcfResult(10, 3))) || same(r, b, AcfResult(20, 5)))
                << "measurement 1 holds " << r.nAcfFact << " frames";
            if (results.Read(2, &r, &b)) {
                EXPECT_TRUE(same(r, b, AcfResult(30, 4))) << "measurement 2: " << r.nAcfFact;
            } else {
                EXPECT_TRUE(killed) << "measurement 2 lost its result";
            }
        });
    EXPECT_GT(writes, 4);
}

TEST_F(StoreKill, NoiseResultsAreOldOrNewWhole) {
    std::array<unsigned char, blob::kNmsCondSize> cond{};
    auto source = [](char letter) {
        std::array<unsigned char, blob::kNoiseSourceSize> s{};
        s.fill(static_cast<unsigned char>(letter));
        s[16] = 0;
        s[blob::kNoiseSourceSize - 1] = 0;
        return s;
    };
    auto write = [&](unsigned char seed, std::size_t frames, char name) {
        CNmsTable table;
        NmsRecord r;
        std::array<unsigned char, blob::kNmsCondSize> c{};
        c.fill(seed);
        return table.Open() && table.Read(1, &r) &&
               table.WriteResult(r, c, Pattern(seed, frames * blob::kNmsFactorSize),
                                 source(name)) == db::kOk;
    };
    {
        CFolderTable folders;
        CNmsTable table;
        ASSERT_TRUE(folders.Open() && table.Open());
        ASSERT_TRUE(test::AppendFolder(folders, 1, "N"));
        NmsRecord r;
        r.folderId = 1;
        r.nmsId = 1;
        r.condSize = static_cast<std::int32_t>(blob::kNmsCondSize);
        ASSERT_TRUE(table.Append(r, std::vector<unsigned char>(64, 1), cond));
    }
    ASSERT_TRUE(write(5, 3, 'a'));
    int writes = KillAtEveryWrite(
        prepared, [&] { return write(9, 6, 'b'); },
        [&](bool killed) {
            CNmsTable table;
            NmsRecord r;
            NmsBlobs b;
            ASSERT_TRUE(table.Open() && table.Read(1, &r, &b));
            const bool old = r.nNmsFact == 3 && b.factors == Pattern(5, 3 * 40) && b.cond[0] == 5 &&
                             b.source == source('a');
            const bool now = r.nNmsFact == 6 && b.factors == Pattern(9, 6 * 40) && b.cond[0] == 9 &&
                             b.source == source('b');
            EXPECT_TRUE((killed && old) || now) << r.nNmsFact << " frames";
        });
    EXPECT_GT(writes, 3);
}

// The ISO result of a band set, told apart by its broadband T30.
IsoResultRecord IsoOf(std::int32_t id, double t30) {
    IsoResultRecord r;
    r.impulseId = id;
    r.channels = 2;
    r.bands.resize(3);
    r.bands[0].channel[0].t30.seconds = t30;
    return r;
}

// The measurement's pair: its ACPARAM record's NDATA and its ISO result's T30 (0 for none).
std::pair<int, double> PairOf(long id) {
    CAcParamTable results;
    AcParamRecord r;
    if (!results.Open() || !results.Read(id, &r)) return {0, 0};
    IsoResultRecord iso;
    const IsoLoad load = LoadIsoResult(id, &iso);
    EXPECT_NE(load, IsoLoad::Failed);
    return {r.nData, load == IsoLoad::Loaded ? iso.bands[0].channel[0].t30.seconds : 0};
}

TEST_F(StoreKill, ImpulseResultsAreOldOrNew) {
    {
        CFolderTable folders;
        CImpulseTable impulses;
        CAcParamTable results;
        CIsoParamTable iso;
        ASSERT_TRUE(folders.Open() && impulses.Open() && results.Open() && iso.Open());
        ASSERT_TRUE(test::AppendFolder(folders, 1, "I"));
        for (std::int32_t id : {1, 2})
            ASSERT_TRUE(test::AppendImpulse(impulses, 1, id, std::vector<unsigned char>(64, 1)));
        AcParamRecord old;
        old.impulseId = 1;
        old.nData = 1;
        const IsoResultRecord oldIso = IsoOf(1, 1.5);
        ASSERT_EQ(WriteImpulseResult(results, iso, old, &oldIso), db::kOk);
    }
    KillAtEveryWrite(
        prepared,
        [] {
            CAcParamTable results;
            CIsoParamTable iso;
            AcParamRecord a, b;
            a.impulseId = 1;
            a.nData = 2;
            b.impulseId = 2;
            b.nData = 3;
            const IsoResultRecord isoA = IsoOf(1, 2.5), isoB = IsoOf(2, 3.5);
            return results.Open() && iso.Open() &&
                   WriteImpulseResult(results, iso, a, &isoA) == db::kOk &&
                   WriteImpulseResult(results, iso, b, &isoB) == db::kOk;
        },
        [&](bool killed) {
            const auto one = PairOf(1), two = PairOf(2);
            EXPECT_TRUE((killed && one == std::make_pair(1, 1.5)) || one == std::make_pair(2, 2.5))
                << "measurement 1 holds " << one.first << ", " << one.second;
            EXPECT_TRUE((killed && two == std::make_pair(0, 0.0)) || two == std::make_pair(3, 3.5))
                << "measurement 2 holds " << two.first << ", " << two.second;
        });
}

TEST_F(StoreKill, FolderDeletionLeavesNoOrphans) {
    {
        CFolderTable folders;
        CImpulseTable impulses;
        CAcParamTable results;
        CIsoParamTable iso;
        ASSERT_TRUE(folders.Open() && impulses.Open() && results.Open() && iso.Open());
        ASSERT_TRUE(test::AppendFolder(folders, 1, "I"));
        ASSERT_TRUE(test::AppendFolder(folders, 2, "I"));
        for (std::int32_t id = 1; id <= 4; ++id) {
            ASSERT_TRUE(test::AppendImpulse(impulses, id <= 3 ? 1 : 2, id,
                                            std::vector<unsigned char>(64, 1)));
            AcParamRecord p;
            p.impulseId = id;
            const IsoResultRecord isoResult = IsoOf(id, id);
            ASSERT_EQ(WriteImpulseResult(results, iso, p, &isoResult), db::kOk);
        }
    }
    int writes = KillAtEveryWrite(
        prepared, [] { return DeleteFolder(1) == 1; },
        [&](bool killed) {
            CFolderTable folders;
            FolderRecord f;
            ASSERT_TRUE(folders.Open());
            const bool folderThere = folders.Read(1, &f) == 1;
            EXPECT_TRUE(killed || !folderThere);
            EXPECT_TRUE(folders.Read(2, &f));
            CAcParamTable results;
            AcParamRecord p;
            ASSERT_TRUE(results.Open() && results.Read(4, &p));  // the other folder's
            EXPECT_EQ(PairOf(4), std::make_pair(0, 4.0));
            if (!folderThere) {
                CIsoParamTable iso;
                IsoParamRecord row;
                ASSERT_TRUE(iso.Open());
                for (long id : {1, 2, 3})
                    EXPECT_FALSE(iso.ReadRecord(id, &row)) << id;
            }
        });
    EXPECT_GT(writes, 3);
}

TEST_F(StoreKill, TemplateImportAndWeightsAreAllOrNothing) {
    auto data = [](float standard, std::int32_t count) {
        NoiseTemplateData d;
        d.standard = {standard, 0.1f, 0.2f, 0.3f};
        d.sumSquares = {standard * standard * count, 1, 1, 1};
        d.count = count;
        return d;
    };
    std::int32_t id = 0;
    ASSERT_EQ(SaveNewTemplate("fan", data(60, 0), &id), TemplateAction::Done);
    ASSERT_EQ(MergeLearntTemplate("road", data(70, 4), &id), TemplateAction::Done);
    const std::string nst = dir.File("lib.nst");
    ASSERT_TRUE(
        WriteNstFile(nst, {{"road", data(80, 4)}, {"rain", data(50, 2)}, {"hum", data(40, 3)}}));
    auto names = [] {
        std::vector<NoiseTemplate> all;
        EXPECT_TRUE(LoadTemplates(&all));
        std::string out;
        for (const NoiseTemplate& t : all)
            out += t.name + ":" + std::to_string(t.data.count) + " ";
        return out;
    };
    const std::string before = names();
    const auto weightsBefore = test::ReadFileBytes(prepared + "/" + kWeightsFileName);
    ASSERT_EQ(weightsBefore.size(), 16u);
    int writes = KillAtEveryWrite(
        prepared,
        [&] {
            return ImportTemplates(nst, std::vector<bool>(3, true), true) == TemplateAction::Done;
        },
        [&](bool killed) {
            const std::string now = names();
            EXPECT_TRUE((killed && now == before) || now == "fan:0 road:8 rain:2 hum:3 ") << now;
            EXPECT_EQ(test::ReadFileBytes(DataPath() + "/" + kWeightsFileName).size(), 16u);
        });
    EXPECT_GT(writes, 4);

    FactorWeights next;
    next.w = {0.5f, 0.25f, 0.125f, 1.0f};
    KillAtEveryWrite(
        prepared, [&] { return WriteFactorWeights(next); },
        [&](bool killed) {
            const FactorWeights read = ReadFactorWeights();
            const auto bytes = test::ReadFileBytes(DataPath() + "/" + kWeightsFileName);
            EXPECT_TRUE((killed && bytes == weightsBefore) || read.w == next.w);
        });
}

}  // namespace
}  // namespace vesk
