#include "base/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "tests/test_support.h"

namespace vesk {
namespace {

TEST(ThreadPool, EveryIndexOnceWithSlotsNeverShared) {
    for (int threads : {1, 2, 3, 8}) {
        SCOPED_TRACE(threads);
        ThreadPool pool(threads);
        for (std::size_t count :
             {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{100}}) {
            std::vector<std::atomic<int>> hits(count);
            std::vector<std::atomic<int>> busy(static_cast<std::size_t>(threads));
            std::atomic<bool> shared{false};
            pool.ParallelFor(count, [&](std::size_t i, int slot) {
                ASSERT_GE(slot, 0);
                ASSERT_LT(slot, threads);
                if (busy[static_cast<std::size_t>(slot)].fetch_add(1) != 0) shared = true;
                ++hits[i];
                busy[static_cast<std::size_t>(slot)].fetch_sub(1);
            });
            for (std::size_t i = 0; i < count; ++i)
                EXPECT_EQ(hits[i].load(), 1) << i;
            EXPECT_FALSE(shared.load());
        }
    }
}

// Folder-level jobs that each run band-level loops: every thread may be busy with an outer job
// while its inner loop waits for help that never comes.
TEST(ThreadPool, NestedLoopsInsidePostedJobsFinish) {
    for (int threads : {2, 3}) {
        ThreadPool pool(threads);
        std::atomic<int> sum{0}, finished{0};
        const int jobs = 6;
        for (int j = 0; j < jobs; ++j) {
            pool.Post([&] {
                pool.ParallelFor(20, [&](std::size_t, int) {
                    pool.ParallelFor(5, [&](std::size_t i, int) { sum += static_cast<int>(i); });
                });
                ++finished;
            });
        }
        while (finished.load() < jobs)
            std::this_thread::yield();
        EXPECT_EQ(sum.load(), jobs * 20 * 10);
    }
}

TEST(ThreadPool, FirstExceptionReachesTheCaller) {
    ThreadPool pool(3);
    std::atomic<int> ran{0};
    EXPECT_THROW(pool.ParallelFor(50,
                                  [&](std::size_t i, int) {
                                      ++ran;
                                      if (i == 3) throw std::runtime_error("band failed");
                                  }),
                 std::runtime_error);
    EXPECT_LT(ran.load(), 50 + 1);
    // The pool is still usable afterwards.
    std::atomic<int> after{0};
    pool.ParallelFor(10, [&](std::size_t, int) { ++after; });
    EXPECT_EQ(after.load(), 10);
}

TEST(ThreadPool, CountFromOptionEnvironmentOrMachine) {
    const int machine = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    unsetenv("VESK_THREADS");
    EXPECT_EQ(ThreadCount(), machine);
    setenv("VESK_THREADS", "3", 1);
    EXPECT_EQ(ThreadCount(), 3);
    EXPECT_EQ(SharedPool().Threads(), 3);
    for (const char* bad : {"0", "-2", "3x", "", "99999"}) {
        setenv("VESK_THREADS", bad, 1);
        EXPECT_EQ(ThreadCount(), machine) << bad;
    }
    setenv("VESK_THREADS", "5", 1);
    {
        test::Threads option(2);  // the command line's --threads wins
        EXPECT_EQ(ThreadCount(), 2);
        EXPECT_EQ(SharedPool().Threads(), 2);
    }
    EXPECT_EQ(ThreadCount(), 5);
    unsetenv("VESK_THREADS");
}

}  // namespace
}  // namespace vesk
