#include "dsp/linefit.h"

#include <cmath>

namespace vesk {

int LeastSquares(int m, int k, std::vector<std::vector<float>>& col, std::vector<float>* coef,
                 std::vector<int>* order) {
    coef->assign(static_cast<std::size_t>(k), 0.0f);
    order->clear();
    if (m <= 0 || k <= 0 || static_cast<int>(col.size()) != k + 1) return 0;
    const std::size_t M = static_cast<std::size_t>(m);
    std::vector<float> norm(static_cast<std::size_t>(k));
    for (int j = 0; j < k; ++j) {
        float n = 0.0f;
        for (std::size_t i = 0; i < M; ++i)
            n += col[static_cast<std::size_t>(j)][i] * col[static_cast<std::size_t>(j)][i];
        norm[static_cast<std::size_t>(j)] = n;
    }
    std::size_t r = 0;
    for (int j = 0; j < k && r < M; ++j) {
        std::vector<float>& c = col[static_cast<std::size_t>(j)];
        if (norm[static_cast<std::size_t>(j)] == 0.0f) continue;
        float s = 0.0f;
        for (std::size_t i = r; i < M; ++i)
            s += c[i] * c[i];
        if (s / norm[static_cast<std::size_t>(j)] < 1e-12) continue;
        const float p = c[r];
        const float sigma = std::copysign(std::sqrt(s), p);
        c[r] = p + sigma;
        const float scale = 1.0f / ((sigma + p) * sigma);
        for (int l = j + 1; l <= k; ++l) {
            std::vector<float>& d = col[static_cast<std::size_t>(l)];
            float dot = 0.0f;
            for (std::size_t i = r; i < M; ++i)
                dot += c[i] * d[i];
            for (std::size_t i = r; i < M; ++i)
                d[i] = d[i] - c[i] * dot * scale;
        }
        c[r] = -sigma;
        order->push_back(j);
        ++r;
    }
    const std::vector<float>& rhs = col[static_cast<std::size_t>(k)];
    for (std::size_t q = order->size(); q-- > 0;) {
        float v = rhs[q];
        for (std::size_t t = q + 1; t < order->size(); ++t)
            v -= col[static_cast<std::size_t>((*order)[t])][q] *
                 (*coef)[static_cast<std::size_t>((*order)[t])];
        (*coef)[static_cast<std::size_t>((*order)[q])] =
            v / col[static_cast<std::size_t>((*order)[q])][q];
    }
    return static_cast<int>(r);
}

LineFit FitSlopeThroughOrigin(const float* y, int m, double x0, double dx) {
    LineFit fit;
    if (m <= 0 || !y) return fit;
    std::vector<std::vector<float>> col(2, std::vector<float>(static_cast<std::size_t>(m)));
    long double x = x0;
    for (int i = 0; i < m; ++i) {
        col[0][static_cast<std::size_t>(i)] = static_cast<float>(x);
        col[1][static_cast<std::size_t>(i)] = y[i];
        x += dx;
    }
    std::vector<float> coef;
    std::vector<int> order;
    if (LeastSquares(m, 1, col, &coef, &order) == 1) {
        fit.valid = std::isfinite(coef[0]);
        fit.slope = fit.valid ? coef[0] : 0.0f;
    }
    return fit;
}

LineFit FitLine(const float* x, const float* y, int m) {
    LineFit fit;
    if (m <= 0 || !x || !y) return fit;
    std::vector<std::vector<float>> col(3, std::vector<float>(static_cast<std::size_t>(m)));
    for (int i = 0; i < m; ++i) {
        col[0][static_cast<std::size_t>(i)] = 1.0f;
        col[1][static_cast<std::size_t>(i)] = x[i];
        col[2][static_cast<std::size_t>(i)] = y[i];
    }
    std::vector<float> coef;
    std::vector<int> order;
    int rank = LeastSquares(m, 2, col, &coef, &order);
    fit.intercept = coef[0];
    fit.slope = coef[1];
    fit.valid = rank == 2 && std::isfinite(coef[0]) && std::isfinite(coef[1]);
    if (!fit.valid) fit.slope = 0.0f;
    return fit;
}

}  // namespace vesk
