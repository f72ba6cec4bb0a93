#include "dsp/mls.h"

#include <algorithm>

namespace vesk {

namespace {

struct OrderRow {
    int order;
    std::vector<int> taps, tags;
};

const std::vector<OrderRow>& Rows() {
    static const std::vector<OrderRow> rows = {
        {10, {3, 10}, {3, 13, 19, 30, 104, 152, 177, 325, 904, 1009}},
        {11, {2, 11}, {11, 13, 22, 59, 85, 108, 138, 231, 465, 1139, 1914}},
        {12, {1, 4, 6, 12}, {1, 4, 17, 19, 38, 70, 267, 361, 446, 3254, 3578, 4066}},
        {13, {1, 3, 4, 13}, {1, 2, 11, 47, 71, 199, 393, 2019, 2163, 2631, 3056, 7479, 8156}},
        {14, {1, 3, 5, 14}, {1, 2, 5, 10, 17, 25, 53, 463, 2946, 3200, 6292, 8283, 15458, 16302}},
        {15,
         {1, 15},
         {1, 14, 20, 40, 102, 144, 147, 398, 424, 1122, 4342, 5696, 20706, 22664, 31892}},
        {16,
         {2, 3, 5, 16},
         {3, 18, 19, 23, 48, 118, 377, 545, 769, 1613, 2345, 5236, 8133, 62746, 62776, 64388}},
        {17,
         {3, 17},
         {3, 17, 23, 82, 122, 187, 805, 1026, 2767, 3491, 4099, 12579, 23243, 30416, 107452, 112608,
          114545}},
        {18,
         {7, 18},
         {7, 25, 39, 89, 100, 156, 279, 596, 2725, 2752, 6296, 9364, 14415, 36753, 59445, 78413,
          126203, 144715}},
        {19,
         {1, 2, 5, 19},
         {1, 2, 4, 22, 153, 173, 206, 237, 318, 4083, 5248, 7232, 17917, 77973, 151898, 154964,
          226311, 288443, 362037}},
    };
    return rows;
}

}  // namespace

MlsTransform& SharedMls() {
    static MlsTransform state;
    return state;
}

bool MlsPrepare(std::int32_t order) {
    MlsTransform& s = SharedMls();
    if (order == s.order) return true;
    if (order == 0) {
        s.order = 0;
        return true;
    }
    if (order < 0 || order > 24) return false;
    const auto& rows = Rows();
    const OrderRow* row = &rows.front();
    for (const auto& r : rows)
        if (r.order == order) row = &r;
    const std::size_t N = std::size_t{1} << order;
    const std::size_t L = N - 1;
    s.sequence.assign(N, 0);
    s.permutation.assign(N, 0);
    for (std::size_t i = 0; i < N; ++i) {
        std::size_t a = i == 0 ? static_cast<std::size_t>(order) : 0;
        for (int t : row->taps) {
            std::size_t tap = static_cast<std::size_t>(t);
            if (i < tap) break;
            if (i == tap) {
                a += i;
                break;
            }
            a += s.sequence[i - tap];
        }
        s.sequence[i] = static_cast<std::uint8_t>(a % 2);
    }
    // A row borrowed for another order can form values past 2^order: they are kept in range.
    const std::size_t tagCount = row->tags.size();
    for (std::size_t k = 0; k < L; ++k) {
        std::uint32_t v = 0;
        for (std::size_t g = 0; g < tagCount; ++g)
            v = 2 * v + s.sequence[(k + static_cast<std::size_t>(row->tags[g])) % L];
        s.permutation[k + 1] = static_cast<std::int32_t>(v & (N - 1));
    }
    s.order = order;
    ++s.builds;
    return true;
}

void MlsRecover(float* x) {
    MlsTransform& s = SharedMls();
    if (s.order == 0 || !x) return;
    const std::size_t N = std::size_t{1} << s.order;
    const std::int32_t* P = s.permutation.data();
    // Scattering through the permutation into a second array gives the same values as the
    // in-place cycle walk, with no marking of the shared table.
    thread_local std::vector<double> u, z;
    u.assign(N, 0.0);
    z.resize(N);
    u[0] = x[0];
    for (std::size_t k = 1; k < N; ++k)
        u[static_cast<std::size_t>(P[k])] = x[k];
    for (std::size_t h = 1; h < N; h *= 2) {
        for (std::size_t b = 0; b < N; b += 2 * h) {
            double* lo = u.data() + b;
            double* hi = lo + h;
            for (std::size_t t = 0; t < h; ++t) {
                const double p = lo[t], q = hi[t];
                lo[t] = p + q;
                hi[t] = p - q;
            }
        }
    }
    z[0] = u[0];
    for (std::size_t k = 1; k < N; ++k)
        z[k] = u[static_cast<std::size_t>(P[k])];
    // h[0] = z[1], h[k] = z[N-k] for k = 1..N-2, h[N-1] = 0.
    x[0] = static_cast<float>(z[1]);
    for (std::size_t k = 1; k + 1 < N; ++k)
        x[k] = static_cast<float>(z[N - k]);
    x[N - 1] = 0.0f;
}

}  // namespace vesk
