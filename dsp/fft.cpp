#include "dsp/fft.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace vesk {

namespace {

bool PowerOfTwo(std::int32_t n) {
    return n > 0 && (n & (n - 1)) == 0;
}

// One butterfly: the products in double, the results stored as float.
template <bool kInverse>
[[gnu::always_inline]] inline void Butterfly(float& ar, float& ai, float& br, float& bi, double cp,
                                             double wp) {
    const double xr = br, xi = bi;
    float tr, ti;
    if constexpr (kInverse) {
        tr = static_cast<float>(cp * xr - wp * xi);
        ti = static_cast<float>(cp * xi + wp * xr);
    } else {
        tr = static_cast<float>(cp * xr + wp * xi);
        ti = static_cast<float>(cp * xi - wp * xr);
    }
    const float a = ar, b = ai;
    br = a - tr;
    ar = a + tr;
    bi = b - ti;
    ai = b + ti;
}

// The butterflies of one stage, h pairs (a, a + h) sharing the twiddles c[p], w[p]. The
// pointers name disjoint ranges, which lets the compiler vectorise the double products.
template <bool kInverse>
[[gnu::always_inline]] inline void Butterflies(float* __restrict ra, float* __restrict ia,
                                               float* __restrict rb, float* __restrict ib,
                                               const float* __restrict c, const float* __restrict w,
                                               std::int32_t h) {
    for (std::int32_t p = 0; p < h; ++p)
        Butterfly<kInverse>(ra[p], ia[p], rb[p], ib[p], c[p], w[p]);
}

template <bool kInverse>
[[gnu::always_inline]] inline void Stage(const FftTables& t, std::int32_t h, float* re, float* im,
                                         std::int32_t begin, std::int32_t end) {
    const float* c = t.stageCos.data() + (h - 1);
    const float* w = t.stageSin.data() + (h - 1);
    for (std::int32_t a0 = begin; a0 < end; a0 += 2 * h)
        Butterflies<kInverse>(re + a0, im + a0, re + a0 + h, im + a0 + h, c, w, h);
}

// Stages h and 2h together: for each p the four elements p, p + h, p + 2h, p + 3h of a group
// of 4h are closed under both stages, so they are loaded once and stored once.
template <bool kInverse>
[[gnu::always_inline]] inline void FusedPair(float* __restrict r0, float* __restrict i0,
                                             float* __restrict r1, float* __restrict i1,
                                             float* __restrict r2, float* __restrict i2,
                                             float* __restrict r3, float* __restrict i3,
                                             const float* __restrict c1, const float* __restrict w1,
                                             const float* __restrict c2, const float* __restrict w2,
                                             std::int32_t h) {
    for (std::int32_t p = 0; p < h; ++p) {
        float ar = r0[p], ai = i0[p], br = r1[p], bi = i1[p];
        float cr = r2[p], ci = i2[p], dr = r3[p], di = i3[p];
        Butterfly<kInverse>(ar, ai, br, bi, c1[p], w1[p]);
        Butterfly<kInverse>(cr, ci, dr, di, c1[p], w1[p]);
        Butterfly<kInverse>(ar, ai, cr, ci, c2[p], w2[p]);
        Butterfly<kInverse>(br, bi, dr, di, c2[p + h], w2[p + h]);
        r0[p] = ar;
        i0[p] = ai;
        r1[p] = br;
        i1[p] = bi;
        r2[p] = cr;
        i2[p] = ci;
        r3[p] = dr;
        i3[p] = di;
    }
}

template <bool kInverse, std::int32_t H>
[[gnu::always_inline]] inline void FixedPairs(float* __restrict re, float* __restrict im,
                                              std::int32_t begin, std::int32_t end,
                                              const float* __restrict c1,
                                              const float* __restrict w1,
                                              const float* __restrict c2,
                                              const float* __restrict w2) {
    for (std::int32_t a0 = begin; a0 < end; a0 += 4 * H) {
        float* r = re + a0;
        float* i = im + a0;
        for (std::int32_t p = 0; p < H; ++p) {
            float ar = r[p], ai = i[p], br = r[p + H], bi = i[p + H];
            float cr = r[p + 2 * H], ci = i[p + 2 * H], dr = r[p + 3 * H], di = i[p + 3 * H];
            Butterfly<kInverse>(ar, ai, br, bi, c1[p], w1[p]);
            Butterfly<kInverse>(cr, ci, dr, di, c1[p], w1[p]);
            Butterfly<kInverse>(ar, ai, cr, ci, c2[p], w2[p]);
            Butterfly<kInverse>(br, bi, dr, di, c2[p + H], w2[p + H]);
            r[p] = ar;
            i[p] = ai;
            r[p + H] = br;
            i[p + H] = bi;
            r[p + 2 * H] = cr;
            i[p + 2 * H] = ci;
            r[p + 3 * H] = dr;
            i[p + 3 * H] = di;
        }
    }
}

template <bool kInverse>
[[gnu::always_inline]] inline void StagePair(const FftTables& t, std::int32_t h, float* re,
                                             float* im, std::int32_t begin, std::int32_t end) {
    const float* c1 = t.stageCos.data() + (h - 1);
    const float* w1 = t.stageSin.data() + (h - 1);
    const float* c2 = t.stageCos.data() + (2 * h - 1);
    const float* w2 = t.stageSin.data() + (2 * h - 1);
    // Short groups are unrolled at compile time, so the loop over groups is the one the
    // compiler vectorises.
    if (h == 1) return FixedPairs<kInverse, 1>(re, im, begin, end, c1, w1, c2, w2);
    if (h == 4) return FixedPairs<kInverse, 4>(re, im, begin, end, c1, w1, c2, w2);
    for (std::int32_t a0 = begin; a0 < end; a0 += 4 * h)
        FusedPair<kInverse>(re + a0, im + a0, re + a0 + h, im + a0 + h, re + a0 + 2 * h,
                            im + a0 + 2 * h, re + a0 + 3 * h, im + a0 + 3 * h, c1, w1, c2, w2, h);
}

// Runs the stages h = first, 2*first, ... while the butterflies stay inside [begin, end) and
// h < limit, two at a time.
template <bool kInverse>
[[gnu::always_inline]] inline std::int32_t Stages(const FftTables& t, std::int32_t first,
                                                  std::int32_t limit, float* re, float* im,
                                                  std::int32_t begin, std::int32_t end) {
    std::int32_t h = first;
    for (; 4 * h <= end - begin && 2 * h < limit; h *= 4)
        StagePair<kInverse>(t, h, re, im, begin, end);
    if (2 * h <= end - begin && h < limit) {
        Stage<kInverse>(t, h, re, im, begin, end);
        h *= 2;
    }
    return h;
}

// Butterflies whose twiddle is (1, 0) or (0, 1), the first of every stage and the middle one of
// every stage from h = 2 on. In double a product by 1 is exact and a product by 0 is a signed
// zero (or NaN), so the sum is exact too and the float operations below give the very same float.
template <bool kInverse, bool kQuarter>
[[gnu::always_inline]] inline void TrivialButterflies(float* __restrict ar, float* __restrict ai,
                                                      float* __restrict br, float* __restrict bi,
                                                      std::int32_t count) {
    for (std::int32_t k = 0; k < count; ++k) {
        const float xr = br[k], xi = bi[k];
        float tr, ti;
        if constexpr (!kQuarter) {  // c = 1, w = 0
            tr = kInverse ? xr - 0.0f * xi : xr + 0.0f * xi;
            ti = kInverse ? xi + 0.0f * xr : xi - 0.0f * xr;
        } else {  // c = 0, w = 1
            tr = kInverse ? 0.0f * xr - xi : 0.0f * xr + xi;
            ti = kInverse ? 0.0f * xi + xr : 0.0f * xi - xr;
        }
        const float a = ar[k], b = ai[k];
        br[k] = a - tr;
        ar[k] = a + tr;
        bi[k] = b - ti;
        ai[k] = b + ti;
    }
}

// The same butterfly on whole rows sharing one twiddle.
template <bool kInverse>
[[gnu::always_inline]] inline void RowButterflies(float* __restrict ar, float* __restrict ai,
                                                  float* __restrict br, float* __restrict bi,
                                                  double cp, double wp, std::int32_t count) {
    for (std::int32_t k = 0; k < count; ++k)
        Butterfly<kInverse>(ar[k], ai[k], br[k], bi[k], cp, wp);
}

// Tiles of 32 x 32: two of them, real and imaginary parts, fill half the 32 KiB first-level
// cache. Against 16 x 16 they run one stage more in the tile and leave the blocked stages one
// pass fewer: 7% faster at 2^16 and 11% at 2^19 (FFT benchmark, AMD EPYC Zen 4); 64 x 64 would
// no longer fit.
constexpr std::int32_t kTileBits = 5, kTileSide = 1 << kTileBits;

// One tile of the reordering: kTileSide rows of kTileSide neighbours, real and imaginary parts.
struct Tile {
    alignas(64) float re[kTileSide][kTileSide];
    alignas(64) float im[kTileSide][kTileSide];
};

// The stages h = 1..kTileSide/2 on a tile whose row c holds the values of one c: they pair rows c
// and c + h, so they run on whole rows, one twiddle per row pair.
template <bool kInverse>
[[gnu::always_inline]] inline void TileStages(const FftTables& t, Tile& tile) {
    for (std::int32_t h = 1; h < kTileSide; h *= 2) {
        for (std::int32_t c0 = 0; c0 < kTileSide; c0 += 2 * h) {
            for (std::int32_t p = 0; p < h; ++p) {
                float* ar = tile.re[c0 + p];
                float* ai = tile.im[c0 + p];
                float* br = tile.re[c0 + p + h];
                float* bi = tile.im[c0 + p + h];
                if (p == 0)
                    TrivialButterflies<kInverse, false>(ar, ai, br, bi, kTileSide);
                else if (2 * p == h)
                    TrivialButterflies<kInverse, true>(ar, ai, br, bi, kTileSide);
                else
                    RowButterflies<kInverse>(ar, ai, br, bi, t.stageCos[h - 1 + p],
                                             t.stageSin[h - 1 + p], kTileSide);
            }
        }
    }
}

// The reordering x[i] <- x[bitReverse[i]] together with the first kTileBits stages, in place,
// in tiles. An index is (high kTileBits bits a, middle m, low kTileBits bits c) and its reversal
// (reversed c, reversed m, reversed a). The tile of middle m reads kTileSide rows of kTileSide
// neighbours, the region that the tile of middle reverse(m) writes as kTileSide runs, and the other
// way round; so the two tiles are both loaded before either is stored, and no scratch array is
// needed. Returns the next stage, kTileSide. Needs n >= kTileSide^2.
template <bool kInverse>
[[gnu::always_inline]] inline std::int32_t ReorderFirstStages(const FftTables& t, std::int32_t n,
                                                              float* __restrict re,
                                                              float* __restrict im) {
    const std::int32_t* rev = t.bitReverse.data();
    std::int32_t bits = 0;
    while ((1 << bits) < n)
        ++bits;
    const std::int32_t highShift = bits - kTileBits;
    const std::int32_t middles = n >> (2 * kTileBits);
    // Lane l of a row holds a = reverse(l), so the rows load contiguously.
    std::int32_t laneOffset[kTileSide];
    for (std::int32_t l = 0; l < kTileSide; ++l)
        laneOffset[l] = rev[l << highShift] << highShift;
    const auto load = [&](std::int32_t m, Tile& tile) {
        const std::int32_t revMiddle = rev[m << kTileBits];
        for (std::int32_t c = 0; c < kTileSide; ++c) {
            std::memcpy(tile.re[c], re + (revMiddle | rev[c]), sizeof tile.re[c]);
            std::memcpy(tile.im[c], im + (revMiddle | rev[c]), sizeof tile.im[c]);
        }
    };
    const auto store = [&](std::int32_t m, const Tile& tile) {
        for (std::int32_t l = 0; l < kTileSide; ++l) {
            float* outRe = re + (laneOffset[l] | (m << kTileBits));
            float* outIm = im + (laneOffset[l] | (m << kTileBits));
            for (std::int32_t c = 0; c < kTileSide; ++c) {
                outRe[c] = tile.re[c][l];
                outIm[c] = tile.im[c][l];
            }
        }
    };
    Tile first, second;
    for (std::int32_t m = 0; m < middles; ++m) {
        const std::int32_t partner = rev[m << kTileBits] >> kTileBits;
        if (partner < m) continue;  // done with its partner
        load(m, first);
        if (partner != m) load(partner, second);
        TileStages<kInverse>(t, first);
        store(m, first);
        if (partner == m) continue;
        TileStages<kInverse>(t, second);
        store(partner, second);
    }
    return kTileSide;
}

// Elements per block for the early stages: re and im of a block stay in the first-level cache.
// Every butterfly of a stage reads only its own two results of the stage before, so finishing
// the early stages block by block computes exactly the floats of the stage-by-stage order.
constexpr std::int32_t kBlock = 2048;
// The middle stages run in blocks that stay in the second-level cache.
constexpr std::int32_t kOuterBlock = 65536;

// The stages from h on, keeping only the butterflies that feed the outputs 0 .. low - 1 and
// n - high .. n - 1. An output at x after the last stage needs, after stage h, the positions
// whose residue mod 2h is a wanted output's; so stage h needs butterfly p (of 0 .. h - 1) only
// when p is a wanted output mod h: p < low or p >= h - high.
template <bool kInverse>
[[gnu::always_inline]] inline void PrunedStages(const FftTables& t, std::int32_t h, std::int32_t n,
                                                float* re, float* im, std::int32_t low,
                                                std::int32_t high) {
    for (; h < n; h *= 2) {
        const float* c = t.stageCos.data() + (h - 1);
        const float* w = t.stageSin.data() + (h - 1);
        const std::int32_t head = std::min(low, h);
        const std::int32_t tail = std::max(head, h - std::min(high, h));
        for (std::int32_t a0 = 0; a0 < n; a0 += 2 * h) {
            Butterflies<kInverse>(re + a0, im + a0, re + a0 + h, im + a0 + h, c, w, head);
            Butterflies<kInverse>(re + a0 + tail, im + a0 + tail, re + a0 + h + tail,
                                  im + a0 + h + tail, c + tail, w + tail, h - tail);
        }
    }
}

// Stages h < stop run whole; the rest only for the wanted outputs (all of them when stop = n).
template <bool kInverse>
[[gnu::always_inline]] inline void Transform(const FftTables& t, std::int32_t n,
                                             float* __restrict re, float* __restrict im,
                                             std::int32_t stop, std::int32_t low,
                                             std::int32_t high) {
    if (n < 2) return;
    std::int32_t first = 1;
    if (n >= kTileSide * kTileSide) {
        first = ReorderFirstStages<kInverse>(t, n, re, im);
    } else {
        for (std::int32_t i = 0; i < n; ++i) {
            const std::int32_t r = t.bitReverse[static_cast<std::size_t>(i)];
            if (r > i) {
                std::swap(re[i], re[r]);
                std::swap(im[i], im[r]);
            }
        }
    }
    const std::int32_t block = std::min(n, kBlock);
    std::int32_t h = first;
    for (std::int32_t b = 0; b < n; b += block)
        h = Stages<kInverse>(t, first, std::min(block, stop), re, im, b, b + block);
    const std::int32_t outer = std::min(n, kOuterBlock);
    std::int32_t next = h;
    for (std::int32_t b = 0; b < n; b += outer)
        next = Stages<kInverse>(t, h, std::min(outer, stop), re, im, b, b + outer);
    next = Stages<kInverse>(t, next, std::min(n, stop), re, im, 0, n);
    if (next < n) PrunedStages<kInverse>(t, next, n, re, im, low, high);
}

// Built for AVX2 and AVX-512F as well where the processor has them: without fused multiply-adds
// (contraction is off) the wider lanes compute the same floats.
template <bool kInverse>
void TransformBaseline(const FftTables& t, std::int32_t n, float* re, float* im, std::int32_t stop,
                       std::int32_t low, std::int32_t high) {
    Transform<kInverse>(t, n, re, im, stop, low, high);
}
template <bool kInverse>
__attribute__((target("avx2"))) void TransformAvx2(const FftTables& t, std::int32_t n, float* re,
                                                   float* im, std::int32_t stop, std::int32_t low,
                                                   std::int32_t high) {
    Transform<kInverse>(t, n, re, im, stop, low, high);
}
template <bool kInverse>
__attribute__((target("avx512f"))) void TransformAvx512f(const FftTables& t, std::int32_t n,
                                                         float* re, float* im, std::int32_t stop,
                                                         std::int32_t low, std::int32_t high) {
    Transform<kInverse>(t, n, re, im, stop, low, high);
}

detail::FftKernel BestKernel() {
    if (__builtin_cpu_supports("avx512f")) return detail::FftKernel::kAvx512f;
    if (__builtin_cpu_supports("avx2")) return detail::FftKernel::kAvx2;
    return detail::FftKernel::kBaseline;
}

std::atomic<detail::FftKernel>& Kernel() {
    static std::atomic<detail::FftKernel> kernel{BestKernel()};
    return kernel;
}

template <bool kInverse>
void RunTransform(const FftTables& t, std::int32_t n, float* re, float* im, std::int32_t stop,
                  std::int32_t low, std::int32_t high) {
    switch (Kernel().load(std::memory_order_relaxed)) {
        case detail::FftKernel::kAvx512f:
            return TransformAvx512f<kInverse>(t, n, re, im, stop, low, high);
        case detail::FftKernel::kAvx2:
            return TransformAvx2<kInverse>(t, n, re, im, stop, low, high);
        case detail::FftKernel::kBaseline:
            break;
    }
    TransformBaseline<kInverse>(t, n, re, im, stop, low, high);
}

}  // namespace

int FftTables::Ensure(std::int32_t n) {
    if (n == size && n != 0) return 0;
    bitReverse.clear();
    sine.clear();
    stageCos.clear();
    stageSin.clear();
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
        BuildStageTwiddles();
        return 0;
    }
    for (std::int32_t i = 0; i <= q; ++i) {
        double v = (2 * i <= q) ? std::sin(step * i) : std::cos(step * (q - i));
        sine[static_cast<std::size_t>(i)] = static_cast<float>(v);
    }
    sine[0] = 0.0f;
    sine[static_cast<std::size_t>(q)] = 1.0f;
    if (n >= 8) sine[static_cast<std::size_t>(n / 8)] = static_cast<float>(std::sqrt(0.5));
    for (std::int32_t i = q + 1; i <= n / 2; ++i)
        sine[static_cast<std::size_t>(i)] = sine[static_cast<std::size_t>(n / 2 - i)];
    for (std::int32_t i = n / 2 + 1; i < total; ++i)
        sine[static_cast<std::size_t>(i)] = -sine[static_cast<std::size_t>(i - n / 2)];
    BuildStageTwiddles();
    return 0;
}

void FftTables::BuildStageTwiddles() {
    const std::int32_t n = size;
    stageCos.assign(static_cast<std::size_t>(std::max(n - 1, 1)), 0.0f);
    stageSin.assign(stageCos.size(), 0.0f);
    for (std::int32_t h = 1; h < n; h *= 2) {
        const std::int32_t s = n / (2 * h);
        for (std::int32_t p = 0; p < h; ++p) {
            stageCos[static_cast<std::size_t>(h - 1 + p)] =
                sine[static_cast<std::size_t>(n / 4 + p * s)];
            stageSin[static_cast<std::size_t>(h - 1 + p)] = sine[static_cast<std::size_t>(p * s)];
        }
    }
    // At n = 2 the quarter offset is 0 and would read sin(0) as the cosine.
    if (n == 2) stageCos[0] = 1.0f;
}

namespace detail {
bool CpuRunsFftKernel(FftKernel kernel) {
    switch (kernel) {
        case FftKernel::kAvx512f:
            return __builtin_cpu_supports("avx512f");
        case FftKernel::kAvx2:
            return __builtin_cpu_supports("avx2");
        case FftKernel::kBaseline:
            break;
    }
    return true;
}
bool UseFftKernel(FftKernel kernel) {
    if (!CpuRunsFftKernel(kernel)) return false;
    Kernel().store(kernel);
    return true;
}
void UseBestFftKernel() {
    Kernel().store(BestKernel());
}
}  // namespace detail

FftTables& SharedFftTables(std::int32_t n) {
    // One set per power of two, never freed: a calculation that mixes sizes (the band filters
    // and the spectrum of a response, say) would otherwise rebuild one shared set back and forth,
    // each rebuild stopping every other thread's transforms.
    static std::mutex mutex;
    static std::array<std::unique_ptr<FftTables>, 32> sets;
    std::size_t index = 0;
    if (n > 0 && (n & (n - 1)) == 0)
        while ((std::int32_t{1} << index) != n)
            ++index;
    std::lock_guard lock(mutex);
    if (!sets[index]) sets[index] = std::make_unique<FftTables>();
    return *sets[index];
}

namespace {
// Transforms of the size the tables hold share them; another size rebuilds them alone.
template <class Run>
int WithTables(FftTables& tables, std::int32_t n, Run run) {
    {
        std::shared_lock lock(tables.mutex);
        if (n != 0 && tables.size == n) {
            run();
            return 0;
        }
    }
    std::unique_lock lock(tables.mutex);
    if (int st = tables.Ensure(n); st != 0 || n == 0) return st;
    run();
    return 0;
}
}  // namespace

int FftForward(FftTables& tables, std::int32_t n, float* re, float* im) {
    return WithTables(tables, n, [&] { RunTransform<false>(tables, n, re, im, n, n, 0); });
}

int FftInverse(FftTables& tables, std::int32_t n, float* re, float* im) {
    return WithTables(tables, n, [&] { RunTransform<true>(tables, n, re, im, n, n, 0); });
}

int FftInverseEnds(FftTables& tables, std::int32_t n, float* re, float* im, std::int32_t low,
                   std::int32_t high) {
    low = std::clamp(low, 0, std::max(n, 0));
    high = std::clamp(high, 0, std::max(n, 0));
    // Pruning starts where it skips at least half of a stage's butterflies: a stage pruned less
    // costs more alone than fused with its neighbour (BM_FftInverseEnds, the running ACF's
    // windows). Never inside the tiles of the first stages.
    std::int32_t stop = kTileSide;
    while (stop < n && stop < 2 * (low + high))
        stop *= 2;
    if (n < kTileSide * kTileSide) stop = n;
    return WithTables(tables, n, [&] { RunTransform<true>(tables, n, re, im, stop, low, high); });
}

int FilterInFrequencyDomain(float* x, float* y, std::int32_t n, const float* h) {
    if (n <= 0) return n == 0 ? 0 : 2;
    std::vector<float> zeros;
    if (!y) {
        zeros.assign(static_cast<std::size_t>(n), 0.0f);
        y = zeros.data();
    }
    FftTables& tables = SharedFftTables(n);
    if (int st = FftForward(tables, n, x, y); st != 0) return st;
    return FilterFromSpectrum(x, y, n, h, x, y);
}

int ForwardSpectrum(const float* x, const float* y, std::int32_t n, std::vector<float>* re,
                    std::vector<float>* im) {
    if (n < 0) return 2;
    re->assign(x, x + n);
    if (y)
        im->assign(y, y + n);
    else
        im->assign(static_cast<std::size_t>(n), 0.0f);
    return n == 0 ? 0 : FftForward(SharedFftTables(n), n, re->data(), im->data());
}

int FilterFromSpectrum(const float* re, const float* im, std::int32_t n, const float* h, float* x,
                       float* y) {
    if (n <= 0) return n == 0 ? 0 : 2;
    const float fn = static_cast<float>(n);
    for (std::int32_t k = 0; k < n; ++k) {
        x[k] = re[k] / fn * h[k];
        y[k] = im[k] / fn * h[k];
    }
    return FftInverse(SharedFftTables(n), n, x, y);
}

int PowerSpectrum2(const float* left, const float* right, float* pl, float* pr, std::int32_t n) {
    if (n <= 0) return n == 0 ? 0 : 2;
    const double g = (1.0 / n) * static_cast<double>(static_cast<float>(1.0 / 32767.0));
    for (std::int32_t t = 0; t < n; ++t) {
        pl[t] = left ? static_cast<float>(left[t] * g) : 0.0f;
        pr[t] = right ? static_cast<float>(right[t] * g) : 0.0f;
    }
    if (int st = FftForward(SharedFftTables(n), n, pl, pr); st != 0) return st;
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
