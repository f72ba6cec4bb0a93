#include "dsp/fft.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace vesk {

namespace {

bool PowerOfTwo(std::int32_t n) { return n > 0 && (n & (n - 1)) == 0; }

// One stage's twiddles in butterfly order, so the inner loop walks memory contiguously.
// The butterflies of a stage are independent, so visiting them block by block instead of
// twiddle by twiddle gives the same floats.
template <bool kInverse>
void Transform(const FftTables& t, std::int32_t n, float* re, float* im) {
    const std::int32_t* rev = t.bitReverse.data();
    for (std::int32_t i = 0; i < n; ++i) {
        std::int32_t r = rev[i];
        if (r > i) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
    if (n < 2) return;
    const float* sine = t.sine.data();
    const std::int32_t quarter = n / 4;
    thread_local std::vector<float> cs, ws;
    cs.resize(static_cast<std::size_t>(n / 2));
    ws.resize(static_cast<std::size_t>(n / 2));
    for (std::int32_t h = 1; h < n; h *= 2) {
        const std::int32_t s = n / (2 * h);
        for (std::int32_t p = 0; p < h; ++p) {
            cs[static_cast<std::size_t>(p)] = sine[quarter + p * s];
            ws[static_cast<std::size_t>(p)] = sine[p * s];
        }
        // At n = 2 the quarter offset is 0 and would read sin(0) as the cosine.
        if (n == 2) cs[0] = 1.0f;
        const float* c = cs.data();
        const float* w = ws.data();
        for (std::int32_t a0 = 0; a0 < n; a0 += 2 * h) {
            float* ra = re + a0;
            float* ia = im + a0;
            float* rb = ra + h;
            float* ib = ia + h;
            for (std::int32_t p = 0; p < h; ++p) {
                const double cp = c[p], wp = w[p];
                const double xr = rb[p], xi = ib[p];
                float tr, ti;
                if constexpr (kInverse) {
                    tr = static_cast<float>(cp * xr - wp * xi);
                    ti = static_cast<float>(cp * xi + wp * xr);
                } else {
                    tr = static_cast<float>(cp * xr + wp * xi);
                    ti = static_cast<float>(cp * xi - wp * xr);
                }
                const float ar = ra[p], ai = ia[p];
                rb[p] = ar - tr;
                ra[p] = ar + tr;
                ib[p] = ai - ti;
                ia[p] = ai + ti;
            }
        }
    }
}

}  // namespace

int FftTables::Ensure(std::int32_t n) {
    if (n == size && n != 0) return 0;
    bitReverse.clear();
    sine.clear();
    size = n;
    if (n == 0) return 0;
    if (!PowerOfTwo(n)) {
        size = 0;
        return 2;
    }
    try {
        bitReverse.resize(static_cast<std::size_t>(n));
        sine.resize(static_cast<std::size_t>(n + n / 4));
    } catch (const std::bad_alloc&) {
        bitReverse.clear();
        sine.clear();
        size = 0;
        return 1;
    }
    ++builds;
    bitReverse[0] = 0;
    for (std::int32_t i = 1; i < n; ++i) {
        std::int32_t j = bitReverse[static_cast<std::size_t>(i - 1)];
        std::int32_t m = n / 2;
        while (m >= 1 && m <= j) {
            j -= m;
            m /= 2;
        }
        bitReverse[static_cast<std::size_t>(i)] = j + m;
    }
    // sin(2*pi*i/n) to float precision, exact at the quarter points and symmetric by
    // construction: the first eighth from sin, the second from cos, the rest by mirroring.
    const std::int32_t total = n + n / 4;
    const std::int32_t q = n / 4;
    const double step = 2.0 * 3.14159265358979323846 / n;
    if (n < 4) {  // sin(0) and sin(pi)
        std::fill(sine.begin(), sine.end(), 0.0f);
        return 0;
    }
    for (std::int32_t i = 0; i <= q; ++i) {
        double v = (2 * i <= q) ? std::sin(step * i) : std::cos(step * (q - i));
        sine[static_cast<std::size_t>(i)] = static_cast<float>(v);
    }
    sine[0] = 0.0f;
    sine[static_cast<std::size_t>(q)] = 1.0f;
    if (n >= 8) sine[static_cast<std::size_t>(n / 8)] = static_cast<float>(std::sqrt(0.5));
    for (std::int32_t i = q + 1; i <= n / 2; ++i) sine[static_cast<std::size_t>(i)] = sine[static_cast<std::size_t>(n / 2 - i)];
    for (std::int32_t i = n / 2 + 1; i < total; ++i)
        sine[static_cast<std::size_t>(i)] = -sine[static_cast<std::size_t>(i - n / 2)];
    return 0;
}

FftTables& SharedFftTables() {
    static FftTables tables;
    return tables;
}

int FftForward(FftTables& tables, std::int32_t n, float* re, float* im) {
    if (n == 0) return tables.Ensure(0);
    if (int st = tables.Ensure(n); st != 0) return st;
    Transform<false>(tables, n, re, im);
    return 0;
}

int FftInverse(FftTables& tables, std::int32_t n, float* re, float* im) {
    if (n == 0) return tables.Ensure(0);
    if (int st = tables.Ensure(n); st != 0) return st;
    Transform<true>(tables, n, re, im);
    return 0;
}

int FilterInFrequencyDomain(float* x, float* y, std::int32_t n, const float* h) {
    if (n <= 0) return n == 0 ? 0 : 2;
    std::vector<float> zeros;
    if (!y) {
        zeros.assign(static_cast<std::size_t>(n), 0.0f);
        y = zeros.data();
    }
    FftTables& tables = SharedFftTables();
    if (int st = FftForward(tables, n, x, y); st != 0) return st;
    const float fn = static_cast<float>(n);
    for (std::int32_t k = 0; k < n; ++k) {
        x[k] = x[k] / fn * h[k];
        y[k] = y[k] / fn * h[k];
    }
    return FftInverse(tables, n, x, y);
}

int PowerSpectrum2(const float* left, const float* right, float* pl, float* pr, std::int32_t n) {
    if (n <= 0) return n == 0 ? 0 : 2;
    const double g = (1.0 / n) * static_cast<double>(static_cast<float>(1.0 / 32767.0));
    for (std::int32_t t = 0; t < n; ++t) {
        pl[t] = left ? static_cast<float>(left[t] * g) : 0.0f;
        pr[t] = right ? static_cast<float>(right[t] * g) : 0.0f;
    }
    if (int st = FftForward(SharedFftTables(), n, pl, pr); st != 0) return st;
    // Separate in place: bins k and n-k are read before either is written.
    const float re0 = pl[0], im0 = pr[0];
    for (std::int32_t k = 1; k <= n / 2; ++k) {
        const float rk = pl[k], rn = pl[n - k], ik = pr[k], in = pr[n - k];
        const float sl = (rk + rn) * (rk + rn) + (ik - in) * (ik - in);
        const float sr = (ik + in) * (ik + in) + (rn - rk) * (rn - rk);
        pl[k] = pl[n - k] = sl;
        pr[k] = pr[n - k] = sr;
    }
    pl[0] = re0 * re0;
    pr[0] = im0 * im0;
    return 0;
}

}  // namespace vesk
