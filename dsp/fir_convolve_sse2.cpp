#include "dsp/fir_convolve_kernels.h"

#if QORTA_DSP_X86

#include <emmintrin.h>

namespace dsp {

namespace {

constexpr std::size_t SSE2_LANES = 2;

// VECTORS x 2 consecutive outputs, each in its own lane of an accumulator.
template <int VECTORS>
__attribute__((target("sse2"))) void blockSse2(const double* kernel, std::size_t taps, const double* first,
                                               double* out) {
    __m128d sum[VECTORS];
#pragma GCC unroll 8
    for (int v = 0; v < VECTORS; ++v) sum[v] = _mm_setzero_pd();
    for (std::size_t t = 0; t < taps; ++t) {
        const __m128d weight = _mm_set1_pd(kernel[t]);
        const double* const window = first + t;
#pragma GCC unroll 8
        for (int v = 0; v < VECTORS; ++v)
            sum[v] = _mm_add_pd(sum[v], _mm_mul_pd(weight, _mm_loadu_pd(window + v * SSE2_LANES)));
    }
#pragma GCC unroll 8
    for (int v = 0; v < VECTORS; ++v) _mm_storeu_pd(out + v * SSE2_LANES, sum[v]);
}

}  // namespace

__attribute__((target("sse2"))) void convolveSse2(const double* kernel, std::size_t taps, const double* first,
                                                  std::size_t count, double* out) {
    constexpr std::size_t BLOCK = X86_BLOCK_VECTORS * SSE2_LANES;
    std::size_t done = 0;
    for (; count - done >= BLOCK; done += BLOCK)
        blockSse2<X86_BLOCK_VECTORS>(kernel, taps, first + done, out + done);
    // What is left is under one block: split it into halving blocks.
    if constexpr (X86_BLOCK_VECTORS > 4) {
        if (count - done >= 4 * SSE2_LANES) {
            blockSse2<4>(kernel, taps, first + done, out + done);
            done += 4 * SSE2_LANES;
        }
    }
    if (count - done >= 2 * SSE2_LANES) {
        blockSse2<2>(kernel, taps, first + done, out + done);
        done += 2 * SSE2_LANES;
    }
    if (count - done >= SSE2_LANES) {
        blockSse2<1>(kernel, taps, first + done, out + done);
        done += SSE2_LANES;
    }
    if (done < count) convolveGeneric(kernel, taps, first + done, count - done, out + done);
}

}  // namespace dsp

#endif
