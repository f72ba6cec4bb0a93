#include "base/progress.h"

namespace vesk {

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

}  // namespace vesk
