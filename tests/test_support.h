// Helpers shared by the tests: temporary stores, scripted message and progress sinks.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "base/progress.h"
#include "base/thread_pool.h"
#include "store/db_engine.h"
#include "store/messages.h"
#include "store/tables.h"

namespace vesk::test {

// Runs the scope's calculations on `threads` threads (1: on the test's own thread, so a
// scripted progress sees every poll in order).
struct Threads {
    explicit Threads(int threads) { SetThreadCount(threads); }
    ~Threads() { SetThreadCount(0); }
    Threads(const Threads&) = delete;
    Threads& operator=(const Threads&) = delete;
};

// A fresh folder under the temporary path, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// Records every message and answers questions from a script (then the default).
class ScriptedMessages : public MessageSink {
  public:
    explicit ScriptedMessages(bool defaultAnswer = false) : m_default(defaultAnswer) {
        SetMessages(this);
    }
    ~ScriptedMessages() override { SetMessages(nullptr); }
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    bool AskOkCancel(const std::string& text) override {
        asked.push_back(text);
        if (!answers.empty()) {
            bool a = answers.front();
            answers.erase(answers.begin());
            return a;
        }
        return m_default;
    }
    std::vector<std::string> shown, asked;
    std::vector<bool> answers;

  private:
    bool m_default;
};

// Records what a run shows, cancels at a chosen poll (counted from 1) and confirms the cancel
// as told.
class ScriptedProgress : public ProgressSink {
  public:
    void ShowPosition(int percent) override { positions.push_back(percent); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    bool PumpAndCheckCancel() override { return ++polls == cancelAtPoll; }
    bool ConfirmCancel() override { return confirm; }
    std::vector<int> positions;
    std::vector<std::string> messages;
    int polls = 0, cancelAtPoll = -1;
    bool confirm = true;
};

// A temporary store connected as the data path.
class TempStore {
  public:
    TempStore();
    const std::string& DataPath() const { return m_data; }
    std::string File(const std::string& name) const { return m_data + "/" + name; }

  private:
    TempDir m_dir;
    std::string m_data;
};

// A small table for engine tests: KEY I8 | NAME C10 | DATA B, and its record text.
extern const FieldDescriptor kKeyNameFields[3];
std::string KeyNameRecord(long key, const char* name);

// Appends a FOLDER record of a kind ("I", "A", "N"); the table's Append result.
int AppendFolder(CFolderTable& folders, std::int32_t id, const char* type, const char* title = "",
                 double scale = 0.0);

std::vector<unsigned char> ReadFileBytes(const std::string& path);
// RFC 4180 records; false on a quote in an unquoted field or an unclosed quote.
bool ReadCsv(const std::string& s, std::vector<std::vector<std::string>>* rows);

// What a program run from the shell did: its exit status (-1 when it did not exit), its
// standard output and its standard error.
struct RunResult {
    int status;
    std::string out, err;
};
// Runs `program args` in `dir` with standard input from /dev/null, after `prefix` (such as
// "env -u DISPLAY"); standard error goes through `errFile`.
RunResult RunProgram(const std::string& dir, const std::string& program, const std::string& args,
                     const std::string& errFile, const std::string& prefix = "");
void WriteFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);

std::string ReadFileText(const std::string& path);
// Every file directly in `dir` by name with its bytes, to show that something changed nothing.
std::map<std::string, std::vector<unsigned char>> FolderBytes(const std::string& dir);
// The records `table` (opened here) holds for a folder.
long CountInFolder(CStoreTable& table, std::int32_t folderId);
inline long CountInFolder(CStoreTable&& table, std::int32_t folderId) {
    return CountInFolder(table, folderId);
}

// Appends a measurement with nothing but its folder, ID and samples; the table's Append result.
bool AppendImpulse(CImpulseTable& impulses, std::int32_t folderId, std::int32_t id,
                   const std::vector<unsigned char>& wave);

}  // namespace vesk::test
