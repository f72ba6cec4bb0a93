#include <gtest/gtest.h>

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

}  // namespace
}  // namespace vesk
