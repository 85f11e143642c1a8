#include "dsp/fir_convolve_kernels.h"

#if QORTA_DSP_X86

#include <immintrin.h>

namespace dsp {

namespace {

constexpr std::size_t AVX512_LANES = 8;

// VECTORS x 8 consecutive outputs, each in its own lane of an accumulator.
template <int VECTORS>
__attribute__((target("avx512f"))) void blockAvx512f(const double* kernel, std::size_t taps,
                                                     const double* first, double* out) {
    __m512d sum[VECTORS];
#pragma GCC unroll 8
    for (int v = 0; v < VECTORS; ++v) sum[v] = _mm512_setzero_pd();
    for (std::size_t t = 0; t < taps; ++t) {
        const __m512d weight = _mm512_set1_pd(kernel[t]);
        const double* const window = first + t;
#pragma GCC unroll 8
        for (int v = 0; v < VECTORS; ++v)
            sum[v] = _mm512_add_pd(sum[v], _mm512_mul_pd(weight, _mm512_loadu_pd(window + v * AVX512_LANES)));
    }
#pragma GCC unroll 8
    for (int v = 0; v < VECTORS; ++v) _mm512_storeu_pd(out + v * AVX512_LANES, sum[v]);
}

// The last 1 to 7 outputs: lanes beyond them neither read the window (masked
// loads do not touch memory in disabled lanes) nor write the output.
__attribute__((target("avx512f"))) void partialAvx512f(const double* kernel, std::size_t taps,
                                                       const double* first, std::size_t width,
                                                       double* out) {
    const __mmask8 lanes = static_cast<__mmask8>((1u << width) - 1u);
    __m512d sum = _mm512_setzero_pd();
    for (std::size_t t = 0; t < taps; ++t) {
        const __m512d weight = _mm512_set1_pd(kernel[t]);
        sum = _mm512_add_pd(sum, _mm512_mul_pd(weight, _mm512_maskz_loadu_pd(lanes, first + t)));
    }
    _mm512_mask_storeu_pd(out, lanes, sum);
}

}  // namespace

__attribute__((target("avx512f"))) void convolveAvx512f(const double* kernel, std::size_t taps,
                                                        const double* first, std::size_t count,
                                                        double* out) {
    constexpr std::size_t BLOCK = X86_BLOCK_VECTORS * AVX512_LANES;
    std::size_t done = 0;
    for (; count - done >= BLOCK; done += BLOCK)
        blockAvx512f<X86_BLOCK_VECTORS>(kernel, taps, first + done, out + done);
    // What is left is under one block: split it into halving blocks.
    if constexpr (X86_BLOCK_VECTORS > 4) {
        if (count - done >= 4 * AVX512_LANES) {
            blockAvx512f<4>(kernel, taps, first + done, out + done);
            done += 4 * AVX512_LANES;
        }
    }
    if (count - done >= 2 * AVX512_LANES) {
        blockAvx512f<2>(kernel, taps, first + done, out + done);
        done += 2 * AVX512_LANES;
    }
    if (count - done >= AVX512_LANES) {
        blockAvx512f<1>(kernel, taps, first + done, out + done);
        done += AVX512_LANES;
    }
    if (done < count) partialAvx512f(kernel, taps, first + done, count - done, out + done);
}

}  // namespace dsp

#endif
