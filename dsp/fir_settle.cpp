// Deciding which fast sums fix their output sample, and computing the others
// exactly. This file is compiled without floating-point trap semantics
// (-fno-trapping-math), which lets the compiler turn the comparisons below
// into vector selects; the values computed are the same.
#include <cmath>

#include "dsp/fir_convolve.h"
#include "dsp/fir_convolve_kernels.h"
#include "dsp/fir_fast.h"

namespace dsp {

namespace {

// Undecided outputs this close together are settled as one run.
constexpr std::size_t SETTLE_GAP = 8;

// 1.0 when truncation toward zero may give different integers for `low`
// and `high`, 0.0 when it certainly gives the same one. Truncation changes
// value only across a nonzero integer k (at k itself for k >= 1, just above
// k for k <= -1), so it is the same at both ends when the interval between
// them holds no nonzero integer; a touching endpoint counts as undecided,
// which costs an exact sum but is never wrong. The floor of the upper end
// comes from adding and taking away 1.5 x 2^52, which rounds a magnitude
// below 2^51 to the nearest integer. A value out of that range, or NaN,
// which fails every comparison, is undecided.
inline double undecidedFlag(double low, double high) {
    const double a = low < high ? low : high;
    const double b = low < high ? high : low;
    const double nearest = (b + 0x1.8p52) - 0x1.8p52;
    const double floorB = nearest > b ? nearest - 1.0 : nearest;  // the largest integer <= b
    // Each condition as 0.0 or 1.0, combined by arithmetic rather than by
    // branches, so that the loop stays free of control flow.
    const double inRange = (a > -0x1p51 ? 1.0 : 0.0) * (b < 0x1p51 ? 1.0 : 0.0);
    const double reachesA = floorB >= a ? 1.0 : 0.0;
    const double nonzero = floorB != 0.0 ? 1.0 : (a <= -1.0 ? 1.0 : 0.0);  // a nonzero integer in [a, b]
    return 1.0 - inRange * (1.0 - reachesA * nonzero);
}

// Whole numbers below 2^53, so every sum is exact in any order; four
// partial counts let the loop run in vector lanes.
inline std::size_t countFlags(const double* low, const double* high, std::size_t count) {
    double partial[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4)
        for (std::size_t k = 0; k < 4; ++k) partial[k] += undecidedFlag(low[i + k], high[i + k]);
    for (; i < count; ++i) partial[0] += undecidedFlag(low[i], high[i]);
    return static_cast<std::size_t>((partial[0] + partial[1]) + (partial[2] + partial[3]));
}

// countFlags for the ends (values[i] - bound) x scale and (values[i] +
// bound) x scale, computed on the way instead of read.
inline std::size_t countScaledFlags(const double* values, double bound, double scale, std::size_t count) {
    double partial[4] = {0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 4 <= count; i += 4)
        for (std::size_t k = 0; k < 4; ++k)
            partial[k] += undecidedFlag((values[i + k] - bound) * scale, (values[i + k] + bound) * scale);
    for (; i < count; ++i) partial[0] += undecidedFlag((values[i] - bound) * scale, (values[i] + bound) * scale);
    return static_cast<std::size_t>((partial[0] + partial[1]) + (partial[2] + partial[3]));
}

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

#if QORTA_DSP_X86
// The same loop compiled for AVX's wider lanes.
__attribute__((target("avx"))) std::size_t countFlagsAvx(const double* low, const double* high, std::size_t count) {
    return countFlags(low, high, count);
}

__attribute__((target("avx"))) std::size_t countScaledFlagsAvx(const double* values, double bound, double scale,
                                                               std::size_t count) {
    return countScaledFlags(values, bound, scale, count);
}
#endif

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
