// Least-squares line fits by Householder reflections on float columns.
#pragma once

#include <cstdint>
#include <vector>

namespace vesk {

// Solves for k regressor columns followed by the right-hand side (all of m rows, changed in
// place). Writes the coefficients of accepted columns and their order; returns the rank.
int LeastSquares(int m, int k, std::vector<std::vector<float>>& columns,
                 std::vector<float>* coefficients, std::vector<int>* order);

struct LineFit {
    bool valid = false;  // false when the data do not determine the slope
    float intercept = 0.0f;
    float slope = 0.0f;
};

// Slope of y = b*x through the origin with x[i] = x0 + i*dx (accumulated in long double).
LineFit FitSlopeThroughOrigin(const float* y, int m, double x0, double dx);
// Intercept and slope of y = a + b*x; valid only when both were determined.
LineFit FitLine(const float* x, const float* y, int m);

}  // namespace vesk
