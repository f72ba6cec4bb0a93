#include "dsp/helper_thread.h"

#include <system_error>
#include <utility>

namespace vesk {

HelperThread::HelperThread(bool wanted) {
    if (!wanted || std::thread::hardware_concurrency() < 2) return;
    try {
        m_thread = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
        // No second thread to be had: the caller does all the work.
    }
}

HelperThread::~HelperThread() {
    if (!m_thread.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool HelperThread::Start(std::function<void()> task) {
    if (!m_thread.joinable()) return false;
    {
        std::lock_guard lock(m_mutex);
        m_task = std::move(task);
        m_failure = nullptr;
    }
    m_wake.notify_all();
    return true;
}

void HelperThread::Finish(bool rethrow) {
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return !m_task; });
    if (rethrow && m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
}

void HelperThread::Loop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_task; });
        if (m_quit) return;
        lock.unlock();
        std::exception_ptr failure;
        try {
            m_task();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        m_failure = failure;
        m_task = nullptr;
        m_wake.notify_all();
    }
}

void RunPair(HelperThread& helper, const std::function<void()>& first,
             const std::function<void()>& second) {
    const bool handed = helper.Start(second);
    try {
        first();
    } catch (...) {
        if (handed) helper.Finish(false);
        throw;
    }
    if (handed)
        helper.Finish(true);
    else
        second();
}

}  // namespace vesk
