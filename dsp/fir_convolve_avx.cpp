#include "dsp/fir_convolve_kernels.h"

#if QORTA_DSP_X86

#include <immintrin.h>

namespace dsp {

namespace {

constexpr std::size_t AVX_LANES = 4;

// VECTORS x 4 consecutive outputs, each in its own lane of an accumulator.
template <int VECTORS>
__attribute__((target("avx"))) void blockAvx(const double* kernel, std::size_t taps, const double* first,
                                             double* out) {
    __m256d sum[VECTORS];
#pragma GCC unroll 8
    for (int v = 0; v < VECTORS; ++v) sum[v] = _mm256_setzero_pd();
    for (std::size_t t = 0; t < taps; ++t) {
        const __m256d weight = _mm256_set1_pd(kernel[t]);
        const double* const window = first + t;
#pragma GCC unroll 8
        for (int v = 0; v < VECTORS; ++v)
            sum[v] = _mm256_add_pd(sum[v], _mm256_mul_pd(weight, _mm256_loadu_pd(window + v * AVX_LANES)));
    }
#pragma GCC unroll 8
    for (int v = 0; v < VECTORS; ++v) _mm256_storeu_pd(out + v * AVX_LANES, sum[v]);
}

}  // namespace

__attribute__((target("avx"))) void convolveAvx(const double* kernel, std::size_t taps, const double* first,
                                                std::size_t count, double* out) {
    constexpr std::size_t BLOCK = X86_BLOCK_VECTORS * AVX_LANES;
    std::size_t done = 0;
    for (; count - done >= BLOCK; done += BLOCK)
        blockAvx<X86_BLOCK_VECTORS>(kernel, taps, first + done, out + done);
    // What is left is under one block: split it into halving blocks.
    if constexpr (X86_BLOCK_VECTORS > 4) {
        if (count - done >= 4 * AVX_LANES) {
            blockAvx<4>(kernel, taps, first + done, out + done);
            done += 4 * AVX_LANES;
        }
    }
    if (count - done >= 2 * AVX_LANES) {
        blockAvx<2>(kernel, taps, first + done, out + done);
        done += 2 * AVX_LANES;
    }
    if (count - done >= AVX_LANES) {
        blockAvx<1>(kernel, taps, first + done, out + done);
        done += AVX_LANES;
    }
    if (done < count) convolveGeneric(kernel, taps, first + done, count - done, out + done);
}

}  // namespace dsp

#endif
