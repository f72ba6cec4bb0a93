#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "iso/iso3382.h"

namespace vesk::iso {
namespace {

constexpr double kFs = 48000;
constexpr std::size_t kDirect = 480;  // the direct sound at 10 ms

// A direct-sound spike followed by Gaussian noise decaying with T = 0.8 s.
std::vector<float> Ear(unsigned seed, std::size_t n = 24000) {
    std::mt19937 random(seed);
    std::normal_distribution<double> g(0.0, 0.1);
    std::vector<float> x(n, 0.0f);
    for (std::size_t i = kDirect + 1; i < n; ++i)
        x[i] = static_cast<float>(g(random) * std::exp(-6.9 * (i - kDirect) / kFs / 0.8));
    x[kDirect] = 1.0f;
    return x;
}

Results Analyze(const std::vector<float>& l, const std::vector<float>* r) {
    Analyzer analyzer;
    Results out;
    Options o;
    o.lowest = 500;
    o.highest = 2000;
    EXPECT_EQ(analyzer.Calculate(l.data(), r ? r->data() : nullptr, l.size(), kFs, o, &out), kDone);
    return out;
}

// ISO 3382-1 Annex B written out: the normalised cross-correlation over [t1, t2) for every
// lag of 1 ms at most, the right ear zero outside the response, and its largest magnitude.
Iacc Literal(const std::vector<float>& l, const std::vector<float>& r, std::size_t t1,
             std::size_t t2) {
    double pl = 0, pr = 0;
    for (std::size_t t = t1; t < t2; ++t) {
        pl += double(l[t]) * l[t];
        pr += double(r[t]) * r[t];
    }
    Iacc best{0, 0};
    for (int tau = -48; tau <= 48; ++tau) {
        double s = 0;
        for (std::size_t t = t1; t < t2; ++t) {
            const long j = static_cast<long>(t) + tau;
            if (j >= 0 && j < static_cast<long>(r.size())) s += double(l[t]) * r[j];
        }
        const double v = std::abs(s) / std::sqrt(pl * pr);
        if (v > best.value) best = {v, tau / 48.0};
    }
    return best;
}

TEST(Iacc, WindowsAndLagsAreThoseOfTheDefinition) {
    const std::vector<float> l = Ear(1);
    const std::vector<float> noise = Ear(2);
    std::vector<float> r(l.size(), 0.0f);
    for (std::size_t i = 5; i < r.size(); ++i)  // partly correlated, the right ear 5 samples late
        r[i] = 0.6f * l[i - 5] + 0.8f * noise[i];
    const BandResult b = Analyze(l, &r).bands[0];
    const std::size_t split = kDirect + 3840;
    const Iacc want[] = {Literal(l, r, kDirect, split), Literal(l, r, split, l.size()),
                         Literal(l, r, kDirect, l.size())};
    const Iacc got[] = {b.early, b.late, b.all};
    for (int w = 0; w < 3; ++w) {
        EXPECT_NEAR(got[w].value, want[w].value, 1e-6) << "window " << w;
        EXPECT_NEAR(got[w].tauMs, want[w].tauMs, 1e-9) << "window " << w;
    }
    EXPECT_NEAR(b.late.tauMs, 5 / 48.0, 1e-9);
}

TEST(Iacc, ClosedCases) {
    const std::vector<float> l = Ear(1);
    // Identical ears: 1 in every window and band, at lag 0.
    const Results same = Analyze(l, &l);
    for (const BandResult& b : same.bands) {
        for (const Iacc& v : {b.early, b.late, b.all}) {
            EXPECT_NEAR(v.value, 1.0, 1e-9) << b.nominalCentre;
            EXPECT_EQ(v.tauMs, 0.0) << b.nominalCentre;
        }
    }
    EXPECT_NEAR(same.single.iaccE3, 1.0, 1e-9);
    // Antiphase: the correlation is -1 and its magnitude counts (float products: 1e-6).
    std::vector<float> inverted(l.size());
    for (std::size_t i = 0; i < l.size(); ++i)
        inverted[i] = -l[i];
    const Results antiphase = Analyze(l, &inverted);
    for (const BandResult& b : antiphase.bands) {
        EXPECT_NEAR(b.all.value, 1.0, 1e-6) << b.nominalCentre;
        EXPECT_EQ(b.all.tauMs, 0.0) << b.nominalCentre;
    }
    // The right ear 0.5 ms (24 samples) late: found at +0.5 ms, broadband and in the bands.
    std::vector<float> late(l.size(), 0.0f);
    for (std::size_t i = 24; i < l.size(); ++i)
        late[i] = l[i - 24];
    const Results delayed = Analyze(l, &late);
    for (const BandResult& b : delayed.bands) {
        EXPECT_GT(b.all.value, 0.95) << b.nominalCentre;
        EXPECT_NEAR(b.all.tauMs, 0.5, 1e-9) << b.nominalCentre;
        EXPECT_NEAR(b.early.tauMs, 0.5, 1e-9) << b.nominalCentre;
    }
    // One direct sound, independent reverberant tails: the late field is uncorrelated.
    const std::vector<float> other = Ear(7);
    const Results apart = Analyze(l, &other);
    for (const BandResult& b : apart.bands)
        EXPECT_LT(b.late.value, 0.2) << b.nominalCentre;
    // Table A.1: IACC_E3 is the mean of the 500, 1000 and 2000 Hz octaves.
    ASSERT_EQ(apart.bands.size(), 4u);
    EXPECT_NEAR(
        apart.single.iaccE3,
        (apart.bands[1].early.value + apart.bands[2].early.value + apart.bands[3].early.value) /
            3.0,
        1e-12);
    // One ear: IACC has no value, and says why.
    const BandResult one = Analyze(l, nullptr).bands[0];
    EXPECT_EQ(one.iaccMissing, Missing::OneChannel);
    EXPECT_TRUE(std::isnan(one.all.value));
}

}  // namespace
}  // namespace vesk::iso
