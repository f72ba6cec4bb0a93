// The commands of vesk-cli. Each returns the process exit status.
#pragma once

#include <string>
#include <vector>

#include "store/messages.h"

namespace vesk {
struct FolderRecord;
}

namespace vesk::cli {

enum Exit { kDone = 0, kCancelled = 1, kBadInput = 2, kStoreFailure = 3 };

// Prints store messages on stderr and answers questions from --yes / --no or the terminal.
class CliMessages : public MessageSink {
  public:
    enum class Answer { Ask, Yes, No };
    explicit CliMessages(Answer answer) : m_answer(answer) {}
    void ShowMessage(const std::string& text) override;
    bool AskOkCancel(const std::string& text) override;
    bool Shown() const { return m_shown; }
    bool Declined() const { return m_declined; }

  private:
    Answer m_answer;
    bool m_shown = false;
    bool m_declined = false;
};

struct Context {
    std::string storeDir;
    std::string settingsPath;
    CliMessages* messages = nullptr;
    // The status for a failed store operation: cancelled when a question was declined,
    // a store failure when a message was shown.
    int Failure() const;
};

// Prints a usage error on stderr and returns kBadInput.
int Usage(const std::string& message);
// Reads a folder record: kDone, or kBadInput for a missing folder (with a message on stderr),
// or the status of a store failure.
int LoadFolder(Context& ctx, long folderId, FolderRecord* folder);

int CmdFolders(Context& ctx, const std::vector<std::string>& args);
int CmdList(Context& ctx, const std::vector<std::string>& args);
int CmdTemplates(Context& ctx, const std::vector<std::string>& args);
void PrintTemplatesHelp();
int CmdExport(Context& ctx, const std::vector<std::string>& args);
int CmdShow(Context& ctx, const std::vector<std::string>& args);
int CmdPlot(Context& ctx, const std::vector<std::string>& args);
int CmdReport(Context& ctx, const std::vector<std::string>& args);
// Makes its own working folder and store (DIR, default "demo").
int CmdDemo(const std::vector<std::string>& args);
int CmdSweep(const std::vector<std::string>& args);
int CmdImport(Context& ctx, const std::vector<std::string>& args);
int CmdDeleteFolder(Context& ctx, const std::vector<std::string>& args);
int CmdCheck(Context& ctx, const std::vector<std::string>& args);
// Whether a command may change the store; the others open it for reading only.
bool CommandWrites(const std::string& command, const std::vector<std::string>& args);
// Sound-card measurements: the devices, and a measurement stored in a folder.
int CmdDevices(const std::vector<std::string>& args);
int CmdMeasure(Context& ctx, const std::vector<std::string>& args);
void PrintMeasureHelp();
int CmdCalc(Context& ctx, const std::vector<std::string>& args);
void PrintCalcHelp();

// Parses a whole decimal integer; false on anything else.
bool ParseInt(const std::string& text, long* value);
bool ParseDouble(const std::string& text, double* value);

}  // namespace vesk::cli
