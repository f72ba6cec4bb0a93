#include "impulse/impulse_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "dsp/fft.h"
#include "dsp/linefit.h"
#include "dsp/scratch.h"

namespace vesk {

namespace {

// Eight doubles; the wider units where the processor has them, pairs or quads of narrower ones
// elsewhere.
using Lanes = double __attribute__((vector_size(64)));
constexpr std::int32_t kLanes = 8;

// A sample index from a truncated time, kept in lo .. hi; a time that is no number (a typed
// "nan") gives `otherwise` instead of an undefined conversion.
std::int32_t SampleIndex(double v, std::int32_t lo, std::int32_t hi, std::int32_t otherwise) {
    if (std::isnan(v)) return otherwise;
    return v < lo ? lo : v > hi ? hi : static_cast<std::int32_t>(v);
}

bool IsPeak(const float* x, std::int32_t i) {
    const float a = std::fabs(x[i]);
    return std::fabs(x[i - 1]) < a && std::fabs(x[i + 1]) < a;
}

double Energy(const float* x, const float* y, std::int32_t i) {
    const double a = x[i];
    if (!y) return a * a;
    const double b = y[i];
    return 0.5 * (a * a + b * b);
}

}  // namespace

double BandLevel(const float* x, std::int32_t n, std::int32_t multiplier) {
    return BandLevel(x, n, multiplier, n);
}

double BandLevel(const float* x, std::int32_t n, std::int32_t multiplier, double per) {
    if (!x || n <= 0 || !(per > 0)) return kNoValue;
    const double g = multiplier == 0 ? 1.0 : multiplier;
    double sum = 0;
    for (std::int32_t i = 0; i < n; ++i)
        sum += x[i];
    const double mean = sum / n;
    double e = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const double v = (x[i] - mean) * g;
        e += v * v;
    }
    if (!(e > 0)) return kNoValue;
    return 10.0 * std::log10(e / per);
}

void BandLevelPair(const float* l, const float* r, std::int32_t n, std::int32_t multiplier,
                   double per, double* levelL, double* levelR) {
    if (!l || !r || n <= 0 || !(per > 0)) {
        *levelL = BandLevel(l, n, multiplier, per);
        *levelR = BandLevel(r, n, multiplier, per);
        return;
    }
    // BandLevel's sums for both channels in one pass each: two chains that overlap.
    const double g = multiplier == 0 ? 1.0 : multiplier;
    double suml = 0, sumr = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        suml += l[i];
        sumr += r[i];
    }
    const double meanl = suml / n, meanr = sumr / n;
    double el = 0, er = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const double vl = (l[i] - meanl) * g, vr = (r[i] - meanr) * g;
        el += vl * vl;
        er += vr * vr;
    }
    *levelL = el > 0 ? 10.0 * std::log10(el / per) : kNoValue;
    *levelR = er > 0 ? 10.0 * std::log10(er / per) : kNoValue;
}

ResponseSpectrum::ResponseSpectrum(const float* x, std::int32_t n) {
    if (!x || n <= 0) return;
    std::int32_t first = 0, last = n - 1;
    while (first < n && x[first] == 0.0f)
        ++first;
    while (last > first && x[last] == 0.0f)
        --last;
    if (first >= n) return;
    const std::int64_t length = last - first + 1;
    // Twice the length, so that the correlation does not wrap around.
    std::int64_t size = 1;
    while (size < 2 * length)
        size *= 2;
    if (size > (std::int64_t{1} << 23)) return;  // 2^22 frames and more are never stored
    const std::size_t count = static_cast<std::size_t>(size);
    thread_local std::vector<float> keptRe, keptIm;
    Scratch<float> re(keptRe, count), im(keptIm, count);
    std::fill_n(re.data(), count, 0.0f);
    std::fill_n(im.data(), count, 0.0f);
    // Scaled to about 1, so that no square below leaves the float range.
    double peak = 0;
    for (std::int32_t i = first; i <= last; ++i)
        peak = std::max(peak, static_cast<double>(std::fabs(x[i])));
    for (std::int64_t i = 0; i < length; ++i)
        re[static_cast<std::size_t>(i)] = static_cast<float>(x[first + i] / peak);
    const std::int32_t sz = static_cast<std::int32_t>(size);
    FftTables& tables = SharedFftTables(sz);
    if (FftForward(tables, sz, re.data(), im.data()) != 0) return;
    for (std::size_t k = 0; k < count; ++k) {
        re[k] = re[k] * re[k] + im[k] * im[k];
        im[k] = 0.0f;
    }
    if (FftInverse(tables, sz, re.data(), im.data()) != 0) return;
    lags_.resize(static_cast<std::size_t>(length));
    const double scale = peak * peak / static_cast<double>(size);
    for (std::size_t m = 0; m < lags_.size(); ++m)
        lags_[m] = re[m] * scale;
    // Lag 0 is the energy itself; the transform's rounding is kept out of it.
    double e = 0;
    for (std::int32_t i = first; i <= last; ++i)
        e += static_cast<double>(x[i]) * x[i];
    lags_[0] = e;
}

double ResponseSpectrum::BandEnergy(double lower, double upper, double fs) const {
    double e = 0;
    const ResponseSpectrum* one[] = {this};
    BandEnergies(one, 1, lower, upper, fs, &e);
    return e;
}

void ResponseSpectrum::BandEnergies(const ResponseSpectrum* const* spectra, int count, double lower,
                                    double upper, double fs, double* energies) {
    std::size_t longest = 0;
    for (int k = 0; k < count; ++k) {
        energies[k] = 0.0;
        longest = std::max(longest, spectra[k]->lags_.size());
    }
    if (longest == 0 || !(fs > 0)) return;
    lower = std::clamp(lower, 0.0, fs / 2);
    upper = std::clamp(upper, 0.0, fs / 2);
    if (!(upper > lower)) return;
    // The ideal band-pass response at lag m is (sin(w2 m) - sin(w1 m)) / (pi m); the sines are
    // rotated on and set afresh every 1024 lags, so that rounding does not build up. The
    // rotation serves every spectrum; each one's sum is its own, in the same order.
    const double w1 = 2 * M_PI * lower / fs, w2 = 2 * M_PI * upper / fs;
    for (int k = 0; k < count; ++k)
        if (!spectra[k]->lags_.empty())
            energies[k] = spectra[k]->lags_[0] * 2 * (upper - lower) / fs;
    const double c1 = std::cos(w1), s1 = std::sin(w1), c2 = std::cos(w2), s2 = std::sin(w2);
    double a1 = 0, b1 = 0, a2 = 0, b2 = 0;  // cos and sin of w1 m and w2 m
    for (std::size_t m = 1; m < longest; ++m) {
        if (m % 1024 == 1) {
            const double dm = static_cast<double>(m);
            a1 = std::cos(w1 * dm), b1 = std::sin(w1 * dm);
            a2 = std::cos(w2 * dm), b2 = std::sin(w2 * dm);
        } else {
            const double t1 = a1 * c1 - b1 * s1, t2 = a2 * c2 - b2 * s2;
            b1 = b1 * c1 + a1 * s1;
            b2 = b2 * c2 + a2 * s2;
            a1 = t1;
            a2 = t2;
        }
        const double d = b2 - b1, pm = M_PI * static_cast<double>(m);
        for (int k = 0; k < count; ++k)
            if (m < spectra[k]->lags_.size()) energies[k] += 2 * spectra[k]->lags_[m] * d / pm;
    }
    for (int k = 0; k < count; ++k)
        energies[k] = std::max(energies[k], 0.0);
}

namespace {
double LevelOfEnergy(double energy, std::int32_t multiplier, double per) {
    if (!(per > 0)) return kNoValue;
    const double g = multiplier == 0 ? 1.0 : multiplier;
    const double e = energy * g * g;
    if (!(e > 0)) return kNoValue;
    return 10.0 * std::log10(e / per);
}
}  // namespace

double BandLevel(const ResponseSpectrum& s, double lower, double upper, double fs,
                 std::int32_t multiplier, double per) {
    if (!(per > 0)) return kNoValue;
    return LevelOfEnergy(s.BandEnergy(lower, upper, fs), multiplier, per);
}

void BandLevelPair(const ResponseSpectrum& l, const ResponseSpectrum& r, double lower, double upper,
                   double fs, std::int32_t multiplier, double per, double* levelL, double* levelR) {
    double e[2] = {0, 0};
    const ResponseSpectrum* both[] = {&l, &r};
    if (per > 0) ResponseSpectrum::BandEnergies(both, 2, lower, upper, fs, e);
    *levelL = LevelOfEnergy(e[0], multiplier, per);
    *levelR = LevelOfEnergy(e[1], multiplier, per);
}

double ListeningLevel(double splLeft, double splRight) {
    return 10.0 *
           std::log10(0.5 * (std::pow(10.0, 0.1 * splLeft) + std::pow(10.0, 0.1 * splRight)));
}

void FindDirectAndFirstReflection(const float* x, std::int32_t n, double fs, double minimumDelayMs,
                                  double* directMs, double* reflectionMs) {
    *directMs = 0.0;
    *reflectionMs = 0.0;
    if (!x || n < 4 || !(fs > 0)) return;
    const std::int32_t h = n / 2;
    // Peaks need a neighbour on each side inside the array.
    const std::int32_t last = std::min(h - 1, n - 2);
    double a = 0;
    for (std::int32_t i = 1; i <= last; ++i)
        a = std::max(a, static_cast<double>(std::fabs(x[i])));
    double p = 0;
    std::int32_t d = 0;
    for (std::int32_t i = 1; i <= last; ++i) {
        if (!IsPeak(x, i)) continue;
        const double v = std::fabs(x[i]);
        if (v > p) {
            p = v;
            d = i;
        } else if (p > 0.2 * a) {
            break;
        }
    }
    double start = std::trunc(d + fs * minimumDelayMs * 0.001) + 1;
    std::int32_t s = std::isnan(start) ? 1
                     : start > n - 1   ? n - 1
                     : start < 1       ? 1
                                       : static_cast<std::int32_t>(start);
    double b = 0;
    for (std::int32_t i = s; i <= last; ++i)
        b = std::max(b, static_cast<double>(std::fabs(x[i])));
    bool rising = false;
    double v = 0;
    std::int32_t r = 0;
    for (std::int32_t i = s; i <= last; ++i) {
        if (!IsPeak(x, i)) continue;
        const double a2 = std::fabs(x[i]);
        if (!rising) {
            if (v == 0 || a2 <= v || a2 <= 0.1 * b) {
                v = a2;
                r = i;
            } else {
                rising = true;
            }
        } else if (a2 > v) {
            v = a2;
            r = i;
        } else if (v > 0.5 * b) {
            break;
        }
    }
    *directMs = d / fs * 1000.0;
    *reflectionMs = r / fs * 1000.0;
}

bool DirectSoundBeyondSearch(const float* x, std::int32_t n) {
    if (!x || n < 4) return false;
    std::int32_t at = 0;
    for (std::int32_t i = 1; i < n; ++i)
        if (std::fabs(x[i]) > std::fabs(x[at])) at = i;
    return at >= n / 2;
}

namespace {

// The sample of the first reflection (t1Ms after the start) and the first sample of the noise
// range (the last `noiseRate` share, none for a rate that is no number), kept inside the
// response for hostile values.
std::int32_t ReflectionSample(double fs, double t1Ms, std::int32_t n) {
    return SampleIndex(std::trunc(fs * t1Ms * 0.001), 0, n - 1, 0);
}
std::int32_t NoiseStart(double noiseRate, std::int32_t n) {
    return SampleIndex(std::trunc((1.0 - noiseRate) * n), 0, n, n);
}

// The backward sums of the decay curve: sums[i] is the energy above the noise mean from i to
// the end, summed from the end; returns the reference, the same sum from the first reflection.
double DecaySums(const float* x, const float* y, double* sums, std::int32_t n, double fs,
                 double t1Ms, double noiseRate) {
    const std::int32_t k1 = ReflectionSample(fs, t1Ms, n);
    const std::int32_t ns = NoiseStart(noiseRate, n);
    double m = 0;
    if (ns < n) {
        for (std::int32_t i = ns; i < n; ++i)
            m += Energy(x, y, i);
        m /= (n - ns);
    }
    double sum = 0;
    for (std::int32_t i = n - 1; i >= 0; --i) {
        if (i < ns) sum += std::max(Energy(x, y, i) - m, 0.0);
        sums[i] = sum;
    }
    return sums[k1];
}

// DecaySums of two single channels with the same noise range, side by side: each channel's
// sums are formed exactly as alone, and the two chains of dependent additions overlap.
void DecaySumsPair(const float* xl, const float* xr, double* sl, double* sr, std::int32_t n,
                   double fs, double t1L, double t1R, double noiseRate, double* refL,
                   double* refR) {
    const std::int32_t ns = NoiseStart(noiseRate, n);
    double ml = 0, mr = 0;
    if (ns < n) {
        for (std::int32_t i = ns; i < n; ++i) {
            ml += Energy(xl, nullptr, i);
            mr += Energy(xr, nullptr, i);
        }
        ml /= (n - ns);
        mr /= (n - ns);
    }
    double suml = 0, sumr = 0;
    for (std::int32_t i = n - 1; i >= 0; --i) {
        if (i < ns) {
            suml += std::max(Energy(xl, nullptr, i) - ml, 0.0);
            sumr += std::max(Energy(xr, nullptr, i) - mr, 0.0);
        }
        sl[i] = suml;
        sr[i] = sumr;
    }
    *refL = sl[ReflectionSample(fs, t1L, n)];
    *refR = sr[ReflectionSample(fs, t1R, n)];
}

float CurveLevel(double sum, double r) {
    return (r > 0 && sum > 0) ? static_cast<float>(10.0 * std::log10(sum / r)) : -1000.0f;
}

// The float levels of `count` backward sums against the reference r > 0, each exactly
// CurveLevel's: 10 log10(sum / r) is formed by a short series to within 1e-11 dB, and taken
// only where that cannot round to another float than the library's logarithm would. About one
// value in ten thousand is that close to a rounding boundary and takes the library's path, as
// do zero sums and values near the ends of the double range.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void CurveLevelsOf(
    const double* sums, double r, std::int32_t count, float* out) {
    // Four lanes: the widths whose comparisons every clone keeps in vector registers.
    using Quad = double __attribute__((vector_size(32)));
    using Longs = long __attribute__((vector_size(32)));
    using Floats = float __attribute__((vector_size(16)));
    using Ints = unsigned __attribute__((vector_size(16)));  // bit patterns: no overflow
    constexpr int kQuad = 4;
    // |a - 10 log10(sum / r)| of the series, and the library's own error, stay far below this.
    constexpr double kSlack = 1e-9;
    constexpr double kLog2 = 3.0102999566398119521373889472449;   // 10 log10(2)
    constexpr double kAtanh = 8.6858896380650365530225783783322;  // 2 * 10 / ln 10
    constexpr double kTwo52 = 4503599627370496.0;
    const double inverse = 1.0 / r;
    std::int32_t i = 0;
    for (; i + kQuad <= count; i += kQuad) {
        Quad v;
        std::memcpy(&v, sums + i, sizeof v);
        // Rounded apart from sum / r by an ulp: far inside the slack.
        v *= inverse;
        Longs bits;
        std::memcpy(&bits, &v, sizeof bits);
        // The exponent as a double without a conversion instruction: 2^52 + e, less 2^52.
        const Longs eb = ((bits >> 52) & 0x7ff) | 0x4330000000000000L;
        Quad e;
        std::memcpy(&e, &eb, sizeof e);
        e -= kTwo52 + 1023;
        const Longs mb = (bits & 0x000fffffffffffffL) | 0x3ff0000000000000L;
        Quad m;
        std::memcpy(&m, &mb, sizeof m);
        const Longs big = m > 1.4142135623730951;  // m in sqrt 1/2 .. sqrt 2
        m = big ? m * 0.5 : m;
        e = big ? e + 1.0 : e;
        // ln m = 2 atanh t, t = (m - 1) / (m + 1), |t| < 0.1716: seven odd terms, the first
        // left out below 5e-13; pairs formed apart to shorten the chain.
        const Quad t = (m - 1.0) / (m + 1.0), u = t * t, u2 = u * u, u4 = u2 * u2;
        const Quad p = (1.0 + u * (1.0 / 3)) + u2 * ((1.0 / 5) + u * (1.0 / 7)) +
                       u4 * (((1.0 / 9) + u * (1.0 / 11)) + u2 * (1.0 / 13));
        const Quad a = e * kLog2 + t * p * kAtanh;
        const Floats f = __builtin_convertvector(a, Floats);
        Ints fb;
        std::memcpy(&fb, &f, sizeof fb);
        const Ints ub = fb + 1, db = fb - 1;
        Floats up, down;
        std::memcpy(&up, &ub, sizeof up);
        std::memcpy(&down, &db, sizeof down);
        const Quad fd = __builtin_convertvector(f, Quad);
        const Quad m1 = (fd + __builtin_convertvector(up, Quad)) * 0.5,
                   m2 = (fd + __builtin_convertvector(down, Quad)) * 0.5;
        // The whole slack around a must lie between the midpoints to f's neighbours.
        const Longs inside =
            ((a - kSlack > m1) & (a + kSlack < m2)) | ((a - kSlack > m2) & (a + kSlack < m1));
        const Longs take = inside & (v >= 1e-300) & (v <= 1e300) & (fd != 0.0);
        std::memcpy(out + i, &f, sizeof f);
        if ((take[0] & take[1] & take[2] & take[3]) != 0) continue;
        for (int l = 0; l < kQuad; ++l)
            if (!take[l]) out[i + l] = CurveLevel(sums[i + l], r);
    }
    for (; i < count; ++i)
        out[i] = CurveLevel(sums[i], r);
}

}  // namespace

void DecayLevels(const double* sums, double r, std::int32_t count, float* levels) {
    if (!(r > 0)) {
        std::fill_n(levels, std::max(count, 0), -1000.0f);
        return;
    }
    CurveLevelsOf(sums, r, count, levels);
}

void DecayCurve(const float* x, const float* y, float* curve, std::int32_t n, double fs,
                double t1Ms, double noiseRate) {
    if (!x || !curve || n <= 0) return;
    std::vector<double> sums(static_cast<std::size_t>(n));
    const double r = DecaySums(x, y, sums.data(), n, fs, t1Ms, noiseRate);
    DecayLevels(sums.data(), r, n, curve);
}

std::int32_t TsubEndWindow(double fs, double bandwidthHz) {
    // 64 samples is the classic window. The energy of a band signal dips towards zero twice per
    // period of its lowest frequency, and its envelope beats with the band's width: a window
    // shorter than half of 1/width can sit in one such dip while the decay is still far above
    // the noise and end the regression a few dB down. For an octave, half of 1/width is half a
    // period of its lower edge, which also spans a full cycle of the squared signal; a third
    // octave, 4.3 times narrower, beats that much slower. Bands at least fs/128 wide keep 64.
    constexpr std::int32_t kClassic = 64;
    if (!(bandwidthHz > 0) || !(fs > 0)) return kClassic;
    const double half = std::ceil(fs / (2.0 * bandwidthHz));
    return half > kClassic ? static_cast<std::int32_t>(std::min(half, 1e7)) : kClassic;
}

namespace {

// Mean energy of samples from .. n - 1.
double MeanEnergy(const float* x, const float* y, std::int32_t from, std::int32_t n) {
    double m = 0;
    for (std::int32_t i = from; i < n; ++i)
        m += Energy(x, y, i);
    return m / (n - from);
}

// AutomaticEnd's classic window of 64. W is summed afresh at every i, so the end sample does not
// depend on rounding that a running sum would accumulate. Eight i are taken at once, lane l
// summing the energies of i + l in the same ascending order; past n it adds zeros, which leave
// a sum of energies unchanged.
__attribute__((target_clones("avx512f", "avx2", "default"))) std::int32_t AutomaticEnd64(
    const float* x, const float* y, std::int32_t s, std::int32_t n, double noiseMean) {
    if (s >= n) return 0;
    const std::int32_t count = n - s;
    thread_local std::vector<double> kept;
    Scratch<double> e(kept, static_cast<std::size_t>(count) + 64 + kLanes);
    for (std::int32_t j = s; j < n; ++j)
        e[static_cast<std::size_t>(j - s)] = Energy(x, y, j);
    std::fill_n(e.data() + count, 64 + kLanes, 0.0);
    const double limit = 3.0 * noiseMean;
    for (std::int32_t b = 0; b < count; b += kLanes) {
        Lanes w = {};
        for (std::int32_t t = 0; t < 64; ++t) {
            Lanes v;
            std::memcpy(&v, e.data() + b + t, sizeof v);
            w += v;
        }
        for (std::int32_t l = 0; l < kLanes && b + l < count; ++l)
            if (w[l] * 0.015625 < limit) return s + b + l;
    }
    return 0;
}

// The first i in s .. n - 1 where the mean energy of the next `window` samples (fewer at the
// end, still divided by `window`) falls below three times the noise mean; 0 if none.
std::int32_t AutomaticEnd(const float* x, const float* y, std::int32_t s, std::int32_t n,
                          std::int32_t window, double noiseMean) {
    if (window == 64) return AutomaticEnd64(x, y, s, n, noiseMean);
    // Long windows slide a running sum, formed afresh every 4096 samples to bound its drift.
    double w = 0;
    for (std::int32_t i = s; i < n; ++i) {
        if ((i - s) % 4096 == 0) {
            w = 0;
            for (std::int32_t j = i; j < std::min(n, i + window); ++j)
                w += Energy(x, y, j);
        } else {
            w -= Energy(x, y, i - 1);
            if (i - 1 + window < n) w += Energy(x, y, i - 1 + window);
        }
        if (w / window < 3.0 * noiseMean) return i;
    }
    return 0;
}

}  // namespace

namespace {
// Pearson correlation of y[i] with i; kNoValue when either does not vary.
double Correlation(const float* y, std::int32_t m) {
    double sy = 0;
    for (std::int32_t i = 0; i < m; ++i)
        sy += y[i];
    const double my = sy / m, mx = 0.5 * (m - 1);
    double sxy = 0, sxx = 0, syy = 0;
    for (std::int32_t i = 0; i < m; ++i) {
        const double dx = i - mx, dy = y[i] - my;
        sxy += dx * dy;
        sxx += dx * dx;
        syy += dy * dy;
    }
    return sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : kNoValue;
}
}  // namespace

namespace {

// The backward sums of one or two channels, kept per thread.
thread_local std::vector<double> t_decaySums[2];

// Tsub from the channel's backward sums (DecaySums) and their reference r.
TsubResult TsubFromSums(const float* x, const float* y, const double* sums, double r,
                        std::int32_t n, double fs, double t1Ms, double tsubEnd, int tsubAuto,
                        double q, double bandwidthHz) {
    TsubResult result;
    // The curve's level is taken only where it is read: its logarithms dominate the fit's time.
    const auto curve = [&](std::int32_t i) {
        return CurveLevel(sums[static_cast<std::size_t>(i)], r);
    };
    const double k = std::trunc(fs * t1Ms * 0.001);
    const std::int32_t k1 = ReflectionSample(fs, t1Ms, n);
    // Without energy from the first reflection on there is no curve to take values from.
    if (curve(k1) != 0.0f) return result;
    const double c0 = curve(0);
    if (c0 == 0) {
        result.aValue = 20.0;
    } else {
        const double a = std::sqrt(1.0 / (std::pow(10.0, 0.1 * c0) - 1.0));
        result.aValue = (std::isfinite(a) && a <= 20.0) ? a : 20.0;
    }
    // The -1000 marks hold no level: they form the curve's tail, and no fit reaches them.
    std::int32_t firstMark = n;
    while (firstMark > 0 && curve(firstMark - 1) == -1000.0f)
        --firstMark;
    std::int32_t s = SampleIndex(k, 0, n, 0);
    std::int32_t end = 0;
    std::int32_t nsAuto = n;
    if (tsubAuto) {
        const double qa = q == 0 ? 0.5 : q;
        const double nsd = std::trunc((1.0 - qa) * n);
        nsAuto = SampleIndex(nsd, 0, n - 1, n / 2);
        double m = MeanEnergy(x, y, nsAuto, n);
        std::int32_t length = n;
        if (m == 0) {
            // Digital silence (a denoised or padded response) has no noise to meet: the
            // response ends at its last sample with energy, and the noise range is the same
            // share of what comes before.
            while (length > 0 && Energy(x, y, length - 1) == 0)
                --length;
            if (length > 1) {
                nsAuto = SampleIndex(std::trunc((1.0 - qa) * length), 0, length - 1, length / 2);
                m = MeanEnergy(x, y, nsAuto, length);
            } else {
                length = n;
            }
        }
        if (s >= n) {
            s = 0;
            end = 0;
        } else {
            end = AutomaticEnd(x, y, s, length, TsubEndWindow(fs, bandwidthHz), m);
        }
    } else if (s >= n) {
        s = 0;
        end = n - 1;
    } else {
        end = n - 1;
        const double level = curve(0) + tsubEnd;
        for (std::int32_t i = s; i < n; ++i) {
            if (curve(i) < level) {
                end = i;
                break;
            }
        }
    }
    // Past the start of the noise range the curve may hold the -1000 marks; a response still
    // decaying there would otherwise pull the regression down and Tsub far too short.
    if (tsubAuto && end > nsAuto) end = nsAuto;
    if (end >= n) end = n - 1;
    if (end <= s) end = tsubAuto ? (nsAuto > s ? nsAuto : n - 1) : n - 1;
    end = std::min(end, firstMark);
    if (end - s < 2) return result;
    thread_local std::vector<float> keptLevels;
    Scratch<float> levels(keptLevels, static_cast<std::size_t>(end - s));
    DecayLevels(sums + s, r, end - s, levels.data());
    LineFit fit = FitSlopeThroughOrigin(levels.data(), end - s, 0.0, 1.0 / fs);
    if (!fit.valid || fit.slope == 0.0f) return result;
    result.slope = fit.slope;
    result.tsub = -60.0 / fit.slope;
    result.rangeDb = levels[0] - levels[static_cast<std::size_t>(end - s - 1)];
    result.r = Correlation(levels.data(), end - s);
    return result;
}

}  // namespace

TsubResult ComputeTsub(const float* x, const float* y, std::int32_t n, double fs, double t1Ms,
                       double tsubEnd, int tsubAuto, double q, double bandwidthHz) {
    if (!x || n <= 0 || !(fs > 0)) return {};
    Scratch<double> sums(t_decaySums[0], static_cast<std::size_t>(n));
    const double r = DecaySums(x, y, sums.data(), n, fs, t1Ms, q);
    return TsubFromSums(x, y, sums.data(), r, n, fs, t1Ms, tsubEnd, tsubAuto, q, bandwidthHz);
}

void ComputeTsubPair(const float* l, const float* r, std::int32_t n, double fs, double t1L,
                     double t1R, double tsubEnd, int tsubAuto, double q, double bandwidthHz,
                     TsubResult* left, TsubResult* right) {
    if (!l || !r || n <= 0 || !(fs > 0)) {
        *left = *right = TsubResult{};
        return;
    }
    Scratch<double> sl(t_decaySums[0], static_cast<std::size_t>(n)),
        sr(t_decaySums[1], static_cast<std::size_t>(n));
    double refL = 0, refR = 0;
    DecaySumsPair(l, r, sl.data(), sr.data(), n, fs, t1L, t1R, q, &refL, &refR);
    *left =
        TsubFromSums(l, nullptr, sl.data(), refL, n, fs, t1L, tsubEnd, tsubAuto, q, bandwidthHz);
    *right =
        TsubFromSums(r, nullptr, sr.data(), refR, n, fs, t1R, tsubEnd, tsubAuto, q, bandwidthHz);
}

std::int32_t IacfLength(double fs) {
    // A rate beyond any recording (a hostile folder scale) has no window that fits an int.
    if (!(fs > 0) || fs > 1e8) return 0;
    return 2 * static_cast<std::int32_t>(std::trunc(0.002 * fs)) - 1;
}

namespace {

// Six accumulators of eight lags: enough independent sums to hide the latency of the adds, few
// enough to stay in registers beside the loaded row and the broadcast term.
constexpr std::int32_t kLagBlock = 6 * kLanes;
// Samples per pass over the lag blocks: the converted rows (about 34 KiB) stay in the cache.
constexpr std::int32_t kChunk = 4096;

// Phi[k] = sum over i of l[(k - c + i) mod n] * r[i], each sum in double from 0 and in ascending
// i, so every lag's additions happen in the same order as written out. The lags are held in
// registers for a chunk of i and the samples read from copies in double with the wrap laid out:
// lx[q] = l[(i0 + q - c) mod n], so lag k at sample i0 + q reads lx[k + q].
__attribute__((target_clones("avx512f", "avx2", "default"))) void IacfSums(
    const float* l, const float* r, std::int32_t n, std::int32_t m, double* sums) {
    const std::int32_t c = m / 2;
    const std::int32_t lags = (m + kLagBlock - 1) / kLagBlock * kLagBlock;
    std::vector<double> acc(static_cast<std::size_t>(lags), 0.0);
    thread_local std::vector<double> keptLx, keptRx;
    Scratch<double> lx(keptLx, static_cast<std::size_t>(kChunk + lags)), rx(keptRx, kChunk);
    for (std::int32_t i0 = 0; i0 < n; i0 += kChunk) {
        const std::int32_t len = std::min(kChunk, n - i0);
        for (std::int32_t q = 0; q < len + lags; ++q) {
            std::int64_t j = static_cast<std::int64_t>(i0) + q - c;
            if (j < 0 || j >= n) j = (j % n + n) % n;
            lx[static_cast<std::size_t>(q)] = l[j];
        }
        for (std::int32_t q = 0; q < len; ++q)
            rx[static_cast<std::size_t>(q)] = r[i0 + q];
        for (std::int32_t k0 = 0; k0 < lags; k0 += kLagBlock) {
            Lanes a0, a1, a2, a3, a4, a5;
            double* out = acc.data() + k0;
            std::memcpy(&a0, out, sizeof(Lanes));
            std::memcpy(&a1, out + kLanes, sizeof(Lanes));
            std::memcpy(&a2, out + 2 * kLanes, sizeof(Lanes));
            std::memcpy(&a3, out + 3 * kLanes, sizeof(Lanes));
            std::memcpy(&a4, out + 4 * kLanes, sizeof(Lanes));
            std::memcpy(&a5, out + 5 * kLanes, sizeof(Lanes));
            const double* row = lx.data() + k0;
            for (std::int32_t q = 0; q < len; ++q) {
                const double t = rx[static_cast<std::size_t>(q)];
                const double* x = row + q;
                Lanes v;
                std::memcpy(&v, x, sizeof v);
                a0 += v * t;
                std::memcpy(&v, x + kLanes, sizeof v);
                a1 += v * t;
                std::memcpy(&v, x + 2 * kLanes, sizeof v);
                a2 += v * t;
                std::memcpy(&v, x + 3 * kLanes, sizeof v);
                a3 += v * t;
                std::memcpy(&v, x + 4 * kLanes, sizeof v);
                a4 += v * t;
                std::memcpy(&v, x + 5 * kLanes, sizeof v);
                a5 += v * t;
            }
            std::memcpy(out, &a0, sizeof(Lanes));
            std::memcpy(out + kLanes, &a1, sizeof(Lanes));
            std::memcpy(out + 2 * kLanes, &a2, sizeof(Lanes));
            std::memcpy(out + 3 * kLanes, &a3, sizeof(Lanes));
            std::memcpy(out + 4 * kLanes, &a4, sizeof(Lanes));
            std::memcpy(out + 5 * kLanes, &a5, sizeof(Lanes));
        }
    }
    std::copy_n(acc.data(), m, sums);
}

}  // namespace

bool ComputeIacf(const float* l, const float* r, std::int32_t n, float* iacf, std::int32_t m) {
    if (!l || !r || !iacf || n <= 0 || m <= 0) return false;
    long double el = 0, er = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        el += static_cast<long double>(l[i]) * l[i];
        er += static_cast<long double>(r[i]) * r[i];
    }
    const long double norm = std::sqrt(el * er);
    if (!(norm > 0)) {
        for (std::int32_t k = 0; k < m; ++k)
            iacf[k] = 0.0f;
        return false;
    }
    std::vector<double> sums(static_cast<std::size_t>(m));
    IacfSums(l, r, n, m, sums.data());
    for (std::int32_t k = 0; k < m; ++k)
        iacf[k] = static_cast<float>(sums[static_cast<std::size_t>(k)] / norm);
    return true;
}

IacfResult EvaluateIacf(const float* iacf, std::int32_t m, double fs, double delta) {
    IacfResult result;
    if (!iacf || m <= 0 || !(fs > 0)) return result;
    bool any = false;
    for (std::int32_t k = 0; k < m; ++k)
        any = any || iacf[k] != 0.0f;
    if (!any) return result;  // a silent channel: no correlation to evaluate
    const std::int32_t c = m / 2;
    const std::int32_t a = SampleIndex(std::trunc(0.001 * fs), 0, m, 0);
    const std::int32_t lo = std::max(0, c - a), hi = std::min(m, c + a);
    double iacc = -1.0;
    std::int32_t best = c;
    for (std::int32_t k = lo; k < hi; ++k) {
        if (iacf[k] > iacc) {
            iacc = iacf[k];
            best = k;
        }
    }
    result.iacc = iacc;
    result.tauIacc = (best - c) / fs * 1000.0;
    const double theta = (1.0 - delta) * iacc;
    // Left: the first j below the threshold, the crossing interpolated between j and j + 1.
    double left = best;  // without a crossing the width runs to entry 0
    for (std::int32_t j = best; j >= 0; --j) {
        if (iacf[j] < theta) {
            if (j == best) {
                left = 0;
                break;
            }
            const double step = static_cast<double>(iacf[j + 1]) - iacf[j];
            left = best - j - (step != 0 ? (theta - iacf[j]) / step : 0.0);
            break;
        }
    }
    double right = (m - 1) - best;  // without a crossing the width runs to entry m - 1
    for (std::int32_t j = best; j < m; ++j) {
        if (iacf[j] < theta) {
            if (j == best) {
                right = 0;
                break;
            }
            const double step = static_cast<double>(iacf[j - 1]) - iacf[j];
            right = j - best - (step != 0 ? (theta - iacf[j]) / step : 0.0);
            break;
        }
    }
    result.leftWidth = left / fs * 1000.0;
    result.rightWidth = right / fs * 1000.0;
    result.wiacc = std::min(50.0, result.leftWidth + result.rightWidth);
    return result;
}

DecayDisplay ComputeDecayDisplay(const float* left, const float* right, std::int32_t n, double fs,
                                 double t1LeftMs, double t1RightMs, double tsubEnd, int tsubAuto,
                                 double noiseRate, DecayChannel channel, std::int32_t decayLength,
                                 double bandwidthHz) {
    DecayDisplay d;
    const float* x = channel == DecayChannel::Right ? right : left;
    const float* y = channel == DecayChannel::Average ? right : nullptr;
    if (!x || n <= 0 || (channel == DecayChannel::Average && !y)) return d;
    d.t1Ms = channel == DecayChannel::Average ? (t1LeftMs + t1RightMs) / 2
             : channel == DecayChannel::Left  ? t1LeftMs
                                              : t1RightMs;
    const std::size_t count = static_cast<std::size_t>(n);
    d.echo.resize(count);
    float largest = 0;
    for (std::size_t i = 0; i < count; ++i) {
        d.echo[i] = y ? x[i] * x[i] + y[i] * y[i] : x[i] * x[i];
        largest = std::max(largest, d.echo[i]);
    }
    if (largest > 0)
        for (float& v : d.echo)
            v /= largest;
    d.withoutNoise.resize(count);
    DecayCurve(x, y, d.withoutNoise.data(), n, fs, d.t1Ms, 0.0);
    if (noiseRate != 0) {
        d.withNoise.resize(count);
        DecayCurve(x, y, d.withNoise.data(), n, fs, d.t1Ms, noiseRate);
    }
    const std::int32_t length = decayLength > 0 && decayLength < n ? decayLength : n;
    d.slope =
        ComputeTsub(x, y, length, fs, d.t1Ms, tsubEnd, tsubAuto, noiseRate, bandwidthHz).slope;
    return d;
}

}  // namespace vesk
