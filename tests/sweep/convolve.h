// Linear convolution through the product's float FFT, for recordings made in the tests: its
// rounding sits some 120 dB down, far below the noise the tests add.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "dsp/fft.h"

namespace vesk::test {

inline std::size_t PowerOfTwoAtLeast(std::size_t n) {
    std::size_t p = 1;
    while (p < n)
        p *= 2;
    return p;
}

inline std::vector<float> Convolve(const std::vector<float>& a, const std::vector<float>& b) {
    const std::size_t out = a.size() + b.size() - 1, n = PowerOfTwoAtLeast(out);
    std::vector<float> ar(n), ai(n), br(n), bi(n);
    std::copy(a.begin(), a.end(), ar.begin());
    std::copy(b.begin(), b.end(), br.begin());
    const auto size = static_cast<std::int32_t>(n);
    EXPECT_EQ(FftForward(SharedFftTables(size), size, ar.data(), ai.data()), 0);
    EXPECT_EQ(FftForward(SharedFftTables(size), size, br.data(), bi.data()), 0);
    for (std::size_t k = 0; k < n; ++k) {
        const float re = ar[k] * br[k] - ai[k] * bi[k], im = ar[k] * bi[k] + ai[k] * br[k];
        ar[k] = re / float(n);
        ai[k] = im / float(n);
    }
    EXPECT_EQ(FftInverse(SharedFftTables(size), size, ar.data(), ai.data()), 0);
    ar.resize(out);
    return ar;
}

}  // namespace vesk::test
