#include "iso/iso3382.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace vesk::iso {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kG = std::pow(10.0, 0.3);  // IEC 61260-1:2014, base-10 octave frequency ratio

// IEC 61260-1:2014 Table 1, class 1: breakpoints as exponents e of Omega = G^e of an octave
// filter, with the least and the greatest relative attenuation (dB) allowed there. The band
// edge (e = 1/2) carries the pass-band's upper limit; beyond e = 4 the least stays 70 dB.
struct MaskPoint {
    double exponent, least, most;
};
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr MaskPoint kClass1[] = {
    {0.0, -0.4, 0.4},  {0.125, -0.4, 0.6}, {0.25, -0.4, 0.8}, {0.375, -0.4, 1.6}, {0.5, -0.4, 5.3},
    {1.0, 16.6, kInf}, {2.0, 40.5, kInf},  {3.0, 60.0, kInf}, {4.0, 70.0, kInf},
};

// Butterworth band-pass magnitude in dB attenuation at prewarped frequency w (w = tan(pi f/fs))
// for prewarped centre w0 and bandwidth bw: the bilinear transform gives exactly this.
double AnalogAttenuation(double w, double w0, double bw, int order) {
    const double x = (w * w - w0 * w0) / (bw * w);
    return 10.0 * std::log10(1.0 + std::pow(x * x, order));
}

// Whether a band-pass of this order meets the class 1 limits at every breakpoint below fs/2.
bool MeetsClass1(double fm, int b, double fs, double w0, double bw, int order) {
    const double warp = std::numbers::pi / fs;
    const double reference = AnalogAttenuation(std::tan(warp * fm), w0, bw, order);
    const double scale = (std::pow(kG, 0.5 / b) - 1.0) / (std::sqrt(kG) - 1.0);
    for (const MaskPoint& p : kClass1) {
        // IEC 61260-1:2014: breakpoints of a 1/b-octave filter from those of an octave.
        const double upper = 1.0 + scale * (std::pow(kG, p.exponent) - 1.0);
        for (double omega : {upper, 1.0 / upper}) {
            const double f = omega * fm;
            if (f >= 0.5 * fs) continue;
            const double a = AnalogAttenuation(std::tan(warp * f), w0, bw, order) - reference;
            if (a < p.least || a > p.most) return false;
        }
    }
    return true;
}

std::vector<Biquad> BandPassSections(double w1, double w2, int order) {
    using C = std::complex<double>;
    const double bw = w2 - w1, w0sq = w1 * w2;
    std::vector<C> poles;
    for (int k = 1; k <= order; ++k) {
        const double theta = (2.0 * k - 1.0) * std::numbers::pi / (2.0 * order);
        const C p(-std::sin(theta), std::cos(theta));
        // s -> (s^2 + w0^2) / (bw s): each prototype pole p gives the roots of
        // s^2 - p bw s + w0^2, then z = (1 + s) / (1 - s).
        const C root = std::sqrt(p * p * bw * bw - 4.0 * w0sq);
        for (C s : {(p * bw + root) * 0.5, (p * bw - root) * 0.5})
            poles.push_back((1.0 + s) / (1.0 - s));
    }
    std::vector<Biquad> sections;
    std::vector<double> real;
    for (const C& z : poles) {
        if (z.imag() > 1e-14) {
            sections.push_back({1.0, 0.0, -1.0, -2.0 * z.real(), std::norm(z)});
        } else if (std::abs(z.imag()) <= 1e-14) {
            real.push_back(z.real());
        }
    }
    std::sort(real.begin(), real.end());
    for (std::size_t i = 0; i + 1 < real.size(); i += 2)
        sections.push_back({1.0, 0.0, -1.0, -(real[i] + real[i + 1]), real[i] * real[i + 1]});
    // Unit gain of every section at the digital image of the analogue centre, where the
    // Butterworth band-pass has its maximum of exactly 1.
    const double wc = 2.0 * std::atan(std::sqrt(w0sq));
    const C z1 = std::polar(1.0, -wc), z2 = z1 * z1;
    for (Biquad& s : sections) {
        const double g = std::abs((1.0 + s.a1 * z1 + s.a2 * z2) / (1.0 - z2));
        s.b0 = g;
        s.b2 = -g;
    }
    return sections;
}

// Nominal midband frequencies, IEC 61260-1:2014 Annex E, for x = -18 .. 13 (third-octaves,
// exact 1000 * G^(x/3)); octaves are every third of them from x = -18.
constexpr double kNominalThirds[] = {16,   20,   25,   31.5, 40,    50,    63,    80,
                                     100,  125,  160,  200,  250,   315,   400,   500,
                                     630,  800,  1000, 1250, 1600,  2000,  2500,  3150,
                                     4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};

BandFilter DesignOne(double nominal, double exact, int b, double fs, double reversedBelow) {
    BandFilter f;
    f.nominalCentre = nominal;
    f.exactCentre = exact;
    f.lowerEdge = exact * std::pow(kG, -0.5 / b);
    f.upperEdge = exact * std::pow(kG, 0.5 / b);
    f.timeReversed = nominal < reversedBelow;
    const double w1 = std::tan(std::numbers::pi * f.lowerEdge / fs);
    const double w2 = std::tan(std::numbers::pi * f.upperEdge / fs);
    // Order 3 meets class 1 for octaves and thirds away from Nyquist (its least attenuation
    // at G is 19.6 dB for octaves, 21 dB for thirds against 16.6); 12 is far beyond any need.
    int order = 3;
    while (order < 12 && !MeetsClass1(exact, b, fs, std::sqrt(w1 * w2), w2 - w1, order))
        ++order;
    f.order = order;
    f.sections = BandPassSections(w1, w2, order);
    return f;
}

// ---- Decay analysis on the squared response ------------------------------------------------

struct Line {
    double a = 0, b = 0;  // level = a + b * t (dB, t in samples from the onset)
};

// Least-squares line through the levels of blocks [k0, k1) of `len` samples that reach
// `lowest`: blocks under it within the range are noise or silence (the gap before the first
// reflection), not decay. False unless two blocks remain and the line falls.
bool FitBlocks(const std::vector<double>& level, std::size_t k0, std::size_t k1, double len,
               double lowest, Line* line) {
    double mx = 0, my = 0, m = 0;
    for (std::size_t k = k0; k < k1; ++k) {
        if (level[k] < lowest) continue;
        mx += (k + 0.5) * len;
        my += level[k];
        ++m;
    }
    if (m < 2) return false;
    mx /= m;
    my /= m;
    double sxx = 0, sxy = 0;
    for (std::size_t k = k0; k < k1; ++k) {
        if (level[k] < lowest) continue;
        const double dx = (k + 0.5) * len - mx;
        sxx += dx * dx;
        sxy += dx * (level[k] - my);
    }
    if (sxx <= 0) return false;
    line->b = sxy / sxx;
    line->a = my - line->b * mx;
    return line->b < 0;
}

double PowerDb(double p) {
    return 10.0 * std::log10(std::max(p, 1e-300));
}

void BlockLevels(const double* e, std::size_t m, std::size_t len, std::vector<double>* level) {
    level->clear();
    for (std::size_t k = 0; (k + 1) * len <= m; ++k) {
        double s = 0;
        for (std::size_t i = k * len; i < (k + 1) * len; ++i)
            s += e[i];
        level->push_back(PowerDb(s / static_cast<double>(len)));
    }
}

double MeanPower(const double* e, std::size_t from, std::size_t to) {
    if (to <= from) return 0;
    double s = 0;
    for (std::size_t i = from; i < to; ++i)
        s += e[i];
    return s / static_cast<double>(to - from);
}

// One past the last block from `from` on whose level reaches `threshold` (`from` + 1 at least).
std::size_t BlocksAbove(const std::vector<double>& level, std::size_t from, double threshold) {
    std::size_t end = level.size();
    while (end > from + 1 && level[end - 1] < threshold)
        --end;
    return end;
}

struct Lundeby {
    bool found = false;
    Line line;              // the late decay
    double noise = 0;       // mean power per sample
    double truncation = 0;  // samples after the onset
    double inr = 0;         // dB
};

// Lundeby, Vigran, Bietz and Vorlaender, Acustica 81 (1995) 344-355: the decay of the squared
// response e (m samples from the onset) and the noise under it, and where the two meet.
Lundeby FindDecayAndNoise(const double* e, std::size_t m, double fs, double peak,
                          std::vector<double>* level) {
    Lundeby out;
    // Noise clamped 150 dB under the peak so that a noise-free synthetic response still has a
    // finite crossing (beyond double rounding of any real recording).
    const double floor = peak * 1e-15;
    // Step 1: 10 ms intervals, the short end of the paper's 10..50 ms, to keep early detail.
    const std::size_t len0 = std::max<std::size_t>(1, static_cast<std::size_t>(0.010 * fs));
    BlockLevels(e, m, len0, level);
    if (level->size() < 3) return out;
    const std::size_t kPeak =
        static_cast<std::size_t>(std::max_element(level->begin(), level->end()) - level->begin());
    const double peakBlock = (*level)[kPeak];
    // Step 2: the noise from the last 10 % of the response.
    double noise = std::max(MeanPower(e, m - m / 10, m), floor);
    double noiseDb = PowerDb(noise);
    // Step 3: the decay from the peak to 10 dB above the noise (the paper's 5..10 dB). It ends
    // after the last block that high, not before the first one lower: the gap between the direct
    // sound and the first reflection may hold nothing but noise, or digital silence.
    const std::size_t k1 = BlocksAbove(*level, kPeak, noiseDb + 10.0);
    Line line;
    if (!FitBlocks(*level, kPeak, k1, static_cast<double>(len0), noiseDb + 10.0, &line)) return out;
    double crossing = (noiseDb - line.a) / line.b;  // step 4
    // At most 5 rounds: a bound of ours against a crossing that keeps hopping between blocks.
    for (int iteration = 0; iteration < 5; ++iteration) {
        // Step 5: 5 intervals per 10 dB of decay (the paper: 3..10).
        const double perTen = -10.0 / line.b;
        const std::size_t len = std::max<std::size_t>(1, static_cast<std::size_t>(perTen / 5.0));
        BlockLevels(e, m, len, level);
        // Step 7: noise from where the line is 10 dB under the noise, or the last 10 %.
        const double startAt = std::clamp(crossing + perTen, 0.0, 0.9 * static_cast<double>(m));
        noise = std::max(MeanPower(e, static_cast<std::size_t>(startAt), m), floor);
        noiseDb = PowerDb(noise);
        // Step 8: the late decay over 20 dB, ending 5 dB above the noise (the paper: 10..20 dB
        // ending 5..10 dB above).
        const std::size_t top = static_cast<std::size_t>(
            std::max_element(level->begin(), level->end()) - level->begin());
        const std::size_t k2 = BlocksAbove(*level, top, noiseDb + 5.0);
        std::size_t k0 = k2;
        while (k0 > top && (*level)[k0 - 1] <= noiseDb + 25.0)
            --k0;
        Line late;
        if (!FitBlocks(*level, k0, k2, static_cast<double>(len), noiseDb + 5.0, &late)) break;
        line = late;
        const double next = (noiseDb - line.a) / line.b;  // step 9
        const bool settled = std::abs(next - crossing) < static_cast<double>(len);
        crossing = next;
        if (settled) break;
    }
    out.found = true;
    out.line = line;
    out.noise = noise;
    out.truncation = std::clamp(crossing, 1.0, static_cast<double>(m));
    out.inr = peakBlock - noiseDb;
    return out;
}

struct Fit {
    double slope = 0, r = 0;  // dB per second
    double atOnset = 0;       // dB, the line at sample 0
    bool ok = false;
};

Fit FitCurve(const double* level, std::size_t i0, std::size_t i1, double fs) {
    Fit f;
    const double m = static_cast<double>(i1 - i0 + 1);
    if (i1 <= i0) return f;
    const double mx = 0.5 * static_cast<double>(i0 + i1);
    double my = 0;
    for (std::size_t i = i0; i <= i1; ++i)
        my += level[i];
    my /= m;
    double sxx = 0, sxy = 0, syy = 0;
    for (std::size_t i = i0; i <= i1; ++i) {
        const double dx = static_cast<double>(i) - mx, dy = level[i] - my;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    if (sxx <= 0 || syy <= 0) return f;
    f.slope = sxy / sxx * fs;
    f.atOnset = my - sxy / sxx * mx;
    f.r = sxy / std::sqrt(sxx * syy);
    f.ok = f.slope < 0;
    return f;
}

DecayTime NoDecayTime(double from, double to, Missing why) {
    return {kNaN, kNaN, kNaN, kNaN, from, to, why, why == Missing::Range ? kFlagRange : 0u};
}

// A decay time from the backward-integrated levels over [from, to] dB. Needs the noise 10 dB
// under the end of the range (ISO 3382-1: 35 dB for T20, 45 dB for T30, so 20 dB for
// EDT), and the range reached before the truncation.
DecayTime DecayFrom(const double* level, std::size_t count, double fs, double from, double to,
                    double inr) {
    if (inr < -to + 10.0) return NoDecayTime(from, to, Missing::Range);
    std::size_t i0 = 0;
    while (i0 < count && level[i0] > from)
        ++i0;
    std::size_t i1 = i0;
    while (i1 < count && level[i1] > to)
        ++i1;
    if (i1 >= count) return NoDecayTime(from, to, Missing::Range);
    const Fit fit = FitCurve(level, i0, i1, fs);
    if (!fit.ok) return NoDecayTime(from, to, Missing::NoDecay);
    DecayTime d{-60.0 / fit.slope, fit.r, 1000.0 * (1.0 - fit.r * fit.r), fit.atOnset, from, to,
                Missing::None,     0u};
    if (std::abs(fit.r) < 0.98) d.flags |= kFlagR;  // the usual acceptance of a decay line
    if (d.xi > 10.0) d.flags |= kFlagXi;            // ISO 3382-2 Annex B: above 10 per mille
    return d;
}

void SetEnergyMissing(ChannelResult* c, Missing why) {
    c->c50 = c->c80 = c->d50 = c->ts = kNaN;
    c->energyMissing = why;
}

ChannelResult EmptyChannel(Missing why) {
    ChannelResult c{};
    c.onset = c.truncation = c.noiseDb = c.inr = c.curvature = kNaN;
    c.edt = NoDecayTime(0, -10, why);
    c.t20 = NoDecayTime(-5, -25, why);
    c.t30 = NoDecayTime(-5, -35, why);
    SetEnergyMissing(&c, why);
    c.flags = why == Missing::NoDecay ? kFlagNoise : 0u;
    return c;
}

// Work buffers of one channel analysis, owned by the Analyzer and kept across bands and calls.
struct ChannelWork {
    std::vector<double>& energy;
    std::vector<double>& level;
    std::vector<double>& blocks;
};

std::size_t Onset(const double* e, std::size_t n, double* peak) {
    *peak = *std::max_element(e, e + n);
    // ISO 3382-1: the onset is the first sample that rises to 20 dB below the maximum.
    const double threshold = *peak * 0.01;
    std::size_t i = 0;
    while (e[i] < threshold)
        ++i;
    return i;
}

ChannelResult AnalyzeChannel(const double* h, std::size_t n, double fs, ChannelWork* w,
                             std::size_t* onsetOut) {
    w->energy.resize(n);
    double* e = w->energy.data();
    for (std::size_t i = 0; i < n; ++i)
        e[i] = h[i] * h[i];
    double peak = 0;
    if (*std::max_element(e, e + n) <= 0) return EmptyChannel(Missing::NoSignal);
    const std::size_t onset = Onset(e, n, &peak);
    *onsetOut = onset;
    const std::size_t m = n - onset;
    const double* eo = e + onset;
    const Lundeby decay = FindDecayAndNoise(eo, m, fs, peak, &w->blocks);
    if (!decay.found) {
        ChannelResult c = EmptyChannel(Missing::NoDecay);
        c.onset = static_cast<double>(onset) / fs;
        return c;
    }
    ChannelResult c{};
    c.onset = static_cast<double>(onset) / fs;
    c.truncation = decay.truncation / fs;
    c.noiseDb = PowerDb(decay.noise) - PowerDb(peak);
    c.inr = decay.inr;

    // Truncate where the decay meets the noise and add the energy the late decay line holds
    // beyond: integral of p(tc) exp(beta (t - tc)) over t > tc, beta < 0 per sample.
    const std::size_t tc = static_cast<std::size_t>(decay.truncation);
    const double beta = decay.line.b * std::numbers::ln10 / 10.0;
    const double pc =
        std::pow(10.0, (decay.line.a + decay.line.b * static_cast<double>(tc)) / 10.0);
    const double tail = pc / -beta;
    const double tailMoment = pc * (static_cast<double>(tc) / -beta + 1.0 / (beta * beta));

    // Backward integration (Schroeder) of the truncated response plus the tail, in dB re its
    // value at the onset.
    w->level.resize(tc);
    double* level = w->level.data();
    double sum = tail, moment = tailMoment;
    for (std::size_t i = tc; i-- > 0;) {
        sum += eo[i];
        moment += static_cast<double>(i) * eo[i];
        level[i] = sum;
    }
    const double total = sum;
    // Energy left after sample i (beyond the truncation: the tail's exponential).
    auto remaining = [&](std::size_t i) {
        if (i < tc) return level[i];
        return tail * std::exp(beta * static_cast<double>(i - tc));
    };
    const std::size_t n50 = static_cast<std::size_t>(std::lround(0.050 * fs));
    const std::size_t n80 = static_cast<std::size_t>(std::lround(0.080 * fs));
    const double late50 = remaining(n50), late80 = remaining(n80);
    c.c50 = 10.0 * std::log10((total - late50) / late50);
    c.c80 = 10.0 * std::log10((total - late80) / late80);
    c.d50 = (total - late50) / total;
    c.ts = moment / total / fs;
    c.energyMissing = Missing::None;
    if (tc < n80) c.flags |= kFlagNoise;

    // The curve falls monotonically: levels are needed only down to the first at -35 dB, the
    // deepest any fit reads (a third of the logarithms of a 60 dB decay are saved).
    const double inv = 1.0 / total;
    std::size_t count = 0;
    while (count < tc) {
        level[count] = 10.0 * std::log10(level[count] * inv);
        if (level[count++] <= -35.0) break;
    }
    c.edt = DecayFrom(level, count, fs, 0.0, -10.0, c.inr);
    c.t20 = DecayFrom(level, count, fs, -5.0, -25.0, c.inr);
    c.t30 = DecayFrom(level, count, fs, -5.0, -35.0, c.inr);
    c.curvature = kNaN;
    if (c.t20.missing == Missing::None && c.t30.missing == Missing::None) {
        c.curvature = 100.0 * (c.t30.seconds / c.t20.seconds - 1.0);
        // ISO 3382-2 Annex B: above 10 % the decay is curved (two slopes, say); a negative
        // curvature is no physical decay either.
        if (c.curvature < 0.0 || c.curvature > 10.0) c.flags |= kFlagCurvature;
    }
    c.flags |= c.edt.flags | c.t20.flags | c.t30.flags;
    return c;
}

// ---- IACC ---------------------------------------------------------------------------------

// Sums l[t] * r[t + j - lags] over t in [t1, t2) for j = 0 .. 2 lags, with r zero outside
// [0, n): padded holds r with `lags` zeros in front and at least kCrossLags behind the last lag.
// Each lag is one lane, so sixty-four lags at a time keep their sums in four vectors while t
// runs, and the work is about (2 lags + 1) (t2 - t1). Products and sums over 1024 samples are
// float; each such block goes into a double, which keeps the error near float rounding, ~1e-7
// of the sum. The lane width changes nothing in any lag's sum.
constexpr int kCrossLags = 64;
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void CrossSums(
    const float* l, const float* padded, std::size_t t1, std::size_t t2, int lags, double* out) {
    typedef float Sixteen __attribute__((vector_size(64)));
    const int count = 2 * lags + 1;
    for (int j0 = 0; j0 < count; j0 += kCrossLags) {
        double total[kCrossLags] = {};
        for (std::size_t b = t1; b < t2; b += 1024) {
            const std::size_t e = std::min(t2, b + 1024);
            Sixteen a0 = {}, a1 = {}, a2 = {}, a3 = {};
            for (std::size_t t = b; t < e; ++t) {
                const float lt = l[t];
                const float* rp = padded + t + j0;
                Sixteen v0, v1, v2, v3;
                std::memcpy(&v0, rp, sizeof v0);
                std::memcpy(&v1, rp + 16, sizeof v1);
                std::memcpy(&v2, rp + 32, sizeof v2);
                std::memcpy(&v3, rp + 48, sizeof v3);
                a0 += lt * v0;
                a1 += lt * v1;
                a2 += lt * v2;
                a3 += lt * v3;
            }
            for (int q = 0; q < 16; ++q) {
                total[q] += a0[q];
                total[16 + q] += a1[q];
                total[32 + q] += a2[q];
                total[48 + q] += a3[q];
            }
        }
        for (int q = 0; q < kCrossLags && j0 + q < count; ++q)
            out[j0 + q] = total[q];
    }
}

// The energy of x over [t1, t2), summed exactly as CrossSums sums one lag, so that identical
// ears give a correlation of exactly 1.
double SumSquares(const float* x, std::size_t t1, std::size_t t2) {
    double total = 0;
    for (std::size_t b = t1; b < t2; b += 1024) {
        const std::size_t e = std::min(t2, b + 1024);
        float acc = 0;
        for (std::size_t t = b; t < e; ++t)
            acc += x[t] * x[t];
        total += acc;
    }
    return total;
}

Iacc MaxAbs(const std::vector<double>& sums, double pl, double pr, int lags, double fs) {
    if (pl <= 0 || pr <= 0) return {kNaN, kNaN};
    std::size_t best = 0;
    for (std::size_t j = 1; j < sums.size(); ++j)
        if (std::abs(sums[j]) > std::abs(sums[best])) best = j;
    return {std::abs(sums[best]) / std::sqrt(pl * pr),
            1000.0 * (static_cast<double>(best) - lags) / fs};
}

// ISO 3382-1 Annex B: IACF over [t1, t2) from the direct sound, |tau| <= 1 ms; the late
// window runs to the end of the response, and the whole is the two windows together.
void ComputeIacc(const double* l, const double* r, std::size_t n, double fs, std::size_t onset,
                 std::vector<float>* left, std::vector<float>* padded, BandResult* band) {
    const int lags = static_cast<int>(std::lround(0.001 * fs));
    const std::size_t lagCount = static_cast<std::size_t>(2 * lags + 1);
    left->assign(l, l + n);
    // Room behind for the last round of kCrossLags lags.
    padded->assign(n + static_cast<std::size_t>(2 * lags + 1 + 2 * kCrossLags), 0.0f);
    std::copy(r, r + n, padded->begin() + lags);
    const std::size_t split =
        std::min(n, onset + static_cast<std::size_t>(std::lround(0.080 * fs)));
    std::vector<double> early(lagCount), late(lagCount), all(lagCount);
    CrossSums(left->data(), padded->data(), onset, split, lags, early.data());
    CrossSums(left->data(), padded->data(), split, n, lags, late.data());
    for (std::size_t j = 0; j < lagCount; ++j)
        all[j] = early[j] + late[j];
    const float* lf = left->data();
    const float* rf = padded->data() + lags;
    const double le = SumSquares(lf, onset, split), ll = SumSquares(lf, split, n);
    const double re = SumSquares(rf, onset, split), rl = SumSquares(rf, split, n);
    band->early = MaxAbs(early, le, re, lags, fs);
    band->late = MaxAbs(late, ll, rl, lags, fs);
    band->all = MaxAbs(all, le + ll, re + rl, lags, fs);
    band->iaccMissing = Missing::None;
}

// Runs the biquads over x into y from rest, forwards or backwards; x1/y1, when given, a second
// channel in the same pass. One section's recursion is a chain of dependent operations; two
// channels side by side give the processor two chains to overlap.
void RunSections(const BandFilter& f, const float* x0, double* y0, const float* x1, double* y1,
                 std::size_t n) {
    // Transposed direct form II with b1 = 0 (every section's numerator is g (1 - z^-2)).
    const std::size_t count = f.sections.size();
    double s1[2][16] = {}, s2[2][16] = {};
    auto one = [&](double v, double* p1, double* p2) {
        for (std::size_t k = 0; k < count; ++k) {
            const Biquad& q = f.sections[k];
            const double out = q.b0 * v + p1[k];
            p1[k] = p2[k] - q.a1 * out;
            p2[k] = q.b2 * v - q.a2 * out;
            v = out;
        }
        return v;
    };
    auto step = [&](std::size_t i) {
        if (x1) {
            double v0 = x0[i], v1 = x1[i];
            for (std::size_t k = 0; k < count; ++k) {
                const Biquad& q = f.sections[k];
                const double out0 = q.b0 * v0 + s1[0][k];
                const double out1 = q.b0 * v1 + s1[1][k];
                s1[0][k] = s2[0][k] - q.a1 * out0;
                s1[1][k] = s2[1][k] - q.a1 * out1;
                s2[0][k] = q.b2 * v0 - q.a2 * out0;
                s2[1][k] = q.b2 * v1 - q.a2 * out1;
                v0 = out0;
                v1 = out1;
            }
            y0[i] = v0;
            y1[i] = v1;
        } else {
            y0[i] = one(x0[i], s1[0], s2[0]);
        }
    };
    if (f.timeReversed) {
        for (std::size_t i = n; i-- > 0;)
            step(i);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            step(i);
    }
}

double Mean(const double* v, int count) {
    double s = 0;
    for (int i = 0; i < count; ++i)
        s += v[i];
    return s / count;  // NaN when any is NaN: a single number needs every band
}

}  // namespace

std::vector<BandFilter> DesignBandFilters(BandSystem system, double fs, double lowest,
                                          double highest, double reversedBelow) {
    std::vector<BandFilter> filters;
    if (!(fs > 0)) return filters;
    const int b = system == BandSystem::ThirdOctave ? 3 : 1;
    for (int i = 0; i < 32; i += (b == 3 ? 1 : 3)) {
        const double nominal = kNominalThirds[i];
        if (nominal < lowest || nominal > highest) continue;
        const double exact = 1000.0 * std::pow(kG, (i - 18) / 3.0);
        if (exact * std::pow(kG, 0.5 / b) >= 0.5 * fs) break;
        filters.push_back(DesignOne(nominal, exact, b, fs, reversedBelow));
    }
    return filters;
}

std::complex<double> FilterResponse(const BandFilter& filter, double f, double fs) {
    const std::complex<double> z1 = std::polar(1.0, -2.0 * std::numbers::pi * f / fs);
    const std::complex<double> z2 = z1 * z1;
    std::complex<double> h = 1.0;
    for (const Biquad& s : filter.sections)
        h *= (s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2);
    return h;
}

void ApplyBandFilter(const BandFilter& filter, const float* x, double* y, std::size_t n) {
    RunSections(filter, x, y, nullptr, nullptr, n);
}

const char* MissingText(Missing why) {
    switch (why) {
        case Missing::None:
            return "";
        case Missing::NoSignal:
            return "no signal in the channel";
        case Missing::NoDecay:
            return "no decay 10 dB above the noise";
        case Missing::Range:
            return "impulse-to-noise ratio below the range the value needs";
        case Missing::OneChannel:
            return "one channel only";
    }
    return "";
}

std::vector<std::string> FlagWords(std::uint32_t flags) {
    static const char* const kWords[] = {"range", "r", "xi", "curvature", "noise"};
    std::vector<std::string> words;
    for (int i = 0; i < 5; ++i)
        if (flags & (1u << i)) words.push_back(kWords[i]);
    return words;
}

double ToStoreValue(double value) {
    return std::isnan(value) ? kNoValue : value;
}

namespace {

// The buffers of one band's analysis, one set per thread.
struct ThreadBuffers {
    std::vector<double> band[2], energy, level, blocks;
    std::vector<float> left, padded;
};

struct BandWork {
    std::vector<double>* band;  // two channels
    ChannelWork channel;
    std::vector<float>& left;
    std::vector<float>& padded;
};

// One band (filter == nullptr: broadband) of one or two channels.
BandResult AnalyzeBand(const BandFilter* filter, const float* const in[2], int channels,
                       std::size_t n, double fs, BandWork& w) {
    BandResult r{};
    r.nominalCentre = filter ? filter->nominalCentre : 0.0;
    r.timeReversed = filter && filter->timeReversed;
    for (int c = 0; c < channels; ++c)
        w.band[c].resize(n);
    if (filter) {
        RunSections(*filter, in[0], w.band[0].data(), channels > 1 ? in[1] : nullptr,
                    channels > 1 ? w.band[1].data() : nullptr, n);
    } else {
        for (int c = 0; c < channels; ++c)
            std::copy(in[c], in[c] + n, w.band[c].begin());
    }
    std::size_t onset[2] = {0, 0};
    for (int c = 0; c < channels; ++c)
        r.channel[c] = AnalyzeChannel(w.band[c].data(), n, fs, &w.channel, &onset[c]);
    r.early = r.late = r.all = {kNaN, kNaN};
    if (channels < 2) {
        r.iaccMissing = Missing::OneChannel;
    } else if (r.channel[0].energyMissing == Missing::NoSignal ||
               r.channel[1].energyMissing == Missing::NoSignal) {
        r.iaccMissing = Missing::NoSignal;
    } else {
        ComputeIacc(w.band[0].data(), w.band[1].data(), n, fs, std::min(onset[0], onset[1]),
                    &w.left, &w.padded, &r);
    }
    return r;
}

}  // namespace

int Analyzer::Calculate(const float* left, const float* right, std::size_t n, double fs,
                        const Options& options, Results* results, const ParallelFor& parallel) {
    if (!left || n == 0 || !(fs > 0) || !(options.lowest <= options.highest)) return kBadInput;
    if (fs != m_fs || options.system != m_options.system || options.lowest != m_options.lowest ||
        options.highest != m_options.highest || options.reversedBelow != m_options.reversedBelow ||
        m_singleFilters.empty()) {
        m_filters = DesignBandFilters(options.system, fs, options.lowest, options.highest,
                                      options.reversedBelow);
        m_singleFilters =
            DesignBandFilters(BandSystem::Octave, fs, 500, 2000, options.reversedBelow);
        m_fs = fs;
        m_options = options;
    }
    const int channels = right ? 2 : 1;
    const float* const in[2] = {left, right};
    // Trailing digital silence is padding (a response zero-padded to a power of two), not
    // noise: left in, it would stand for the noise floor of Lundeby's method.
    std::size_t used = 0;
    for (int c = 0; c < channels; ++c)
        for (std::size_t i = n; i > used; --i)
            if (in[c][i - 1] != 0.0f) {
                used = i;
                break;
            }
    if (used > 0) n = used;
    // Broadband, every band, and the 500, 1000 and 2000 Hz octaves of Table A.1's single
    // numbers where the bands are not those octaves already.
    std::vector<const BandFilter*> jobs{nullptr};
    for (const BandFilter& f : m_filters)
        jobs.push_back(&f);
    int octaveJob[3] = {-1, -1, -1};
    int found = 0;
    for (const BandFilter& f : m_singleFilters) {
        int same = -1;
        if (options.system == BandSystem::Octave)
            for (std::size_t b = 1; b < jobs.size(); ++b)
                if (jobs[b]->nominalCentre == f.nominalCentre) same = static_cast<int>(b);
        if (same < 0) {
            same = static_cast<int>(jobs.size());
            jobs.push_back(&f);
        }
        if (found < 3) octaveJob[found++] = same;
    }
    std::vector<BandResult> done(jobs.size());
    const auto body = [&](std::size_t j) {
        thread_local ThreadBuffers b;
        BandWork work{b.band, {b.energy, b.level, b.blocks}, b.left, b.padded};
        done[j] = AnalyzeBand(jobs[j], in, channels, n, fs, work);
        // A thread keeps the buffers of ordinary responses, not those of very long ones.
        if (n > (std::size_t{1} << 20)) b = ThreadBuffers{};
    };
    if (parallel) {
        parallel(jobs.size(), body);
    } else {
        for (std::size_t j = 0; j < jobs.size(); ++j)
            body(j);
    }
    results->channels = channels;
    results->bands.assign(done.begin(),
                          done.begin() + 1 + static_cast<std::ptrdiff_t>(m_filters.size()));
    BandResult octave[3];
    for (int k = 0; k < found; ++k)
        octave[k] = done[static_cast<std::size_t>(octaveJob[k])];
    SingleNumbers& s = results->single;
    for (int c = 0; c < 2; ++c) {
        double edt[2], t20[2], t30[2], c50[2], c80[2], d50[2], ts[2];
        for (int k = 0; k < 2; ++k) {
            const ChannelResult& v = octave[k].channel[c];
            const bool there = k < found && c < channels;
            edt[k] = there ? v.edt.seconds : kNaN;
            t20[k] = there ? v.t20.seconds : kNaN;
            t30[k] = there ? v.t30.seconds : kNaN;
            c50[k] = there ? v.c50 : kNaN;
            c80[k] = there ? v.c80 : kNaN;
            d50[k] = there ? v.d50 : kNaN;
            ts[k] = there ? v.ts : kNaN;
        }
        s.edt[c] = Mean(edt, 2);
        s.t20[c] = Mean(t20, 2);
        s.t30[c] = Mean(t30, 2);
        s.c50[c] = Mean(c50, 2);
        s.c80[c] = Mean(c80, 2);
        s.d50[c] = Mean(d50, 2);
        s.ts[c] = Mean(ts, 2);
    }
    double early[3], late[3];
    for (int k = 0; k < 3; ++k) {
        early[k] = k < found ? octave[k].early.value : kNaN;
        late[k] = k < found ? octave[k].late.value : kNaN;
    }
    s.iaccE3 = Mean(early, 3);
    s.iaccL3 = Mean(late, 3);
    return kDone;
}

}  // namespace vesk::iso
