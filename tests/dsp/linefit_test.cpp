#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "dsp/linefit.h"

namespace vesk {
namespace {

TEST(LineFit, ClosedFormAnswersAndDegenerateData) {
    std::vector<float> y = {0, 3, 6, 9, 12, 15};
    LineFit f = FitSlopeThroughOrigin(y.data(), 6, 0.0, 1.0);
    ASSERT_TRUE(f.valid);
    EXPECT_FLOAT_EQ(f.slope, 3.0f);
    y[0] = 100;  // the point at x = 0 has no weight through the origin
    EXPECT_FLOAT_EQ(FitSlopeThroughOrigin(y.data(), 6, 0.0, 1.0).slope, 3.0f);
    // Sum x*y / sum x^2 for scattered data.
    std::vector<float> z = {1, 2, 2, 5};
    double sxy = 0, sxx = 0;
    for (int i = 0; i < 4; ++i) {
        double x = 0.5 + 0.25 * i;
        sxy += x * z[static_cast<std::size_t>(i)];
        sxx += x * x;
    }
    EXPECT_NEAR(FitSlopeThroughOrigin(z.data(), 4, 0.5, 0.25).slope, sxy / sxx, 1e-5);
    float one = 4.0f;
    EXPECT_FALSE(FitSlopeThroughOrigin(&one, 1, 0.0, 1.0).valid);  // the only x is 0

    std::vector<float> x = {1, 2, 3, 4}, line = {5, 7, 9, 11};
    f = FitLine(x.data(), line.data(), 4);
    ASSERT_TRUE(f.valid);
    EXPECT_NEAR(f.intercept, 3.0f, 1e-5);
    EXPECT_NEAR(f.slope, 2.0f, 1e-5);
    std::vector<float> vertical = {2, 2, 2}, values = {1, 5, 9};
    f = FitLine(vertical.data(), values.data(), 3);
    EXPECT_FALSE(f.valid);  // x constant: only the intercept is determined
    EXPECT_NEAR(f.intercept, 5.0f, 1e-5);
    EXPECT_FALSE(FitLine(x.data(), line.data(), 0).valid);
}

// The fit through the origin keeps its time axis between calls; every slope must still be the
// float the one-column least-squares solution gives, whatever lengths and axes came before.
TEST(LineFit, ThroughOriginIsTheLeastSquaresSolutionBitForBit) {
    auto reference = [](const std::vector<float>& y, int m, double x0, double dx) {
        std::vector<std::vector<float>> col(2, std::vector<float>(static_cast<std::size_t>(m)));
        long double x = x0;
        for (int i = 0; i < m; ++i) {
            col[0][static_cast<std::size_t>(i)] = static_cast<float>(x);
            col[1][static_cast<std::size_t>(i)] = y[static_cast<std::size_t>(i)];
            x += dx;
        }
        std::vector<float> coef;
        std::vector<int> order;
        LineFit fit;
        if (LeastSquares(m, 1, col, &coef, &order) == 1) {
            fit.valid = std::isfinite(coef[0]);
            fit.slope = fit.valid ? coef[0] : 0.0f;
        }
        return fit;
    };
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.3f);
    const double axes[][2] = {{0, 1.0 / 48000}, {0, 1.0 / 44100}, {0.5, 0.25}, {-1, 1.0 / 16000}};
    // Lengths up and down, so that the kept axis is both extended and read in part.
    for (int m : {5000, 20, 60000, 1, 2, 35000, 3, 60000}) {
        for (const auto& axis : axes) {
            std::vector<float> y(static_cast<std::size_t>(m));
            for (int i = 0; i < m; ++i)
                y[static_cast<std::size_t>(i)] = -60.0f * i / m + noise(random);
            const LineFit a = FitSlopeThroughOrigin(y.data(), m, axis[0], axis[1]);
            const LineFit b = reference(y, m, axis[0], axis[1]);
            EXPECT_EQ(a.valid, b.valid) << m;
            std::uint32_t bitsA, bitsB;
            std::memcpy(&bitsA, &a.slope, 4);
            std::memcpy(&bitsB, &b.slope, 4);
            EXPECT_EQ(bitsA, bitsB) << m << " " << axis[1];
        }
    }
    std::vector<float> odd(100, 0.0f);
    odd[50] = std::numeric_limits<float>::infinity();
    EXPECT_EQ(FitSlopeThroughOrigin(odd.data(), 100, 0, 0.01).valid,
              reference(odd, 100, 0, 0.01).valid);
    EXPECT_FALSE(FitSlopeThroughOrigin(odd.data(), 100, 0, 0).valid);  // every x is 0
}

}  // namespace
}  // namespace vesk
