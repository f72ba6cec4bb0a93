// How far a calculation has come, and a confirmed request to stop. The arithmetic lives here
// once; the desktop dialog, the command-line bar and test fakes show it through ProgressSink.
#pragma once

#include <string>

namespace vesk {

class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    virtual void ShowPosition(int percent) = 0;  // 0..100
    virtual void ShowMessage(const std::string& text) = 0;
    // Keeps the interface alive; says whether the user asked to stop since the last call.
    virtual bool PumpAndCheckCancel() = 0;
    // "Cancel action?": true when the user confirms.
    virtual bool ConfirmCancel() = 0;
};

class Progress {
  public:
    explicit Progress(ProgressSink& sink) : m_sink(sink) {}
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void SetCount(int count);
    void BeginItem(int item);        // position = item * 100 / count
    void ItemProgress(int percent);  // position = percent / count + base
    void SetMessage(const std::string& text);
    // 1 when a requested stop was confirmed; a declined request is withdrawn.
    int PollCancel();
    int Position() const { return m_position; }

  private:
    ProgressSink& m_sink;
    int m_count = 100;
    int m_base = 0;
    int m_position = 0;
    int m_cancel = 0;
};

}  // namespace vesk
