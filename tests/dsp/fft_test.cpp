#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <iostream>
#include <random>
#include <string>
#include <utility>

#include "dsp/fft.h"

namespace vesk {
namespace {

// The transform exactly as written out: twiddle by twiddle, butterfly by butterfly.
void ReferenceFft(const FftTables& t, int n, float* re, float* im, bool inverse) {
    for (int i = 0; i < n; ++i) {
        int r = t.bitReverse[static_cast<std::size_t>(i)];
        if (r > i) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
    if (n < 2) return;
    for (int h = 1; h < n; h *= 2) {
        int s = n / (2 * h);
        for (int p = 0; p < h; ++p) {
            float c = n == 2 ? 1.0f : t.sine[static_cast<std::size_t>(n / 4 + p * s)];
            float w = t.sine[static_cast<std::size_t>(p * s)];
            for (int a = p; a < n; a += 2 * h) {
                int b = a + h;
                float tr, ti;
                if (inverse) {
                    tr = static_cast<float>(static_cast<double>(c) * re[b] -
                                            static_cast<double>(w) * im[b]);
                    ti = static_cast<float>(static_cast<double>(c) * im[b] +
                                            static_cast<double>(w) * re[b]);
                } else {
                    tr = static_cast<float>(static_cast<double>(c) * re[b] +
                                            static_cast<double>(w) * im[b]);
                    ti = static_cast<float>(static_cast<double>(c) * im[b] -
                                            static_cast<double>(w) * re[b]);
                }
                re[b] = re[a] - tr;
                re[a] = re[a] + tr;
                im[b] = im[a] - ti;
                im[a] = im[a] + ti;
            }
        }
    }
}

// Double-precision transform for the accuracy bound (recursive radix 2).
void DoubleFft(std::vector<std::complex<double>>& x, bool inverse) {
    const std::size_t n = x.size();
    if (n < 2) return;
    std::vector<std::complex<double>> even(n / 2), odd(n / 2);
    for (std::size_t i = 0; i < n / 2; ++i) {
        even[i] = x[2 * i];
        odd[i] = x[2 * i + 1];
    }
    DoubleFft(even, inverse);
    DoubleFft(odd, inverse);
    const double sign = inverse ? 1.0 : -1.0;
    for (std::size_t k = 0; k < n / 2; ++k) {
        auto t =
            std::polar(1.0, sign * 2 * M_PI * static_cast<double>(k) / static_cast<double>(n)) *
            odd[k];
        x[k] = even[k] + t;
        x[k + n / 2] = even[k] - t;
    }
}

struct Kernel {
    detail::FftKernel kernel;
    const char* name;
};
constexpr Kernel kKernels[] = {{detail::FftKernel::kBaseline, "baseline"},
                               {detail::FftKernel::kAvx2, "AVX2"},
                               {detail::FftKernel::kAvx512f, "AVX-512F"}};

// Runs each kernel the processor has on a copy of (re, im) and compares it bit for bit with the
// literal loop. Returns the output of the last kernel run.
void ExpectEveryKernelBitIdentical(FftTables& tables, const std::vector<float>& re,
                                   const std::vector<float>& im, bool inverse,
                                   const std::string& name, std::vector<float>* outRe = nullptr,
                                   std::vector<float>* outIm = nullptr) {
    const int n = static_cast<int>(re.size());
    auto refRe = re, refIm = im;
    ASSERT_EQ(tables.Ensure(n), 0);
    ReferenceFft(tables, n, refRe.data(), refIm.data(), inverse);
    for (const Kernel& k : kKernels) {
        if (!detail::UseFftKernel(k.kernel)) continue;
        auto r = re, i = im;
        const int status = inverse ? FftInverse(tables, n, r.data(), i.data())
                                   : FftForward(tables, n, r.data(), i.data());
        detail::UseBestFftKernel();
        ASSERT_EQ(status, 0) << name << " " << k.name;
        ASSERT_EQ(0, std::memcmp(r.data(), refRe.data(), r.size() * sizeof(float)))
            << name << " real part, " << k.name << " kernel";
        ASSERT_EQ(0, std::memcmp(i.data(), refIm.data(), i.size() * sizeof(float)))
            << name << " imaginary part, " << k.name << " kernel";
        if (outRe) *outRe = r;
        if (outIm) *outIm = i;
    }
}

TEST(Fft, EveryKernelRunsOrIsReportedMissing) {
    for (const Kernel& k : kKernels)
        if (!detail::CpuRunsFftKernel(k.kernel))
            std::cout << "[  SKIPPED ] the " << k.name
                      << " kernel: this processor lacks its instructions\n";
    EXPECT_TRUE(detail::CpuRunsFftKernel(detail::FftKernel::kBaseline));
}

TEST(Fft, BitIdenticalToTheLiteralLoopAndAccurateForEverySize) {
    std::mt19937 random(20261206);
    std::uniform_real_distribution<float> value(-32768.0f, 32767.0f);
    FftTables tables;
    for (int log = 0; log <= 19; ++log) {
        const int n = 1 << log;
        std::vector<float> re(static_cast<std::size_t>(n)), im(re.size());
        for (auto& v : re)
            v = value(random);
        for (auto& v : im)
            v = value(random);
        for (bool inverse : {false, true}) {
            const std::string name = "n=" + std::to_string(n) + (inverse ? " inverse" : " forward");
            std::vector<float> r1, i1;
            ExpectEveryKernelBitIdentical(tables, re, im, inverse, name, &r1, &i1);
            if (HasFatalFailure()) return;
            if (log > 16) continue;  // the double reference is slow beyond this
            std::vector<std::complex<double>> x(re.size());
            for (std::size_t k = 0; k < x.size(); ++k)
                x[k] = {re[k], im[k]};
            DoubleFft(x, inverse);
            double err = 0, ref = 0;
            for (std::size_t k = 0; k < x.size(); ++k) {
                err += std::norm(x[k] - std::complex<double>(r1[k], i1[k]));
                ref += std::norm(x[k]);
            }
            // Float rounding grows with the number of stages.
            EXPECT_LT(std::sqrt(err / ref), 2e-7 * (log + 1)) << name;
        }
    }
}

// Zero-padded and sparse signals: the butterflies with twiddle (1, 0) or (0, 1) must give the
// same signed zeros as the products in double.
TEST(Fft, BitIdenticalOnSignedZerosAndSparseInput) {
    std::mt19937 random(7);
    FftTables tables;
    // Only signed zeros, where the sign of every output depends on each zero product; then
    // sparse ones, where many outputs cancel to zero exactly.
    for (int ones : {0, 1, 8}) {
        std::uniform_int_distribution<int> pick(0, 63);
        for (int log : {1, 2, 3, 4, 8, 10, 11, 12}) {
            const int n = 1 << log;
            std::vector<float> re(static_cast<std::size_t>(n)), im(re.size());
            for (auto* v : {&re, &im})
                for (auto& x : *v) {
                    const int k = pick(random);
                    x = k < ones ? (k % 2 ? -1.0f : 1.0f) : (k % 2 ? -0.0f : 0.0f);
                }
            for (bool inverse : {false, true})
                ExpectEveryKernelBitIdentical(tables, re, im, inverse,
                                              std::to_string(ones) +
                                                  "/64 ones n=" + std::to_string(n) +
                                                  (inverse ? " inverse" : " forward"));
        }
    }
}

// The inverse for the ends only: each wanted output the same float as the whole inverse, on
// every kernel, for windows that end inside a stage, span stages, wrap, or ask for everything.
TEST(Fft, InverseForTheEndsGivesTheWholeInversesFloats) {
    std::mt19937 random(20261207);
    std::uniform_real_distribution<float> value(-1000.0f, 1000.0f);
    FftTables tables;
    for (int log : {3, 9, 10, 12, 17}) {
        const int n = 1 << log;
        std::vector<float> re(static_cast<std::size_t>(n)), im(re.size());
        for (std::size_t k = 0; k < re.size(); ++k) {
            re[k] = value(random);
            im[k] = k % 7 ? value(random) : -0.0f;
        }
        auto wholeRe = re, wholeIm = im;
        ASSERT_EQ(FftInverse(tables, n, wholeRe.data(), wholeIm.data()), 0);
        const std::pair<int, int> windows[] = {{9600, 0}, {48, 48}, {1, 0},         {0, 5},
                                               {100, 3},  {33, 31}, {n / 2, n / 2}, {n + 9, 0}};
        for (auto [low, high] : windows) {
            for (const Kernel& k : kKernels) {
                if (!detail::UseFftKernel(k.kernel)) continue;
                auto r = re, i = im;
                const int status = FftInverseEnds(tables, n, r.data(), i.data(), low, high);
                detail::UseBestFftKernel();
                ASSERT_EQ(status, 0);
                for (int x = 0; x < n; ++x) {
                    if (x >= low && x < n - high) continue;
                    const auto at = static_cast<std::size_t>(x);
                    ASSERT_EQ(0, std::memcmp(&r[at], &wholeRe[at], sizeof(float)))
                        << "n=" << n << " low " << low << " high " << high << " output " << x
                        << ", " << k.name;
                    ASSERT_EQ(0, std::memcmp(&i[at], &wholeIm[at], sizeof(float)))
                        << "n=" << n << " low " << low << " high " << high << " output " << x
                        << ", " << k.name;
                }
            }
        }
    }
}

TEST(Fft, TablesAreExactAndRebuiltOnlyOnASizeChange) {
    FftTables t;
    std::vector<float> re(2048, 1.0f), im(2048, 0.0f);
    FftForward(t, 1024, re.data(), im.data());
    FftForward(t, 1024, re.data(), im.data());
    FftForward(t, 2048, re.data(), im.data());
    FftForward(t, 1024, re.data(), im.data());
    EXPECT_EQ(t.builds, 3);
    const int n = 1024;
    EXPECT_EQ(t.sine[0], 0.0f);
    EXPECT_EQ(t.sine[n / 8], static_cast<float>(std::sqrt(0.5)));
    EXPECT_EQ(t.sine[n / 4], 1.0f);
    for (int i = 0; i <= n / 4; ++i)
        EXPECT_EQ(t.sine[static_cast<std::size_t>(n / 2 - i)], t.sine[static_cast<std::size_t>(i)]);
    for (int i = n / 2; i < n + n / 4; ++i)
        EXPECT_EQ(t.sine[static_cast<std::size_t>(i)],
                  -t.sine[static_cast<std::size_t>(i - n / 2)]);
    for (int i = 0; i < n + n / 4; ++i)
        EXPECT_NEAR(t.sine[static_cast<std::size_t>(i)], std::sin(2 * M_PI * i / n), 6e-8) << i;
    EXPECT_EQ(t.bitReverse[1], 512);
    EXPECT_EQ(t.bitReverse[3], 768);

    EXPECT_EQ(FftForward(t, 1000, re.data(), im.data()), 2);  // not a power of two: refused
    EXPECT_EQ(FftForward(t, -8, re.data(), im.data()), 2);
    EXPECT_EQ(FftForward(t, 0, nullptr, nullptr), 0);
    EXPECT_EQ(t.size, 0);
    float one = 5.0f, zero = -2.0f;
    EXPECT_EQ(FftForward(t, 1, &one, &zero), 0);
    EXPECT_EQ(one, 5.0f);  // n = 1 leaves the data as they were
    float two[2] = {1.0f, 3.0f}, twoIm[2] = {0.0f, 0.0f};
    FftForward(t, 2, two, twoIm);
    EXPECT_EQ(two[0], 4.0f);
    EXPECT_EQ(two[1], -2.0f);
}

TEST(Fft, FilteringAndPowerSpectrum) {
    const int n = 4096;
    std::mt19937 random(3);
    std::normal_distribution<float> noise(100.0f, 1000.0f);
    std::vector<float> x(n), y(n), h(n, 1.0f);
    for (auto& v : x)
        v = noise(random);
    for (auto& v : y)
        v = noise(random);
    auto fx = x, fy = y;
    ASSERT_EQ(FilterInFrequencyDomain(fx.data(), fy.data(), n, h.data()), 0);
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(fx[static_cast<std::size_t>(i)], x[static_cast<std::size_t>(i)], 2e-2);
        EXPECT_NEAR(fy[static_cast<std::size_t>(i)], y[static_cast<std::size_t>(i)], 2e-2);
    }
    h[0] = 0.0f;  // removes the mean of each channel, without mixing them
    fx = x;
    ASSERT_EQ(FilterInFrequencyDomain(fx.data(), nullptr, n, h.data()), 0);
    double mean = 0, meanX = 0;
    for (int i = 0; i < n; ++i) {
        mean += fx[static_cast<std::size_t>(i)];
        meanX += x[static_cast<std::size_t>(i)];
    }
    EXPECT_NEAR(mean / n, 0.0, 1e-3);
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(fx[static_cast<std::size_t>(i)], x[static_cast<std::size_t>(i)] - meanX / n,
                    2e-2);

    // A full-scale cosine in bin 8 of the left channel, nothing on the right.
    std::vector<float> left(n), pl(n), pr(n);
    for (int t = 0; t < n; ++t)
        left[static_cast<std::size_t>(t)] =
            static_cast<float>(32767 * std::cos(2 * M_PI * 8 * t / n));
    ASSERT_EQ(PowerSpectrum2(left.data(), nullptr, pl.data(), pr.data(), n), 0);
    // |X[8]| = 1/2 after the 1/n scale, and the bin holds four times its square.
    EXPECT_NEAR(pl[8], 1.0, 1e-5);
    EXPECT_NEAR(pl[n - 8], 1.0, 1e-5);
    EXPECT_NEAR(pl[9], 0.0, 1e-9);
    for (int k = 0; k < n; ++k)
        EXPECT_NEAR(pr[static_cast<std::size_t>(k)], 0.0, 1e-9);
}

}  // namespace
}  // namespace vesk
