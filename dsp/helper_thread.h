// A second thread that runs one task at a time beside the caller, so that two independent
// pieces of one calculation (two bands, two frames) use both cores. Each piece is computed
// exactly as it would be alone; only the order in which they finish changes.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace vesk {

class HelperThread {
  public:
    // No thread is started when not wanted or when the machine has one core.
    explicit HelperThread(bool wanted);
    ~HelperThread();
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    // Hands the task over; false when there is no helper thread (the caller runs it itself).
    bool Start(std::function<void()> task);
    // Waits for the task; rethrows what it threw when asked to.
    void Finish(bool rethrow);

  private:
    void Loop();

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::function<void()> m_task;
    std::exception_ptr m_failure;
    bool m_quit = false;
};

// Runs first() here and second() on the helper (or here, after first, without one). The helper
// is always joined before this returns, also when first() throws.
void RunPair(HelperThread& helper, const std::function<void()>& first,
             const std::function<void()>& second);

}  // namespace vesk
