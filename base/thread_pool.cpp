#include "base/thread_pool.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>

namespace vesk {

ThreadPool::ThreadPool(int threads) : m_threads(threads < 1 ? 1 : threads) {
    // A one-thread pool keeps everything on the caller's thread. Otherwise a folder run leaves
    // its own thread to progress and writing, so every counted thread is a worker.
    if (m_threads == 1) return;
    m_workers.reserve(static_cast<std::size_t>(m_threads));
    for (int i = 0; i < m_threads; ++i)
        m_workers.emplace_back([this] { Loop(); });
}

ThreadPool::~ThreadPool() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_workers)
        t.join();
}

void ThreadPool::Post(std::function<void()> job) {
    if (m_workers.empty()) {
        job();
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void ThreadPool::Loop() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_quit || !m_jobs.empty(); });
            if (m_jobs.empty()) return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}

namespace {

// Shared with the helpers, which may start after the loop is over and then find nothing to do.
struct LoopState {
    std::function<void(std::size_t, int)> body;
    std::size_t count = 0;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t done = 0;
    std::exception_ptr error;
};

void Drain(LoopState& s, int slot) {
    for (;;) {
        const std::size_t i = s.next.fetch_add(1);
        if (i >= s.count) return;
        if (!s.failed.load()) {
            try {
                s.body(i, slot);
            } catch (...) {
                std::lock_guard lock(s.mutex);
                if (!s.error) s.error = std::current_exception();
                s.failed = true;
            }
        }
        std::lock_guard lock(s.mutex);
        if (++s.done == s.count) s.finished.notify_all();
    }
}

}  // namespace

void ThreadPool::ParallelFor(std::size_t count, const std::function<void(std::size_t, int)>& body) {
    if (count == 0) return;
    const std::size_t helpers =
        std::min<std::size_t>(count, static_cast<std::size_t>(m_threads)) - 1;
    if (helpers == 0 || m_workers.empty()) {
        for (std::size_t i = 0; i < count; ++i)
            body(i, 0);
        return;
    }
    auto state = std::make_shared<LoopState>();
    state->body = body;
    state->count = count;
    for (std::size_t h = 1; h <= helpers; ++h)
        Post([state, h] { Drain(*state, static_cast<int>(h)); });
    Drain(*state, 0);
    std::unique_lock lock(state->mutex);
    state->finished.wait(lock, [&] { return state->done == state->count; });
    if (state->error) std::rethrow_exception(state->error);
}

namespace {

std::mutex g_poolMutex;
int g_chosen = 0;
std::unique_ptr<ThreadPool> g_pool;

int FromEnvironment() {
    const char* text = std::getenv("VESK_THREADS");
    if (!text || !*text) return 0;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    return *end == '\0' && n >= 1 && n <= 1024 ? static_cast<int>(n) : 0;
}

}  // namespace

int ThreadCount() {
    {
        std::lock_guard lock(g_poolMutex);
        if (g_chosen > 0) return g_chosen;
    }
    if (int n = FromEnvironment(); n > 0) return n;
    const unsigned hw = std::thread::hardware_concurrency();
    return hw > 0 ? static_cast<int>(hw) : 1;
}

void SetThreadCount(int threads) {
    std::lock_guard lock(g_poolMutex);
    g_chosen = threads > 0 ? threads : 0;
}

ThreadPool& SharedPool() {
    const int wanted = ThreadCount();
    std::lock_guard lock(g_poolMutex);
    if (!g_pool || g_pool->Threads() != wanted) g_pool = std::make_unique<ThreadPool>(wanted);
    return *g_pool;
}

}  // namespace vesk
