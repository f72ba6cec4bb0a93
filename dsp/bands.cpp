#include "dsp/bands.h"

#include <cmath>
#include <cstdio>

#include "dsp/fft.h"
#include "dsp/scratch.h"

namespace vesk {

namespace {

BandTable MakeOctave() {
    BandTable t{};
    t.count = 12;
    t.halfBandFactor = std::sqrt(2.0);
    const double nominal[] = {16, 31.5, 63, 125, 250, 500, 1000, 2000, 4000, 8000, 16000};
    for (int k = 1; k < 12; ++k) {
        t.exactCentre[k] = 1000.0 * std::pow(2.0, k - 7);
        t.nominalCentre[k] = nominal[k - 1];
    }
    return t;
}

BandTable MakeThirdOctave() {
    BandTable t{};
    t.count = 33;
    t.halfBandFactor = std::pow(2.0, 1.0 / 6.0);
    const double nominal[] = {16,   20,   25,   31.5, 40,   50,   63,    80,    100,   125,  160,
                              200,  250,  315,  400,  500,  630,  800,   1000,  1250,  1600, 2000,
                              2500, 3150, 4000, 5000, 6300, 8000, 10000, 12500, 16000, 20000};
    for (int k = 1; k < 33; ++k) {
        t.exactCentre[k] = std::pow(10.0, (k + 11) / 10.0);
        t.nominalCentre[k] = nominal[k - 1];
    }
    return t;
}

// IEC values to one decimal at 10 Hz .. 20 kHz.
const double kA[34] = {-70.4, -63.4, -56.7, -50.5, -44.7, -39.4, -34.6, -30.2, -26.2,
                       -22.5, -19.1, -16.1, -13.4, -10.9, -8.6,  -6.6,  -4.8,  -3.2,
                       -1.9,  -0.8,  0.0,   0.6,   1.0,   1.2,   1.3,   1.2,   1.0,
                       0.5,   -0.1,  -1.1,  -2.5,  -4.3,  -6.6,  -9.3};
const double kB[34] = {-38.2, -33.2, -28.5, -24.2, -20.4, -17.1, -14.2, -11.6, -9.3,
                       -7.4,  -5.6,  -4.2,  -3.0,  -2.0,  -1.3,  -0.8,  -0.5,  -0.3,
                       -0.1,  0.0,   0.0,   0.0,   0.0,   -0.1,  -0.2,  -0.4,  -0.7,
                       -1.2,  -1.9,  -2.9,  -4.3,  -6.1,  -8.4,  -11.1};
const double kC[34] = {-14.3, -11.2, -8.5, -6.2, -4.4, -3.0, -2.0, -1.3, -0.8, -0.5, -0.3, -0.2,
                       -0.1,  0.0,   0.0,  0.0,  0.0,  0.0,  0.0,  0.0,  0.0,  0.0,  -0.1, -0.2,
                       -0.3,  -0.5,  -0.8, -1.3, -2.0, -3.0, -4.4, -6.2, -8.5, -11.2};

std::vector<WeightingPoint> MakeWeighting(const double* levels) {
    std::vector<WeightingPoint> points(34);
    for (int k = 10; k <= 43; ++k)
        points[static_cast<std::size_t>(k - 10)] = {std::pow(10.0, k / 10.0), levels[k - 10]};
    return points;
}

void Flat(float* h, std::int32_t n) {
    if (n <= 0) return;
    h[0] = 0.0f;
    for (std::int32_t i = 1; i < n; ++i)
        h[i] = 1.0f;
}

}  // namespace

const BandTable& GetBandTable(int bandSystem) {
    static const BandTable octave = MakeOctave();
    static const BandTable third = MakeThirdOctave();
    return bandSystem == 1 ? third : octave;
}

std::string BandLabel(int bandIndex, int bandSystem, bool kiloHertz) {
    if (bandIndex == 0) return "All(F)";
    if (bandIndex == -1) return "All(A)";
    const BandTable& t = GetBandTable(bandSystem);
    if (bandIndex < 1 || bandIndex >= t.count) return "";
    char text[32];
    double f = t.nominalCentre[bandIndex];
    if (kiloHertz && f >= 1000)
        std::snprintf(text, sizeof text, "%gk", f * 0.001);
    else
        std::snprintf(text, sizeof text, "%g", f);
    return text;
}

const std::vector<WeightingPoint>& WeightingTable(int type) {
    static const std::vector<WeightingPoint> a = MakeWeighting(kA), b = MakeWeighting(kB),
                                             c = MakeWeighting(kC);
    return type == 2 ? b : type == 3 ? c : a;
}

WeightingSpline WeightingSpline::Build(const WeightingPoint* points, int count) {
    WeightingSpline s;
    const std::size_t m = static_cast<std::size_t>(count);
    s.x.resize(m);
    s.y.resize(m);
    s.m.assign(m, 0.0);
    for (std::size_t i = 0; i < m; ++i) {
        s.x[i] = std::log(points[i].frequency);
        s.y[i] = points[i].level;
    }
    if (m < 3) return s;
    std::vector<double> h(m), sl(m), d(m);
    for (std::size_t i = 1; i < m; ++i) {
        h[i - 1] = s.x[i] - s.x[i - 1];
        sl[i] = (s.y[i] - s.y[i - 1]) / h[i - 1];
    }
    std::vector<double>& M = s.m;
    M[1] = sl[2] - sl[1];
    d[1] = 2 * (s.x[2] - s.x[0]);
    for (std::size_t i = 2; i + 2 <= m; ++i) {
        double t = h[i - 1] / d[i - 1];
        M[i] = (sl[i + 1] - sl[i]) - t * M[i - 1];
        d[i] = 2 * (s.x[i + 1] - s.x[i - 1]) - t * h[i - 1];
    }
    M[m - 2] = M[m - 2] - M[m - 1] * h[m - 2];
    for (std::size_t i = m - 2; i >= 1; --i)
        M[i] = (M[i] - h[i] * M[i + 1]) / d[i];
    return s;
}

double WeightingSpline::operator()(double at) const {
    const std::size_t n = x.size();
    if (n == 0) return 0.0;
    if (n == 1) return y[0];
    std::size_t lo = 0, hi = n - 1;
    while (lo < hi) {
        std::size_t mid = (lo + hi) / 2;
        if (x[mid] >= at)
            hi = mid;
        else
            lo = mid + 1;
    }
    std::size_t i = lo > 0 ? lo - 1 : 0;
    if (i > n - 2) i = n - 2;
    const double h = x[i + 1] - x[i], e = at - x[i];
    return y[i] + e * ((y[i + 1] - y[i]) / h - (2 * m[i] + m[i + 1]) * h +
                       std::fabs(e) * (3 * m[i] + (m[i + 1] - m[i]) * e / h));
}

int BandPassResponse(float* h, std::int32_t n, double fs, double lower, double upper) {
    if (n <= 0) return 0;
    const double df = fs / n;
    const double kl = std::trunc(lower / df), ku = std::trunc(upper / df);
    int any = 0;
    h[0] = 0.0f;
    for (std::int32_t k = 1; k <= n / 2; ++k) {
        float v = (kl <= k && k < ku) ? 1.0f : 0.0f;
        h[k] = h[n - k] = v;
        if (v != 0.0f) any = 1;
    }
    return any;
}

void TableResponse(float* h, std::int32_t n, double fs, const WeightingPoint* points, int count,
                   double divisor) {
    if (n <= 0) return;
    if (count < 3) {
        Flat(h, n);
        return;
    }
    WeightingSpline spline = WeightingSpline::Build(points, count);
    h[0] = 0.0f;
    for (std::int32_t i = 1; i <= n / 2; ++i) {
        double f = (static_cast<double>(i) / n) * fs;
        double v = spline(std::log(f));
        h[i] = h[n - i] = static_cast<float>(std::pow(10.0, v / divisor));
    }
}

int WeightingResponse(float* h, std::int32_t n, double fs, int type, double divisor) {
    if (type == 0) {
        Flat(h, n);
        return 1;
    }
    if (type < 0 || type > 3) return 0;
    const auto& table = WeightingTable(type);
    TableResponse(h, n, fs, table.data(), static_cast<int>(table.size()), divisor);
    return 1;
}

double BandWidth(int bandIndex, int bandSystem) {
    const BandTable& t = GetBandTable(bandSystem);
    if (bandIndex < 1 || bandIndex >= t.count) return 0.0;
    const double fc = t.exactCentre[bandIndex], g = t.halfBandFactor;
    return fc * g - fc / g;
}

namespace {

// The response of band index -1 (A-weighting) or 1 .. count - 1 into h; false when the index is
// outside the table or the band has no FFT bin.
bool BandResponse(float* h, std::int32_t n, double fs, int bandIndex, int bandSystem) {
    if (bandIndex == -1) return WeightingResponse(h, n, fs, 1, 20.0) != 0;
    const BandTable& t = GetBandTable(bandSystem);
    if (bandIndex < 1 || bandIndex >= t.count) return false;
    const double fc = t.exactCentre[bandIndex], g = t.halfBandFactor;
    return BandPassResponse(h, n, fs, fc / g, fc * g) != 0;
}

thread_local std::vector<float> t_response;

}  // namespace

int ApplyBandFilter(float* x, float* y, std::int32_t n, double fs, int bandIndex, int bandSystem) {
    if (bandIndex == 0) return 1;
    if (n <= 0 || (n & (n - 1)) != 0 || !(fs > 0)) return 0;
    Scratch<float> h(t_response, static_cast<std::size_t>(n));
    if (!BandResponse(h.data(), n, fs, bandIndex, bandSystem)) return 0;
    return FilterInFrequencyDomain(x, y, n, h.data()) == 0 ? 1 : 0;
}

int ApplyBandFilterFromSpectrum(const float* re, const float* im, float* x, float* y,
                                std::int32_t n, double fs, int bandIndex, int bandSystem) {
    if (bandIndex == 0 || n <= 0 || (n & (n - 1)) != 0 || !(fs > 0)) return 0;
    Scratch<float> h(t_response, static_cast<std::size_t>(n));
    if (!BandResponse(h.data(), n, fs, bandIndex, bandSystem)) return 0;
    return FilterFromSpectrum(re, im, n, h.data(), x, y) == 0 ? 1 : 0;
}

}  // namespace vesk
