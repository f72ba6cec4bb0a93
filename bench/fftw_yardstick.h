// The yardstick of the calculation benchmarks: `transforms` FFTW single-precision in-place
// complex transforms of length n (one plan, measured), timed as one iteration.
#pragma once

#ifdef VESK_HAVE_FFTW
#include <benchmark/benchmark.h>
#include <fftw3.h>

namespace vesk::bench {

inline void FftwTransforms(benchmark::State& state, int n, int transforms) {
    auto* data = fftwf_alloc_complex(static_cast<std::size_t>(n));
    fftwf_plan plan = fftwf_plan_dft_1d(n, data, data, FFTW_FORWARD, FFTW_MEASURE);
    for (int i = 0; i < n; ++i) {
        data[i][0] = static_cast<float>(i % 17);
        data[i][1] = 0;
    }
    for (auto _ : state) {
        for (int k = 0; k < transforms; ++k)
            fftwf_execute(plan);
        benchmark::ClobberMemory();
    }
    fftwf_destroy_plan(plan);
    fftwf_free(data);
}

}  // namespace vesk::bench
#endif
