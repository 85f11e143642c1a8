// Deciding which fast sums fix their output sample, and computing the others
// exactly. This file is compiled without floating-point trap semantics
// (-fno-trapping-math), which lets the compiler inline std::trunc and turn
// the comparisons below into selects; the values computed are the same.
#include <cmath>

#include "dsp/fir_convolve_kernels.h"
#if QORTA_DSP_X86
#include <immintrin.h>
#endif

#include "dsp/fir_convolve.h"
#include "dsp/fir_fast.h"

namespace dsp {

namespace {

// Undecided outputs this close together are settled as one run.
constexpr std::size_t SETTLE_GAP = 8;

// Truncated values of this magnitude or more are left undecided, as are
// infinities and NaN.
constexpr double DECIDABLE_LIMIT = 0x1p51;

// 1.0 when truncation toward zero may give different integers for `low`
// and `high`, 0.0 when it certainly gives the same one. Truncation is
// monotone, so every value between the two ends truncates to that integer
// too. NaN fails every comparison and counts as undecided.
inline double undecidedFlag(double low, double high) {
    const double truncated = std::trunc(low);
    return truncated == std::trunc(high) && std::fabs(truncated) < DECIDABLE_LIMIT ? 0.0 : 1.0;
}

// Whole numbers below 2^53, so every sum is exact in any order.
inline std::size_t countFlags(const double* low, const double* high, std::size_t count) {
    double undecided = 0.0;
    for (std::size_t i = 0; i < count; ++i) undecided += undecidedFlag(low[i], high[i]);
    return static_cast<std::size_t>(undecided);
}

inline std::size_t countScaledFlags(const double* values, double bound, double scale, std::size_t count) {
    double undecided = 0.0;
    for (std::size_t i = 0; i < count; ++i)
        undecided += undecidedFlag((values[i] - bound) * scale, (values[i] + bound) * scale);
    return static_cast<std::size_t>(undecided);
}

#if QORTA_DSP_X86
// The complement of undecidedFlag in four lanes: all bits set where the
// lane is decided. An end of magnitude 2^51 or more truncates to a value
// of that magnitude too, so the truncated value's range alone is checked.
__attribute__((target("avx"))) inline __m256d decidedLanes(__m256d low, __m256d high) {
    const __m256d truncated = _mm256_round_pd(low, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256d same = _mm256_cmp_pd(truncated, _mm256_round_pd(high, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC),
                                       _CMP_EQ_OQ);
    const __m256d magnitude = _mm256_andnot_pd(_mm256_set1_pd(-0.0), truncated);
    return _mm256_and_pd(same, _mm256_cmp_pd(magnitude, _mm256_set1_pd(DECIDABLE_LIMIT), _CMP_LT_OQ));
}

// The decided lanes added to `count` as 1.0 each.
__attribute__((target("avx"))) inline __m256d addDecided(__m256d count, __m256d decided) {
    return _mm256_add_pd(count, _mm256_and_pd(decided, _mm256_set1_pd(1.0)));
}

// The lanes decided for the ends (v - bound) x scale and (v + bound) x scale.
__attribute__((target("avx"))) inline __m256d scaledLanes(__m256d v, __m256d bound, __m256d scale) {
    return decidedLanes(_mm256_mul_pd(_mm256_sub_pd(v, bound), scale), _mm256_mul_pd(_mm256_add_pd(v, bound), scale));
}

__attribute__((target("avx"))) inline std::size_t laneTotal(__m256d a, __m256d b) {
    alignas(32) double parts[4];
    _mm256_store_pd(parts, _mm256_add_pd(a, b));
    return static_cast<std::size_t>((parts[0] + parts[1]) + (parts[2] + parts[3]));
}

__attribute__((target("avx"))) std::size_t countFlagsAvx(const double* low, const double* high, std::size_t count) {
    __m256d a = _mm256_setzero_pd(), b = _mm256_setzero_pd();
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        a = addDecided(a, decidedLanes(_mm256_loadu_pd(low + i), _mm256_loadu_pd(high + i)));
        b = addDecided(b, decidedLanes(_mm256_loadu_pd(low + i + 4), _mm256_loadu_pd(high + i + 4)));
    }
    return (i - laneTotal(a, b)) + countFlags(low + i, high + i, count - i);
}

__attribute__((target("avx"))) std::size_t countScaledFlagsAvx(const double* values, double bound, double scale,
                                                               std::size_t count) {
    const __m256d vb = _mm256_set1_pd(bound), vs = _mm256_set1_pd(scale);
    __m256d a = _mm256_setzero_pd(), b = _mm256_setzero_pd();
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        a = addDecided(a, scaledLanes(_mm256_loadu_pd(values + i), vb, vs));
        b = addDecided(b, scaledLanes(_mm256_loadu_pd(values + i + 4), vb, vs));
    }
    return (i - laneTotal(a, b)) + countScaledFlags(values + i, bound, scale, count - i);
}
#endif

// Replaces out[i] by the exact sum wherever undecided(i), for i in
// [0, count); undecided outputs at most SETTLE_GAP apart form one run.
// Returns the number of outputs computed exactly.
template <typename Undecided>
std::size_t settleWhere(const FirCorrector& corrector, const double* window, std::ptrdiff_t firstCentre,
                        std::size_t count, Undecided undecided, double* out) {
    std::size_t exact = 0;
    std::size_t i = 0;
    while (i < count) {
        if (!undecided(i)) {
            ++i;
            continue;
        }
        std::size_t end = i + 1;
        for (std::size_t j = end; j < count && j - end < SETTLE_GAP; ++j)
            if (undecided(j)) end = j + 1;
        convolveRun(corrector, window, firstCentre + static_cast<std::ptrdiff_t>(i), end - i, out + i);
        exact += end - i;
        i = end;
    }
    return exact;
}

}  // namespace

std::size_t countUndecided(const double* low, const double* high, std::size_t count) {
#if QORTA_DSP_X86
    if (convolvePathAvailable(CONVOLVE_AVX)) return countFlagsAvx(low, high, count);
#endif
    return countFlags(low, high, count);
}

std::size_t countUndecidedScaled(const double* values, double bound, double scale, std::size_t count) {
#if QORTA_DSP_X86
    if (convolvePathAvailable(CONVOLVE_AVX)) return countScaledFlagsAvx(values, bound, scale, count);
#endif
    return countScaledFlags(values, bound, scale, count);
}

void markUndecided(const double* low, const double* high, std::size_t count, unsigned char* undecided) {
    for (std::size_t i = 0; i < count; ++i) undecided[i] = undecidedFlag(low[i], high[i]) != 0.0 ? 1 : 0;
}

std::size_t settleUndecided(const FirCorrector& corrector, const double* window, std::ptrdiff_t firstCentre,
                            std::size_t count, const unsigned char* undecided, double* out) {
    return settleWhere(corrector, window, firstCentre, count, [undecided](std::size_t i) { return undecided[i] != 0; },
                       out);
}

std::size_t settleRun(const FirCorrector& corrector, const double* window, std::ptrdiff_t firstCentre,
                      std::size_t count, const double* low, const double* high, double* out) {
    if (countUndecided(low, high, count) == 0) return 0;
    return settleWhere(corrector, window, firstCentre, count,
                       [low, high](std::size_t i) { return undecidedFlag(low[i], high[i]) != 0.0; }, out);
}

}  // namespace dsp
