// The threads that calculations share. One process-wide pool, sized to the machine unless told
// otherwise, serves the measurements of a folder, the bands of a measurement and the frames of a
// recording. Work handed to it is split by index, never by arithmetic, so each piece is
// computed exactly as it would be alone.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vesk {

class ThreadPool {
  public:
    // `threads` pieces of work at once; one means everything runs on the caller's thread.
    explicit ThreadPool(int threads);
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    int Threads() const { return m_threads; }

    // Runs the job on a pool thread (here, at once, in a one-thread pool).
    void Post(std::function<void()> job);

    // body(index, slot) for every index below count, at most Threads() at once; the caller takes
    // part, so a call from inside a pool job cannot wait on itself. `slot` is below Threads() and
    // unique among the calls running at one time (for per-thread work buffers). Returns when all
    // are done; rethrows the first exception a body threw (the rest of the indices are dropped).
    void ParallelFor(std::size_t count, const std::function<void(std::size_t, int)>& body);

  private:
    void Loop();

    int m_threads;
    std::vector<std::thread> m_workers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_quit = false;
};

// The thread count in force: the one set by SetThreadCount, else VESK_THREADS when it holds a
// whole number from 1 to 1024, else std::thread::hardware_concurrency() (at least 1).
int ThreadCount();

// 0 returns to VESK_THREADS or the machine. Takes effect on the next SharedPool(); call it only
// while no calculation runs.
void SetThreadCount(int threads);

// The process-wide pool of ThreadCount() threads.
ThreadPool& SharedPool();

}  // namespace vesk
