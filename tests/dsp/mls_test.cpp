#include <gtest/gtest.h>

#include <map>

#include "dsp/mls.h"

namespace vesk {
namespace {

TEST(Mls, EveryOrderRecoversAKnownResponse) {
    for (int order = 10; order <= 19; ++order) {
        ASSERT_TRUE(MlsPrepare(order));
        const MlsTransform& s = SharedMls();
        const std::size_t N = std::size_t{1} << order, L = N - 1;
        std::size_t ones = 0;
        for (std::size_t i = 0; i < L; ++i)
            ones += s.sequence[i];
        EXPECT_EQ(ones, N / 2) << "order " << order;  // a balanced maximum-length sequence
        EXPECT_EQ(s.sequence[L], s.sequence[0]) << "order " << order;  // period L

        // A sparse response: taps at a few delays.
        std::map<std::size_t, double> h = {
            {0, 0.5}, {3, -0.25}, {40, 0.125}, {L / 3, 0.0625}, {L - 2, 1.0}};
        double sum = 0;
        for (auto& [k, v] : h)
            sum += v;
        std::vector<float> y(N, 0.0f);
        for (std::size_t j = 0; j < L; ++j) {
            double acc = 0;
            for (auto& [k, v] : h)
                acc += v * (s.sequence[(j + L - k) % L] ? -1.0 : 1.0);
            y[j + 1] = static_cast<float>(acc);
        }
        auto before = s.permutation;
        MlsRecover(y.data());
        EXPECT_EQ(s.permutation, before);
        // Output k is (L + 1) * h[k] minus the sum of h; the last output is 0.
        for (std::size_t k = 0; k + 1 < N; ++k) {
            double expect = static_cast<double>(N) * (h.count(k) ? h[k] : 0.0) - sum;
            ASSERT_NEAR(y[k], expect, 1e-3 * N) << "order " << order << " k " << k;
        }
        EXPECT_EQ(y[N - 1], 0.0f);
    }
}

TEST(Mls, PreparationIsCachedAndOrderZeroDisables) {
    ASSERT_TRUE(MlsPrepare(12));
    int builds = SharedMls().builds;
    ASSERT_TRUE(MlsPrepare(12));
    EXPECT_EQ(SharedMls().builds, builds);
    ASSERT_TRUE(MlsPrepare(0));
    EXPECT_EQ(SharedMls().order, 0);
    EXPECT_EQ(SharedMls().sequence.size(), 4096u);  // the arrays stay
    std::vector<float> x(4096, 2.0f);
    MlsRecover(x.data());
    EXPECT_EQ(x[4095], 2.0f);    // nothing done
    ASSERT_TRUE(MlsPrepare(8));  // outside the table: order 8 with the taps and tags of order 10
    EXPECT_EQ(SharedMls().sequence.size(), 256u);
    for (int p : SharedMls().permutation)
        EXPECT_LT(p, 256);
    std::vector<float> small(256, 1.0f);
    MlsRecover(small.data());
    EXPECT_FALSE(MlsPrepare(40));
}

}  // namespace
}  // namespace vesk
