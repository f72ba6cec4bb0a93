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

namespace {

// The regressor column x[i] = x0 + i*dx of the fits through the origin, accumulated in long
// double as always, and the running float sums of its squares, which are the column's norm for
// every length. Kept per thread: a calculation fits many bands on one time axis.
struct OriginColumn {
    double x0 = 0, dx = 0;
    long double next = 0;
    std::vector<float> x, squares;  // squares[i]: sum of x[0..i-1]^2 in ascending order

    void Reach(double from, double step, std::size_t m) {
        if (from != x0 || step != dx || x.empty()) {
            x0 = from;
            dx = step;
            next = from;
            x.clear();
            squares.assign(1, 0.0f);
        }
        if (x.size() >= m) return;
        x.reserve(m);
        squares.reserve(m + 1);
        while (x.size() < m) {
            const float v = static_cast<float>(next);
            x.push_back(v);
            squares.push_back(squares.back() + v * v);
            next += step;
        }
    }
};

}  // namespace

LineFit FitSlopeThroughOrigin(const float* y, int m, double x0, double dx) {
    LineFit fit;
    if (m <= 0 || !y) return fit;
    // LeastSquares with one column, its arithmetic written out: the norm comes from the kept
    // sums, and only the first row of the reflected right-hand side is formed.
    thread_local OriginColumn column;
    const std::size_t M = static_cast<std::size_t>(m);
    column.Reach(x0, dx, M);
    const float* x = column.x.data();
    const float norm = column.squares[M];
    if (norm == 0.0f) return fit;
    const float s = norm;
    if (s / norm < 1e-12) return fit;
    const float p = x[0];
    const float sigma = std::copysign(std::sqrt(s), p);
    const float c0 = p + sigma;
    const float scale = 1.0f / ((sigma + p) * sigma);
    float dot = 0.0f;
    dot += c0 * y[0];
    for (std::size_t i = 1; i < M; ++i)
        dot += x[i] * y[i];
    const float rhs = y[0] - c0 * dot * scale;
    const float slope = rhs / -sigma;
    fit.valid = std::isfinite(slope);
    fit.slope = fit.valid ? slope : 0.0f;
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
