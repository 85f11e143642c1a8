#include "dsp/fir_fast.h"

#include "dsp/fir_convolve.h"
#include "dsp/fir_corrector.h"
#include "dsp/fir_fast_kernels.h"

namespace dsp {

namespace {

// sum over i = 0 .. terms - 1 of weights[i] x at[i], in eight interleaved
// partial sums; any order of addition is covered by the error bound.
inline double dotSum(const double* weights, const double* at, std::size_t terms) {
    double acc[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 8 <= terms; i += 8)
        for (std::size_t k = 0; k < 8; ++k) acc[k] += weights[i + k] * at[i + k];
    for (; i < terms; ++i) acc[0] += weights[i] * at[i];
    return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
}

// The sum of at[0 .. terms - 1], in eight interleaved partial sums.
inline double boxSum(const double* at, std::size_t terms) {
    double acc[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 8 <= terms; i += 8)
        for (std::size_t k = 0; k < 8; ++k) acc[k] += at[i + k];
    for (; i < terms; ++i) acc[0] += at[i];
    return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
}

// LANES segments of `length` outputs each, side by side: segment k starts
// at window position `first` + k x length and writes out[k x length ...].
// The recursions of different segments are independent, so their
// additions overlap instead of waiting on one another.
//
// Forward pass, per segment: F[0] is computed directly, then
//   F[j] = r F[j - 1] + (w[j] - leaving x w[j - N - 1]),
// so that F[j] = sum over m = 0..N of r^m w[j - m]; out[j] holds F[j].
// Backward pass: G and B are computed directly at the segment's last
// output, then
//   G[j] = r G[j + 1] + (w[j] - leaving x w[j + N + 1])
//   B[j] = B[j + 1] + (w[j - N] - w[j + N + 1]),
// so that G[j] = sum over m = 0..N of r^m w[j + m] and B[j] = sum of
// w[j - N .. j + N]; and out[j] becomes
//   alpha w[j] + beta ((F[j] + G[j]) - w[j]) - c B[j].
//
// With a fixed LENGTH (not 0) the segments lie at constant distances from
// one another, so that one address register serves them all.
template <int LANES, std::ptrdiff_t LENGTH>
void segmentGroup(const FastFir& fast, const double* window, std::ptrdiff_t first, std::size_t length,
                  double* out) {
    const std::ptrdiff_t n = fast.form.halfLength;
    const auto terms = static_cast<std::size_t>(n) + 1;
    const double r = fast.form.decay, leaving = fast.form.leaving;
    const double alpha = fast.form.centreWeight, beta = fast.form.boostWeight, c = fast.form.averageWeight;
    const std::ptrdiff_t len = LENGTH != 0 ? LENGTH : static_cast<std::ptrdiff_t>(length);
    const double* const w = window + first;  // lane k's centre j is w[k x len + j]

    double f[LANES];
    for (int k = 0; k < LANES; ++k) {
        f[k] = dotSum(fast.form.powers + terms + 1, w + k * len - n, terms);
        out[k * len] = f[k];
    }
    for (std::ptrdiff_t j = 1; j < len; ++j) {
        for (int k = 0; k < LANES; ++k) {
            const std::ptrdiff_t at = k * len + j;
            f[k] = r * f[k] + (w[at] - leaving * w[at - n - 1]);
            out[at] = f[k];
        }
    }

    double g[LANES], b[LANES];
    const std::ptrdiff_t last = len - 1;
    for (int k = 0; k < LANES; ++k) {
        const std::ptrdiff_t at = k * len + last;
        g[k] = dotSum(fast.form.powers, w + at, terms);
        b[k] = boxSum(w + at - n, 2 * terms - 1);
        const double x = w[at];
        out[at] = (alpha * x + beta * ((out[at] + g[k]) - x)) - c * b[k];
    }
    for (std::ptrdiff_t j = last - 1; j >= 0; --j) {
        for (int k = 0; k < LANES; ++k) {
            const std::ptrdiff_t at = k * len + j;
            const double x = w[at];
            g[k] = r * g[k] + (x - leaving * w[at + n + 1]);
            b[k] = b[k] + (w[at - n] - w[at + n + 1]);
            out[at] = (alpha * x + beta * ((out[at] + g[k]) - x)) - c * b[k];
        }
    }
}

}  // namespace

std::size_t fastFirScratchLength(std::int32_t halfLength) {
#if QORTA_DSP_X86
    return halfLength < 0 ? 0 : fastGroupAvxScratch(halfLength);
#else
    (void)halfLength;
    return 0;
#endif
}

void fastConvolveRun(const FastFir& fast, const double* window, std::ptrdiff_t firstCentre, std::size_t count,
                     double* out, double* scratch) {
    constexpr std::size_t L = FAST_FIR_SEGMENT;
    constexpr auto FIXED = static_cast<std::ptrdiff_t>(L);
    std::size_t done = 0;
    const auto at = [&](std::size_t offset) { return firstCentre + static_cast<std::ptrdiff_t>(offset); };
#if QORTA_DSP_X86
    if (scratch != nullptr && count >= 8 * L && convolvePathAvailable(CONVOLVE_AVX))
        for (; count - done >= 8 * L; done += 8 * L) fastGroupAvx(fast, window, at(done), out + done, scratch);
#else
    (void)scratch;
#endif
    for (; count - done >= 8 * L; done += 8 * L) segmentGroup<8, FIXED>(fast, window, at(done), L, out + done);
    if (count - done >= 4 * L) {
        segmentGroup<4, FIXED>(fast, window, at(done), L, out + done);
        done += 4 * L;
    }
    if (count - done >= 2 * L) {
        segmentGroup<2, FIXED>(fast, window, at(done), L, out + done);
        done += 2 * L;
    }
    if (count - done >= L) {
        segmentGroup<1, FIXED>(fast, window, at(done), L, out + done);
        done += L;
    }
    if (done < count) segmentGroup<1, 0>(fast, window, at(done), count - done, out + done);
}

}  // namespace dsp
