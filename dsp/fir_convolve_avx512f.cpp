#include "dsp/fir_convolve_kernels.h"

#if QORTA_DSP_X86

#include <immintrin.h>

#include <cstring>

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

// Staged runs. Consecutive outputs in the lanes of a vector need the window
// at every offset, and a 64-byte load from an offset that is not a multiple
// of 8 doubles spans two cache lines; on processors that run 512-bit
// arithmetic at full width those split loads, more than the arithmetic,
// bound the block loop above.
// A stage therefore copies the samples that STAGE_OUTPUTS outputs need for
// STAGE_TAPS taps eight times, copy s starting s samples later, into rows
// aligned to 64 bytes; from there every load of the block loop is aligned.
// The sums of the stage's outputs wait in `out` between stages, so every
// output still receives its products one by one in ascending tap order.
constexpr std::size_t STAGE_OUTPUTS = 256;
constexpr std::size_t STAGE_TAPS = 256;
constexpr std::size_t STAGE_ROW = STAGE_OUTPUTS + STAGE_TAPS + 8;  // doubles per row, a multiple of 8

struct alignas(64) StagedWindow {
    double row[AVX512_LANES][STAGE_ROW];  // row[s][q] = stage's first sample + s + q
};

// Copies what the stage needs: the outputs read first[t0 + u + j] for taps u
// below `stageTaps` and outputs j below STAGE_OUTPUTS, found at
// row[u mod 8][j + u - u mod 8]. Row s needs STAGE_OUTPUTS + stageTaps - 1 - s
// samples, which reach exactly the last sample the stage reads.
void stageWindow(const double* stageFirst, std::size_t stageTaps, StagedWindow& staged) {
    for (std::size_t s = 0; s < AVX512_LANES; ++s)
        std::memcpy(staged.row[s], stageFirst + s, (STAGE_OUTPUTS + stageTaps - 1 - s) * sizeof(double));
}

// VECTORS x 8 consecutive outputs from `block` (a multiple of 8) of the
// staged outputs, over the stage's `stageTaps` taps `kernel[0..]`. The sums
// start at 0.0 for the first stage and continue from `out` otherwise.
template <int VECTORS>
__attribute__((target("avx512f"))) void stagedBlockAvx512f(const double* kernel, std::size_t stageTaps,
                                                           const StagedWindow& staged, std::size_t block,
                                                           bool firstStage, double* out) {
    __m512d sum[VECTORS];
#pragma GCC unroll 8
    for (int v = 0; v < VECTORS; ++v)
        sum[v] = firstStage ? _mm512_setzero_pd() : _mm512_loadu_pd(out + v * AVX512_LANES);
    const double* const base = staged.row[0] + block;
    for (std::size_t u = 0; u < stageTaps; ++u) {
        const std::size_t s = u % AVX512_LANES;
        const __m512d weight = _mm512_set1_pd(kernel[u]);
        const double* const row = base + s * STAGE_ROW + (u - s);
#pragma GCC unroll 8
        for (int v = 0; v < VECTORS; ++v)
            sum[v] = _mm512_add_pd(sum[v], _mm512_mul_pd(weight, _mm512_load_pd(row + v * AVX512_LANES)));
    }
#pragma GCC unroll 8
    for (int v = 0; v < VECTORS; ++v) _mm512_storeu_pd(out + v * AVX512_LANES, sum[v]);
}

// STAGE_OUTPUTS outputs, stage by stage.
__attribute__((target("avx512f"))) void stagedRunAvx512f(const double* kernel, std::size_t taps,
                                                         const double* first, double* out, StagedWindow& staged) {
    constexpr std::size_t BLOCK = X86_BLOCK_VECTORS * AVX512_LANES;
    static_assert(STAGE_OUTPUTS % BLOCK == 0, "a stage holds whole blocks");
    for (std::size_t t0 = 0; t0 < taps; t0 += STAGE_TAPS) {
        const std::size_t stageTaps = taps - t0 < STAGE_TAPS ? taps - t0 : STAGE_TAPS;
        stageWindow(first + t0, stageTaps, staged);
        for (std::size_t block = 0; block < STAGE_OUTPUTS; block += BLOCK)
            stagedBlockAvx512f<X86_BLOCK_VECTORS>(kernel + t0, stageTaps, staged, block, t0 == 0, out + block);
    }
}

}  // namespace

__attribute__((target("avx512f"))) void convolveAvx512f(const double* kernel, std::size_t taps,
                                                        const double* first, std::size_t count,
                                                        double* out) {
    constexpr std::size_t BLOCK = X86_BLOCK_VECTORS * AVX512_LANES;
    std::size_t done = 0;
    if (count >= STAGE_OUTPUTS) {
        StagedWindow staged;
        for (; count - done >= STAGE_OUTPUTS; done += STAGE_OUTPUTS)
            stagedRunAvx512f(kernel, taps, first + done, out + done, staged);
    }
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
