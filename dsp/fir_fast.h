// The console's fast FIR sums: the kernel's closed form (fir_closed_form.h),
//   alpha w[p] + beta ((F[p] + G[p]) - w[p]) - c B[p],
// evaluated in segments, F by a forward and G by a backward one-pole
// recursion, B by a running sum: a few operations per sample instead of
// 2N + 1.
//
// The result is not the exact ascending sum of convolveAt, but it lies
// within a proven distance `errorBound` of it (docs/fir-closed-form.md
// derives the bound). A caller that truncates the sum to an integer through
// monotone arithmetic evaluates that arithmetic at value - errorBound and
// value + errorBound; where both give the same integer, that is the integer
// the exact sum gives, and otherwise it computes the sample exactly with
// settleRun.
#ifndef QORTA_DSP_FIR_FAST_H
#define QORTA_DSP_FIR_FAST_H

#include <cstddef>
#include <cstdint>

#include "dsp/fir_closed_form.h"
#include "dsp/fir_corrector.h"

namespace dsp {

// Outputs computed from one restart of the recursions: each run of this
// many outputs starts them afresh from directly computed sums, which keeps
// rounding errors from building up.
constexpr std::size_t FAST_FIR_SEGMENT = 4096;

// Below this half-length the exact convolution is about as cheap (measured
// with bench_fir_convolve), so the programs keep the exact path there.
constexpr std::int32_t FAST_FIR_MIN_HALF_LENGTH = 24;

// Above this half-length the fast form is not prepared either; the error
// bound's own rounding is only accounted for up to here.
constexpr std::int32_t FAST_FIR_MAX_HALF_LENGTH = 1 << 24;

struct FastFir {
    FirClosedForm form;       // weights and powers (PowerRounding::Chained)
    double errorBound = 0.0;  // |fast sum - convolveAt| <= errorBound; see prepareFastFir
};

// Doubles in the table of powers that prepareFastFir fills
// (closedFormTableLength: 2N + 3).
std::size_t fastFirTableLength(std::int32_t halfLength);

// Prepares `fast` for the kernel in `corrector`, which fillKernel has just
// filled from `effect`, `gain` and `sampleRate` (the same values are passed
// here). `powers` must hold fastFirTableLength(N) doubles and stay alive as
// long as `fast` is used. `inputBound` is the largest magnitude of any
// window value the caller will pass (2 for the console, whose samples are
// at most 65535 / 32768 after DC removal; 1 for the plug-in).
//
// Measures how far every tap of the built kernel lies from the closed form
// and computes `errorBound` (docs/fir-closed-form.md derives every term and
// check).
// Returns false, and the caller then uses convolveRun alone, when
//   - N lies outside [1, FAST_FIR_MAX_HALF_LENGTH];
//   - `inputBound` (W) lies outside [2^-900, 2^100], where an underflow in
//     the sums could escape the bound;
//   - r = exp(-100 / sampleRate) is not strictly between 0 and 1;
//   - r^(N+1) as computed is below 2^-900, so that a power could underflow;
//   - alpha, beta or c is not finite;
//   - one of the magnitude checks fails, on which the derivation relies:
//     the one-sided sums' error must stay within W x R, the two-sided sum's
//     error within W x R, and the running sum's error within (2N + 1) x W,
//     with R = min(N + 1, 1 / (1 - r));
//   - the bound or the sum of the taps' magnitudes is not finite.
// Returns true otherwise. Writes `powers` only when N and `inputBound` are
// in range.
bool prepareFastFir(FastFir* fast, double* powers, const FirCorrector& corrector, double effect, double gain,
                    double sampleRate, double inputBound);

// Doubles of scratch memory with which fastConvolveRun can use the
// processor's vector unit for N = `halfLength`: a few times
// FAST_FIR_SEGMENT + N.
std::size_t fastFirScratchLength(std::int32_t halfLength);

// out[i] = the fast sum centred on window position firstCentre + i, for i
// in [0, count). Reads window[firstCentre - N] through
// window[firstCentre + count - 1 + N] and writes out[0 .. count - 1] only.
// When every value read has a magnitude of at most the `inputBound` given
// to prepareFastFir, |out[i] - convolveAt(corrector, window, firstCentre + i)|
// <= fast.errorBound.
//
// With `scratch` (fastFirScratchLength(N) doubles, contents irrelevant)
// and a processor that has AVX, runs of eight segments are computed in
// vector lanes; the results are the same bits either way. `scratch` may be
// null.
void fastConvolveRun(const FastFir& fast, const double* window, std::ptrdiff_t firstCentre, std::size_t count,
                     double* out, double* scratch);

// The number of i in [0, count) where low[i] and high[i] do not truncate
// toward zero to the same integer, or either is not a number or has a
// magnitude of 2^51 or more. `low` and `high` are the two ends of the error
// bound after the caller's arithmetic up to the truncation.
std::size_t countUndecided(const double* low, const double* high, std::size_t count);

// countUndecided for low[i] = (values[i] - bound) * scale and high[i] =
// (values[i] + bound) * scale, without arrays of the ends.
std::size_t countUndecidedScaled(const double* values, double bound, double scale, std::size_t count);

// Sets undecided[i] to 1 where countUndecided counts i, to 0 elsewhere.
void markUndecided(const double* low, const double* high, std::size_t count, unsigned char* undecided);

// Replaces out[i] by the exact sum (as convolveRun gives it) wherever
// undecided[i] is nonzero, for i in [0, count). Runs of undecided outputs
// separated by a few decided ones are computed as one run, which is cheaper
// than several; a decided output inside such a run gets its exact sum too,
// which its caller's decision already agrees with. Returns the number of
// outputs computed exactly. Reads the same window positions as
// fastConvolveRun.
std::size_t settleUndecided(const FirCorrector& corrector, const double* window, std::ptrdiff_t firstCentre,
                            std::size_t count, const unsigned char* undecided, double* out);

// What a caller does with the two ends of its error bound in one call:
// replaces out[i] by the exact sum wherever low[i] and high[i] leave the
// truncated value open (as countUndecided counts them), for i in
// [0, count), settling nearby ones in one run as settleUndecided does.
// Returns the number of outputs computed exactly; 0, reading no window,
// when every output is decided.
std::size_t settleRun(const FirCorrector& corrector, const double* window, std::ptrdiff_t firstCentre,
                      std::size_t count, const double* low, const double* high, double* out);

}  // namespace dsp

#endif
