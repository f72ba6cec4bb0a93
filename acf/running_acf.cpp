#include "acf/running_acf.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/thread_pool.h"
#include "dsp/bands.h"
#include "dsp/fft.h"
#include "dsp/linefit.h"

namespace vesk {

namespace {

constexpr int kMaxPeaks = 10;

// After the forward transform: times H[k]/L (product in double), the zero-frequency bin removed.
void Weight(float* re, float* im, std::int32_t n, const float* h, std::int32_t L) {
    const double l = L;
    for (std::int32_t k = 0; k < n; ++k) {
        re[k] = static_cast<float>(static_cast<double>(re[k]) * h[k] / l);
        im[k] = static_cast<float>(static_cast<double>(im[k]) * h[k] / l);
    }
    re[0] = im[0] = 0.0f;
}

// The spectra of the real signals held in re (a + jb) and im (c + jd) are separated in float,
// and the product of the two is formed in double and stored as float: re + j im becomes the
// cross spectrum of re's signal against im's.
void CrossSpectrum(float* re, float* im, std::int32_t n) {
    for (std::int32_t k = 1; k <= n / 2; ++k) {
        const std::int32_t j = n - k;
        const float a = (re[k] + re[j]) / 2, b = (im[k] - im[j]) / 2;
        const float c = (im[k] + im[j]) / 2, d = (re[j] - re[k]) / 2;
        const float p = static_cast<float>(static_cast<double>(a) * c + static_cast<double>(b) * d);
        const float q = static_cast<float>(static_cast<double>(b) * c - static_cast<double>(a) * d);
        re[k] = re[j] = p;
        im[k] = q;
        im[j] = -q;
    }
}

// The same separation; re becomes the power spectrum of re's signal, im that of im's.
void PowerSpectra(float* re, float* im, std::int32_t n) {
    for (std::int32_t k = 1; k <= n / 2; ++k) {
        const std::int32_t j = n - k;
        const float a = (re[k] + re[j]) / 2, b = (im[k] - im[j]) / 2;
        const float c = (im[k] + im[j]) / 2, d = (re[j] - re[k]) / 2;
        re[k] = re[j] = static_cast<float>(static_cast<double>(a) * a + static_cast<double>(b) * b);
        im[k] = im[j] = static_cast<float>(static_cast<double>(c) * c + static_cast<double>(d) * d);
    }
}

// After the inverse transform: times 2L/N, for the first `count` values.
void Rescale(float* x, std::int32_t count, std::int32_t L, std::int32_t n) {
    const double g = 2.0 * L;
    for (std::int32_t t = 0; t < count; ++t)
        x[t] = static_cast<float>(static_cast<double>(x[t]) * g / n);
}

// One thread's arrays, kept from frame to frame.
struct FrameWork {
    std::vector<float> re, im, re2, im2;
    std::vector<float> phi;  // the normalised ACF
    std::vector<float> window;
    void Size(std::int32_t n, bool binaural) {
        re.assign(static_cast<std::size_t>(n), 0.0f);
        im.assign(static_cast<std::size_t>(n), 0.0f);
        if (binaural) {
            re2.assign(static_cast<std::size_t>(n), 0.0f);
            im2.assign(static_cast<std::size_t>(n), 0.0f);
        }
    }
};

// The samples of one channel from `first`, converted to float without scaling, zero past
// `count` (and past `available`).
void LoadChannel(const SampleBlock& block, int channel, std::int64_t first, std::int32_t count,
                 std::int64_t available, float* out, std::int32_t n) {
    const std::int64_t end = std::min<std::int64_t>(first + count, available);
    std::int32_t t = 0;
    const std::size_t stride = block.channels;
    const std::int16_t* s = block.samples.data();
    for (std::int64_t i = first; i < end; ++i, ++t)
        out[t] = s[static_cast<std::size_t>(i) * stride + static_cast<std::size_t>(channel)];
    std::fill(out + t, out + n, 0.0f);
}

// Mono ACF of the frame already loaded as re (L + D samples) and im (L samples).
bool MonoAcf(FrameWork& w, std::int32_t L, std::int32_t n, const float* h, std::int32_t keep) {
    FftTables& tables = SharedFftTables(n);
    if (FftForward(tables, n, w.re.data(), w.im.data()) != 0) return false;
    Weight(w.re.data(), w.im.data(), n, h, L);
    CrossSpectrum(w.re.data(), w.im.data(), n);
    if (FftInverseEnds(tables, n, w.re.data(), w.im.data(), keep, 0) != 0) return false;
    Rescale(w.re.data(), keep, L, n);
    return true;
}

// Left and right ACFs (into re, im) and, when asked, the cross-correlation (into re2) of the
// frame loaded as re (left) and im (right). One forward transform serves both. Only the first
// `keep` lags of the ACFs and the lags -crossHalf .. crossHalf - 1 of the cross-correlation
// (the negative ones at the end of the array) are computed.
bool BinauralAcf(FrameWork& w, std::int32_t L, std::int32_t n, const float* h, std::int32_t keep,
                 bool cross, std::int32_t crossHalf = 0) {
    FftTables& tables = SharedFftTables(n);
    if (FftForward(tables, n, w.re.data(), w.im.data()) != 0) return false;
    Weight(w.re.data(), w.im.data(), n, h, L);
    if (cross) {
        std::copy(w.re.begin(), w.re.end(), w.re2.begin());
        std::copy(w.im.begin(), w.im.end(), w.im2.begin());
        CrossSpectrum(w.re2.data(), w.im2.data(), n);
        if (FftInverseEnds(tables, n, w.re2.data(), w.im2.data(), crossHalf, crossHalf) != 0)
            return false;
    }
    PowerSpectra(w.re.data(), w.im.data(), n);
    if (FftInverseEnds(tables, n, w.re.data(), w.im.data(), keep, 0) != 0) return false;
    Rescale(w.re.data(), keep, L, n);
    Rescale(w.im.data(), keep, L, n);
    return true;
}

float Energy(const float* left, const float* right) {
    return static_cast<float>(std::sqrt(static_cast<double>(left[0]) * right[0]));
}

// Runs frame(k, work) for every frame, as many at a time as the pool has threads, each with
// its own work arrays of n (binaural: with the cross arrays), polling the callback before each
// frame in frame order.
template <class Frame>
CalcResult RunFrames(std::int32_t frames, const AcfProgressCallback& callback,
                     RunningAcfResult* result, std::int32_t n, bool binaural, Frame frame) {
    result->factors.assign(static_cast<std::size_t>(frames), AcfFactorRecord{});
    result->peaks.assign(static_cast<std::size_t>(frames), AcfPeakRecord{});
    result->frames = 0;
    auto cancelled = [&](std::int32_t k) {
        return callback && callback(static_cast<int>(std::int64_t{100} * k / frames)) != 0;
    };
    ThreadPool& pool = SharedPool();
    const std::int32_t width = pool.Threads();
    std::vector<FrameWork> work(static_cast<std::size_t>(std::clamp(frames, 0, width)));
    for (FrameWork& w : work)
        w.Size(n, binaural);
    bool ok = true;
    for (std::int32_t k = 0; k < frames && ok; k += width) {
        std::int32_t end = std::min(frames, k + width);
        bool stop = false;
        for (std::int32_t q = k; q < end; ++q) {
            if (cancelled(q)) {
                end = q;
                stop = true;
                break;
            }
        }
        if (stop && end == k) {
            result->frames = k;
            result->factors.clear();
            return CalcResult::Cancelled;
        }
        std::vector<char> fine(static_cast<std::size_t>(end - k), 1);
        pool.ParallelFor(fine.size(), [&](std::size_t i, int slot) {
            fine[i] = frame(k + static_cast<std::int32_t>(i), work[static_cast<std::size_t>(slot)]);
        });
        ok = std::find(fine.begin(), fine.end(), 0) == fine.end();
        if (stop) {
            result->frames = end;
            result->factors.clear();
            return ok ? CalcResult::Cancelled : CalcResult::Unusable;
        }
    }
    if (!ok) {
        result->factors.clear();
        result->peaks.clear();
        return CalcResult::Unusable;
    }
    result->frames = frames;
    return CalcResult::Finished;
}

std::int64_t AvailableSamples(const SampleBlock& block, std::int32_t sampleNum) {
    return std::clamp<std::int64_t>(sampleNum, 0, static_cast<std::int64_t>(block.Frames()));
}

}  // namespace

std::vector<float> AcfWeightingResponse(std::uint32_t weighting, const MicCalibration* calibration,
                                        std::int32_t n, double fs) {
    std::vector<float> h(static_cast<std::size_t>(n), 0.0f);
    if (n <= 0) return h;
    WeightingResponse(h.data(), n, fs, static_cast<int>(weighting), 20.0);
    if (!calibration) return h;
    const int count =
        static_cast<int>(std::min<std::uint32_t>(calibration->count, MicCalibration::kMaxPoints));
    std::vector<WeightingPoint> points(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        points[static_cast<std::size_t>(i)] = {calibration->frequency[static_cast<std::size_t>(i)],
                                               calibration->level[static_cast<std::size_t>(i)]};
    std::vector<float> c(static_cast<std::size_t>(n), 0.0f);
    TableResponse(c.data(), n, fs, points.data(), count, 20.0);
    c[0] = 1.0f;
    const double g = std::pow(10.0, -0.05 * calibration->referenceLevel);
    for (std::size_t k = 0; k < h.size(); ++k)
        h[k] = static_cast<float>((g / c[k]) * h[k] * 3.0518509e-05f);
    return h;
}

std::vector<float> FrameAcfMono(const float* x, std::int32_t L, std::int32_t LD, std::int32_t n,
                                const float* response) {
    FrameWork w;
    w.Size(n, false);
    for (std::int32_t t = 0; t < n; ++t) {
        w.re[static_cast<std::size_t>(t)] = t < LD ? x[t] : 0.0f;
        w.im[static_cast<std::size_t>(t)] = t < L ? x[t] : 0.0f;
    }
    if (!MonoAcf(w, L, n, response, n)) return {};
    return std::move(w.re);
}

std::vector<float> FrameAcfBinaural(const float* left, const float* right, std::int32_t L,
                                    std::int32_t n, const float* response, float* energy) {
    FrameWork w;
    w.Size(n, false);
    std::copy(left, left + std::min(L, n), w.re.begin());
    std::copy(right, right + std::min(L, n), w.im.begin());
    if (!BinauralAcf(w, L, n, response, n, false)) return {};
    if (energy) *energy = Energy(w.re.data(), w.im.data());
    return std::move(w.re);
}

std::vector<float> FrameIacf(const float* left, const float* right, std::int32_t L, std::int32_t n,
                             const float* response) {
    FrameWork w;
    w.Size(n, true);
    std::copy(left, left + std::min(L, n), w.re.begin());
    std::copy(right, right + std::min(L, n), w.im.begin());
    if (!BinauralAcf(w, L, n, response, 1, true, n / 2)) return {};
    Rescale(w.re2.data(), n, L, n);
    return std::move(w.re2);
}

AcfEnvelope TauEEnvelope(const RunningAcfConditions& c, double fs, const float* p, std::int32_t D) {
    // The largest |phi| in dB of each window of W lags, kept while it falls. Lags at and beyond
    // D end the search.
    AcfEnvelope e;
    const std::int64_t W = std::max<std::int64_t>(
        1, static_cast<std::int64_t>(std::trunc(fs * c.peakDetectTime * 0.001)));
    const double endTime = std::trunc(fs * c.tauERegTime * 0.001);
    const std::int64_t E = endTime > D ? D : endTime < 0 ? 0 : static_cast<std::int64_t>(endTime);
    std::int64_t s = 0;
    if (!c.includeOrigin)
        while (s < D && !(p[s] < 0))
            ++s;
    double level[AcfEnvelope::kMaxPoints];
    int& n = e.count;
    for (; s < E; s += W) {
        double best = 10.0 * std::log10(std::fabs(p[s]));
        std::int64_t b = s;
        for (std::int64_t j = 1; j < W && s + j < D; ++j) {
            const double v = 10.0 * std::log10(std::fabs(p[s + j]));
            if (v > best) {
                best = v;
                b = s + j;
            }
        }
        if (n > 1 && best < c.tauERegLevel) break;
        if (n == AcfEnvelope::kMaxPoints) break;
        if (n == 0 || best < level[n - 1]) {
            e.time[static_cast<std::size_t>(n)] = static_cast<float>(static_cast<double>(b) / fs);
            level[n] = best;
            e.level[static_cast<std::size_t>(n)] = static_cast<float>(best);
            ++n;
        }
    }
    return e;
}

void ExtractAcfFactors(const RunningAcfConditions& c, AcfFactorRecord* record, AcfPeakRecord* peaks,
                       double fs, const float* acf, std::int32_t size, std::int32_t maxDelay) {
    const std::int32_t D = std::clamp(maxDelay, 0, size);
    *peaks = AcfPeakRecord{};
    if (D <= 0) return;
    const float phi0 = acf[0];
    record->phi0 = static_cast<float>(10.0 * std::log10(phi0));
    std::vector<float> phi(static_cast<std::size_t>(D));
    for (std::int32_t t = 0; t < D; ++t)
        phi[static_cast<std::size_t>(t)] = acf[t] / phi0;
    const float* p = phi.data();

    int found = 0;
    for (std::int32_t i = 2; i < D - 2 && found < kMaxPeaks; ++i) {
        if (!(p[i] > 0)) continue;
        const bool peak = c.tau1PeakRule == 0 ? p[i - 2] < p[i - 1] && p[i - 1] < p[i] &&
                                                    p[i] > p[i + 1] && p[i + 1] > p[i + 2]
                                              : p[i - 1] < p[i] && p[i] > p[i + 1];
        if (!peak) continue;
        peaks->tau[static_cast<std::size_t>(found)] = static_cast<float>(i / fs);
        peaks->phi[static_cast<std::size_t>(found)] = p[i];
        ++found;
    }
    record->tau1 = peaks->tau[0];
    record->phi1 = peaks->phi[0];

    const AcfEnvelope envelope = TauEEnvelope(c, fs, p, D);
    const int n = envelope.count;
    const float* time = envelope.time.data();
    const float* levelF = envelope.level.data();
    record->tauE = kNoValue;
    record->intercept = kNoValue;
    if (n < 2) return;
    const LineFit fit = FitLine(time, levelF, n);
    if (!fit.valid) return;
    const double tauE = (-10.0 - fit.intercept) / fit.slope;
    if (std::isnan(tauE)) return;
    record->intercept = fit.intercept;
    record->tauE = static_cast<float>(tauE);
}

void ExtractIacfFactors(double wiaccWidth, AcfFactorRecord* record, float fs, const float* w,
                        std::int32_t m, float energy) {
    record->binauralLevel = static_cast<float>(10.0 * std::log10(energy));
    if (!(energy > 0) || m <= 0 || !w) {
        record->iacc = record->tauIacc = record->wiacc = record->wiaccLeft = kNoValue;
        return;
    }
    std::int32_t i = -1;
    float best = -1.0f;
    for (std::int32_t k = 0; k < m; ++k) {
        if (w[k] > best) {
            best = w[k];
            i = k;
        }
    }
    if (i < 0) {  // nothing above -1.0 (the values are not normalised): the largest value
        i = 0;
        for (std::int32_t k = 1; k < m; ++k)
            if (w[k] > w[i]) i = k;
    }
    float iacc = w[i] / energy;
    if (iacc > 1.0f) iacc = 1.0f;
    record->iacc = iacc;
    record->tauIacc = static_cast<float>(i - m / 2) / fs;
    const double T = w[i] * (1.0 - wiaccWidth);
    // A side without a crossing runs to the window's end, without interpolation.
    double left = static_cast<double>(i) / fs;
    for (std::int32_t j = i; j >= 0; --j) {
        if (w[j] < T) {
            left = j == i ? 0.0 : ((i - j) - (T - w[j]) / (w[j + 1] - w[j])) / fs;
            break;
        }
    }
    double right = static_cast<double>(m - 1 - i) / fs;
    for (std::int32_t q = i; q < m; ++q) {
        if (w[q] < T) {
            right = q == i ? 0.0 : ((q - i) - (T - w[q]) / (w[q - 1] - w[q])) / fs;
            break;
        }
    }
    record->wiacc = static_cast<float>(left + right);
    record->wiaccLeft = static_cast<float>(left);
}

CalcResult CalcRunningAcfMono(const SampleBlock& block, std::int32_t sampleNum,
                              const RunningAcfConditions& c, double fs,
                              const AcfProgressCallback& callback, RunningAcfResult* result,
                              const MicCalibration* calibration) {
    *result = RunningAcfResult{};
    if (block.channels < 1 || !CheckRunningAcfConditions(c, fs, 1).empty())
        return CalcResult::Unusable;
    const std::int64_t available = AvailableSamples(block, sampleNum);
    const AcfFraming f = FrameRunningAcf(c, fs, available);
    const std::int32_t L = f.integration, D = f.maxDelay, n = f.transform;
    const std::vector<float> h = AcfWeightingResponse(c.weighting, calibration, n, fs);
    return RunFrames(f.frames, callback, result, n, false, [&](std::int32_t k, FrameWork& w) {
        const std::int64_t first = static_cast<std::int64_t>(k) * f.step;
        LoadChannel(block, 0, first, L + D, available, w.re.data(), n);
        std::copy(w.re.begin(), w.re.begin() + L, w.im.begin());
        std::fill(w.im.begin() + L, w.im.end(), 0.0f);
        if (!MonoAcf(w, L, n, h.data(), D)) return false;
        const std::size_t at = static_cast<std::size_t>(k);
        ExtractAcfFactors(c, &result->factors[at], &result->peaks[at], fs, w.re.data(), n, D);
        return true;
    });
}

CalcResult CalcRunningAcfBinaural(const SampleBlock& block, std::int32_t sampleNum,
                                  const RunningAcfConditions& c, double wiaccWidth,
                                  const MicCalibration* calibration, double fs,
                                  const AcfProgressCallback& callback, RunningAcfResult* result) {
    *result = RunningAcfResult{};
    if (block.channels != 2 || !CheckRunningAcfConditions(c, fs, 2).empty())
        return CalcResult::Unusable;
    const std::int64_t available = AvailableSamples(block, sampleNum);
    const AcfFraming f = FrameRunningAcf(c, fs, available);
    const std::int32_t L = f.integration, D = f.maxDelay, n = f.transform;
    const std::vector<float> h = AcfWeightingResponse(c.weighting, calibration, n, fs);
    const std::int32_t half = static_cast<std::int32_t>(std::floor(0.002 * fs)) / 2;
    const float fsFloat = static_cast<float>(fs);
    return RunFrames(f.frames, callback, result, n, true, [&](std::int32_t k, FrameWork& w) {
        const std::int64_t first = static_cast<std::int64_t>(k) * f.step;
        LoadChannel(block, 0, first, L, available, w.re.data(), n);
        LoadChannel(block, 1, first, L, available, w.im.data(), n);
        if (!BinauralAcf(w, L, n, h.data(), D, true, half)) return false;
        const std::size_t at = static_cast<std::size_t>(k);
        AcfFactorRecord& r = result->factors[at];
        const float energy = Energy(w.re.data(), w.im.data());
        ExtractAcfFactors(c, &r, &result->peaks[at], fs, w.re.data(), n, D);
        // Lags -h .. h - 1 of the cross-correlation, negative lags from the end of the array;
        // only these are scaled.
        w.window.resize(static_cast<std::size_t>(2 * half));
        std::copy_n(w.re2.data() + (n - half), half, w.window.data());
        std::copy_n(w.re2.data(), half, w.window.data() + half);
        Rescale(w.window.data(), 2 * half, L, n);
        ExtractIacfFactors(wiaccWidth, &r, fsFloat, w.window.data(), 2 * half, energy);
        return true;
    });
}

CalcResult CalcRunningAcf(const SampleBlock& block, const AcfConditionBlock& conditions, double fs,
                          const AcfProgressCallback& callback, RunningAcfResult* result) {
    if (block.channels == 1)
        return CalcRunningAcfMono(block, conditions.sampleNum, conditions.conditions, fs, callback,
                                  result);
    if (block.channels == 2)
        return CalcRunningAcfBinaural(block, conditions.sampleNum, conditions.conditions,
                                      conditions.wiaccWidth, nullptr, fs, callback, result);
    *result = RunningAcfResult{};
    return CalcResult::Unusable;
}

AcfFrameViewer::AcfFrameViewer(const SampleBlock& block, std::int32_t sampleNum,
                               const RunningAcfConditions& conditions, double wiaccWidth,
                               const MicCalibration* calibration, double fs)
    : m_block(block), m_conditions(conditions), m_wiaccWidth(wiaccWidth), m_fs(fs) {
    if (block.channels < 1 || !CheckRunningAcfConditions(conditions, fs, 1).empty()) return;
    m_available = AvailableSamples(block, sampleNum);
    m_framing = FrameRunningAcf(conditions, fs, m_available);
    m_response = AcfWeightingResponse(conditions.weighting, calibration, m_framing.transform, fs);
}

AcfFrameView AcfFrameViewer::Frame(std::int32_t k, bool withIacf) const {
    AcfFrameView v;
    const AcfFraming& f = m_framing;
    if (m_response.empty() || k < 0 || k >= f.frames) return v;
    const std::int32_t L = f.integration, D = f.maxDelay, n = f.transform;
    const std::int64_t first = static_cast<std::int64_t>(k) * f.step;
    std::vector<float> x(static_cast<std::size_t>(n));
    LoadChannel(m_block, 0, first, L + D, m_available, x.data(), n);
    const std::vector<float> acf = FrameAcfMono(x.data(), L, L + D, n, m_response.data());
    if (acf.empty()) return v;
    AcfPeakRecord peaks;
    ExtractAcfFactors(m_conditions, &v.factors, &peaks, m_fs, acf.data(), n, D);
    v.phi.resize(static_cast<std::size_t>(D));
    for (std::int32_t t = 0; t < D; ++t)
        v.phi[static_cast<std::size_t>(t)] = acf[static_cast<std::size_t>(t)] / acf[0];
    v.envelope = TauEEnvelope(m_conditions, m_fs, v.phi.data(), D);
    v.valid = true;
    if (!withIacf || m_block.channels != 2) return v;
    std::vector<float> y(static_cast<std::size_t>(n));
    LoadChannel(m_block, 0, first, L, m_available, x.data(), n);
    LoadChannel(m_block, 1, first, L, m_available, y.data(), n);
    float energy = 0;
    if (FrameAcfBinaural(x.data(), y.data(), L, n, m_response.data(), &energy).empty()) return v;
    const std::vector<float> iacf = FrameIacf(x.data(), y.data(), L, n, m_response.data());
    const std::int32_t half = static_cast<std::int32_t>(std::floor(0.002 * m_fs)) / 2;
    if (iacf.empty() || 2 * half > n) return v;
    std::vector<float> window(static_cast<std::size_t>(2 * half));
    std::copy_n(iacf.data() + (n - half), half, window.data());
    std::copy_n(iacf.data(), half, window.data() + half);
    ExtractIacfFactors(m_wiaccWidth, &v.factors, static_cast<float>(m_fs), window.data(), 2 * half,
                       energy);
    v.iacf.resize(window.size());
    for (std::size_t i = 0; i < window.size(); ++i)
        v.iacf[i] = energy > 0 ? window[i] / energy : 0.0f;
    return v;
}

}  // namespace vesk
