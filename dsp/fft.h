// Radix-2 complex FFT on float arrays, zero-phase filtering and the two-channel power spectrum.
#pragma once

#include <cstdint>
#include <shared_mutex>
#include <vector>

namespace vesk {

// Tables of one transform size; rebuilt only when a call asks for another size.
struct FftTables {
    std::int32_t size = 0;                 // 0 when no tables are held
    std::vector<std::int32_t> bitReverse;  // n entries
    std::vector<float> sine;               // n + n/4 entries: sin(2*pi*i/n); cosine at i + n/4
    // The twiddles of each stage in butterfly order (stage h at offset h - 1): the cosine and
    // sine entries the stage reads, laid out so its inner loop walks them contiguously.
    std::vector<float> stageCos, stageSin;
    int builds = 0;  // how often the tables were built (for tests)
    // Held shared by a transform and alone by a rebuild, so threads may share one set.
    std::shared_mutex mutex;

    // Makes the tables fit n. 0 when they do; 1 when they could not be allocated; 2 when n
    // is not a power of two.
    int Ensure(std::int32_t n);

  private:
    void BuildStageTwiddles();
};

// The process-wide tables of transform size n, shared by every thread; one set per power of
// two, so that transforms of different sizes never rebuild each other's tables.
FftTables& SharedFftTables(std::int32_t n);

// In-place transform of re[k] + j*im[k], no scaling; re and im must not overlap. Every float
// equals that of the literal radix-2 loop with the products in double. 0 done, 1 no memory,
// 2 n not a power of two.
int FftForward(FftTables& tables, std::int32_t n, float* re, float* im);
int FftInverse(FftTables& tables, std::int32_t n, float* re, float* im);
// The inverse transform for the outputs 0 .. low - 1 and n - high .. n - 1 only: those are
// FftInverse's floats bit for bit, the others are left unspecified. The late stages skip the
// butterflies that feed no wanted output.
int FftInverseEnds(FftTables& tables, std::int32_t n, float* re, float* im, std::int32_t low,
                   std::int32_t high);

// Zero-phase filtering of x and, when given, y (length n) by the real symmetric response h.
// Afterwards x holds x filtered and y holds y filtered. Returns the transform's status.
int FilterInFrequencyDomain(float* x, float* y, std::int32_t n, const float* h);
// The same in two halves, for one signal filtered by many responses: the transform of x + iy
// (y may be nullptr) once, then each filtered pair from it. The floats are those of
// FilterInFrequencyDomain; y receives the imaginary part also when the signal had none.
int ForwardSpectrum(const float* x, const float* y, std::int32_t n, std::vector<float>* re,
                    std::vector<float>* im);
int FilterFromSpectrum(const float* re, const float* im, std::int32_t n, const float* h, float* x,
                       float* y);

// Power spectra of two real signals with one transform: bins 1..n/2 (mirrored to n-k) are four
// times the squared magnitude, bin 0 the square of the mean; full scale 32767 maps to 1.
// A missing channel (nullptr) counts as zeros.
int PowerSpectrum2(const float* left, const float* right, float* outLeft, float* outRight,
                   std::int32_t n);

namespace detail {
// The instruction sets a transform is built for. All compute the same floats; the best one the
// processor runs is used, process-wide, unless a test or benchmark asks for another.
enum class FftKernel { kBaseline, kAvx2, kAvx512f };
bool CpuRunsFftKernel(FftKernel kernel);
// False, and nothing changes, when the processor lacks the kernel's instructions.
bool UseFftKernel(FftKernel kernel);
void UseBestFftKernel();
}  // namespace detail

}  // namespace vesk
