// Eight segments of the fast FIR form in AVX lanes: the same operations, in
// the same order per segment, as the portable form in fir_fast.cpp, so that
// both give the same bits. Each vector holds one value of four segments;
// the window is first copied into that layout (four segments' samples side
// by side), so that every sample the recursions read is one aligned load.
#include "dsp/fir_convolve_kernels.h"
#include "dsp/fir_fast_kernels.h"

#if QORTA_DSP_X86

#include <cstdint>
#include <immintrin.h>

namespace dsp {

namespace {

constexpr std::ptrdiff_t LANES = 4;  // segments per vector
constexpr int GROUPS = 2;            // vectors side by side: eight segments

// Rows r0..r3 (one segment each, four consecutive samples) become columns
// (one sample each, four segments).
__attribute__((target("avx"))) inline void transpose(__m256d& r0, __m256d& r1, __m256d& r2, __m256d& r3) {
    const __m256d t0 = _mm256_unpacklo_pd(r0, r1);
    const __m256d t1 = _mm256_unpackhi_pd(r0, r1);
    const __m256d t2 = _mm256_unpacklo_pd(r2, r3);
    const __m256d t3 = _mm256_unpackhi_pd(r2, r3);
    r0 = _mm256_permute2f128_pd(t0, t2, 0x20);
    r1 = _mm256_permute2f128_pd(t1, t3, 0x20);
    r2 = _mm256_permute2f128_pd(t0, t2, 0x31);
    r3 = _mm256_permute2f128_pd(t1, t3, 0x31);
}

// lanes[i] = {rows[0][i], rows[1][i], rows[2][i], rows[3][i]} for i < length.
__attribute__((target("avx"))) void gatherLanes(const double* const* rows, std::ptrdiff_t length, __m256d* lanes) {
    std::ptrdiff_t i = 0;
    for (; i + 4 <= length; i += 4) {
        __m256d r0 = _mm256_loadu_pd(rows[0] + i), r1 = _mm256_loadu_pd(rows[1] + i);
        __m256d r2 = _mm256_loadu_pd(rows[2] + i), r3 = _mm256_loadu_pd(rows[3] + i);
        transpose(r0, r1, r2, r3);
        lanes[i] = r0;
        lanes[i + 1] = r1;
        lanes[i + 2] = r2;
        lanes[i + 3] = r3;
    }
    for (; i < length; ++i) lanes[i] = _mm256_set_pd(rows[3][i], rows[2][i], rows[1][i], rows[0][i]);
}

// rows[k][i] = lanes[i][k] for i < length (length a multiple of 4).
__attribute__((target("avx"))) void scatterLanes(const __m256d* lanes, std::ptrdiff_t length, double* const* rows) {
    for (std::ptrdiff_t i = 0; i < length; i += 4) {
        __m256d r0 = lanes[i], r1 = lanes[i + 1], r2 = lanes[i + 2], r3 = lanes[i + 3];
        transpose(r0, r1, r2, r3);
        _mm256_storeu_pd(rows[0] + i, r0);
        _mm256_storeu_pd(rows[1] + i, r1);
        _mm256_storeu_pd(rows[2] + i, r2);
        _mm256_storeu_pd(rows[3] + i, r3);
    }
}

// dotSum and boxSum of fir_fast.cpp, lane by lane: eight partial sums in
// the same order, so every lane gets the bits the portable form gets.
__attribute__((target("avx"))) __m256d dotLanes(const double* weights, const __m256d* at, std::size_t terms) {
    __m256d acc[8];
    for (__m256d& a : acc) a = _mm256_setzero_pd();
    std::size_t i = 0;
    for (; i + 8 <= terms; i += 8)
        for (std::size_t k = 0; k < 8; ++k)
            acc[k] = _mm256_add_pd(acc[k], _mm256_mul_pd(_mm256_set1_pd(weights[i + k]), at[i + k]));
    for (; i < terms; ++i) acc[0] = _mm256_add_pd(acc[0], _mm256_mul_pd(_mm256_set1_pd(weights[i]), at[i]));
    return _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(acc[0], acc[1]), _mm256_add_pd(acc[2], acc[3])),
                         _mm256_add_pd(_mm256_add_pd(acc[4], acc[5]), _mm256_add_pd(acc[6], acc[7])));
}

__attribute__((target("avx"))) __m256d boxLanes(const __m256d* at, std::size_t terms) {
    __m256d acc[8];
    for (__m256d& a : acc) a = _mm256_setzero_pd();
    std::size_t i = 0;
    for (; i + 8 <= terms; i += 8)
        for (std::size_t k = 0; k < 8; ++k) acc[k] = _mm256_add_pd(acc[k], at[i + k]);
    for (; i < terms; ++i) acc[0] = _mm256_add_pd(acc[0], at[i]);
    return _mm256_add_pd(_mm256_add_pd(_mm256_add_pd(acc[0], acc[1]), _mm256_add_pd(acc[2], acc[3])),
                         _mm256_add_pd(_mm256_add_pd(acc[4], acc[5]), _mm256_add_pd(acc[6], acc[7])));
}

// alpha x + beta ((F + G) - x) - c B, in that order.
__attribute__((target("avx"))) inline __m256d combine(__m256d alpha, __m256d beta, __m256d c, __m256d x, __m256d f,
                                                      __m256d g, __m256d b) {
    const __m256d twoSided = _mm256_sub_pd(_mm256_add_pd(f, g), x);
    return _mm256_sub_pd(_mm256_add_pd(_mm256_mul_pd(alpha, x), _mm256_mul_pd(beta, twoSided)), _mm256_mul_pd(c, b));
}

}  // namespace

std::size_t fastGroupAvxScratch(std::int32_t halfLength) {
    const auto length = static_cast<std::size_t>(FAST_FIR_SEGMENT);
    const std::size_t extended = length + 2 * static_cast<std::size_t>(halfLength);
    // Per group the window in lanes and the sums in lanes; plus room to
    // align the start to a vector.
    return GROUPS * LANES * (extended + length) + LANES;
}

__attribute__((target("avx"))) void fastGroupAvx(const FastFir& fast, const double* window, std::ptrdiff_t first,
                                                 double* out, double* scratch) {
    const std::ptrdiff_t n = fast.form.halfLength;
    const auto terms = static_cast<std::size_t>(n) + 1;
    constexpr auto len = static_cast<std::ptrdiff_t>(FAST_FIR_SEGMENT);
    const std::ptrdiff_t extended = len + 2 * n;  // lane index i holds offset i - N from the segment start

    auto* const aligned = reinterpret_cast<double*>((reinterpret_cast<std::uintptr_t>(scratch) + 31) & ~std::uintptr_t{31});
    __m256d* lanes[GROUPS];
    __m256d* sums[GROUPS];
    for (int g = 0; g < GROUPS; ++g) {
        lanes[g] = reinterpret_cast<__m256d*>(aligned) + g * (extended + len);
        sums[g] = lanes[g] + extended;
        const double* rows[LANES];
        for (std::ptrdiff_t k = 0; k < LANES; ++k) rows[k] = window + first + (g * LANES + k) * len - n;
        gatherLanes(rows, extended, lanes[g]);
    }

    const __m256d r = _mm256_set1_pd(fast.form.decay), leaving = _mm256_set1_pd(fast.form.leaving);
    const __m256d alpha = _mm256_set1_pd(fast.form.centreWeight), beta = _mm256_set1_pd(fast.form.boostWeight);
    const __m256d c = _mm256_set1_pd(fast.form.averageWeight);

    __m256d f[GROUPS];
    for (int g = 0; g < GROUPS; ++g) {
        f[g] = dotLanes(fast.form.powers + terms + 1, lanes[g], terms);
        sums[g][0] = f[g];
    }
    for (std::ptrdiff_t j = 1; j < len; ++j) {
        for (int g = 0; g < GROUPS; ++g) {
            const __m256d* w = lanes[g];
            f[g] = _mm256_add_pd(_mm256_mul_pd(r, f[g]), _mm256_sub_pd(w[n + j], _mm256_mul_pd(leaving, w[j - 1])));
            sums[g][j] = f[g];
        }
    }

    const std::ptrdiff_t last = len - 1;
    __m256d gs[GROUPS], b[GROUPS];
    for (int g = 0; g < GROUPS; ++g) {
        const __m256d* w = lanes[g];
        gs[g] = dotLanes(fast.form.powers, w + n + last, terms);
        b[g] = boxLanes(w + last, 2 * terms - 1);
        sums[g][last] = combine(alpha, beta, c, w[n + last], sums[g][last], gs[g], b[g]);
    }
    for (std::ptrdiff_t j = last - 1; j >= 0; --j) {
        for (int g = 0; g < GROUPS; ++g) {
            const __m256d* w = lanes[g];
            const __m256d x = w[n + j], entering = w[2 * n + j + 1];
            gs[g] = _mm256_add_pd(_mm256_mul_pd(r, gs[g]), _mm256_sub_pd(x, _mm256_mul_pd(leaving, entering)));
            b[g] = _mm256_add_pd(b[g], _mm256_sub_pd(w[j], entering));
            sums[g][j] = combine(alpha, beta, c, x, sums[g][j], gs[g], b[g]);
        }
    }

    for (int g = 0; g < GROUPS; ++g) {
        double* rows[LANES];
        for (std::ptrdiff_t k = 0; k < LANES; ++k) rows[k] = out + (g * LANES + k) * len;
        scatterLanes(sums[g], len, rows);
    }
}

}  // namespace dsp

#endif
