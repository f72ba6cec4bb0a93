// The progress of a calculation on stderr: a bar on a terminal, one line per measurement
// elsewhere; Ctrl-C asks "Cancel action?" on a terminal and cancels anywhere else.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>

#include "base/progress.h"

namespace vesk::cli {

namespace detail {
inline std::atomic<bool> g_interrupted{false};
inline void OnInterrupt(int) {
    g_interrupted = true;
}
}  // namespace detail

// Progress as a bar on a terminal; elsewhere one line per measurement.
class CliProgress : public ProgressSink {
  public:
    CliProgress() : m_terminal(isatty(STDERR_FILENO)) {
        struct sigaction action {};
        action.sa_handler = detail::OnInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_previous);
    }
    ~CliProgress() override {
        sigaction(SIGINT, &m_previous, nullptr);
        if (m_terminal && m_drawn) std::fputc('\n', stderr);
    }
    void ShowPosition(int percent) override {
        m_percent = percent;
        Draw();
    }
    void ShowMessage(const std::string& text) override {
        std::string record = text.substr(0, text.find(" ["));
        if (!m_terminal && record != m_lastRecord) std::fprintf(stderr, "%s\n", record.c_str());
        m_lastRecord = record;
        m_text = text;
        Draw();
    }
    bool PumpAndCheckCancel() override { return detail::g_interrupted.exchange(false); }
    bool ConfirmCancel() override {
        if (!m_terminal || !isatty(STDIN_FILENO)) return true;
        std::fprintf(stderr, "\nCancel action? [y/N] ");
        char line[16] = {};
        if (!std::fgets(line, sizeof line, stdin)) return true;
        return line[0] == 'y' || line[0] == 'Y';
    }

  private:
    void Draw() {
        if (!m_terminal) return;
        const int width = 30;
        int filled = std::clamp(m_percent, 0, 100) * width / 100;
        std::fprintf(stderr, "\r[%.*s%*s] %3d%%  %-50.50s", filled,
                     "##############################", width - filled, "", m_percent,
                     m_text.c_str());
        std::fflush(stderr);
        m_drawn = true;
    }
    bool m_terminal;
    bool m_drawn = false;
    int m_percent = 0;
    std::string m_text, m_lastRecord;
    struct sigaction m_previous {};
};

}  // namespace vesk::cli
