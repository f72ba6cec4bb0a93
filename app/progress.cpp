#include "app/progress.h"

namespace vesk {

namespace {
Progress* g_current = nullptr;
}

Progress::Progress(ProgressSink& sink) : m_sink(sink), m_previous(g_current) {
    g_current = this;
}

Progress::~Progress() {
    g_current = m_previous;
}

void Progress::SetCount(int count) {
    m_count = count;
}

void Progress::BeginItem(int item) {
    m_base = m_count > 0 ? item * 100 / m_count : 0;
    m_position = m_base;
    m_sink.ShowPosition(m_position);
}

void Progress::ItemProgress(int percent) {
    m_position = (m_count > 0 ? percent / m_count : 0) + m_base;
    m_sink.ShowPosition(m_position);
}

void Progress::SetMessage(const std::string& text) {
    m_sink.ShowMessage(text);
}

int Progress::PollCancel() {
    if (m_sink.PumpAndCheckCancel()) m_cancel = 1;
    if (m_cancel && !m_sink.ConfirmCancel()) m_cancel = 0;
    return m_cancel;
}

Progress* CurrentProgress() {
    return g_current;
}

int ProgressCallback(int percent) {
    Progress* p = g_current;
    if (!p) return 0;
    if (p->PollCancel()) return 1;
    p->ItemProgress(percent);
    return 0;
}

}  // namespace vesk
