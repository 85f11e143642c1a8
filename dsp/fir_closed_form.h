// The closed form of the FIR corrector's kernel, shared by the console's
// fast sums (fir_fast.h) and the stream (realtime/stream_fir_form.h): with
// T = 100 / rate, r = exp(-T), alpha = gain x 0.01 and beta = alpha x S x T
// (S = effect x 0.25), tap k is close to
//   g_k = alpha delta(k) + beta r^|k| - c,   c = beta r^(N+1) + 1 / (2N + 1),
// so that the centred sum at p is close to
//   alpha w[p] + beta ((F[p] + G[p]) - w[p]) - c B[p],
// F and G the one-sided sums of r^m w over m = 0..N towards the past and the
// future, B the plain sum of the 2N + 1 values. prepareClosedForm computes
// these doubles, the table of powers, and the terms that both evaluations'
// error bounds share; docs/fir-closed-form.md derives both bounds.
#ifndef QORTA_DSP_FIR_CLOSED_FORM_H
#define QORTA_DSP_FIR_CLOSED_FORM_H

#include <cstddef>
#include <cstdint>

#include "dsp/fir_corrector.h"

namespace dsp {

// u: the relative error of one rounding to double (round to nearest).
constexpr double UNIT_ROUNDOFF = 0x1p-53;

// gamma(n) = n u / (1 - n u): the relative error of n roundings in a row.
inline double roundings(double n) { return n * UNIT_ROUNDOFF / (1.0 - n * UNIT_ROUNDOFF); }

// How the powers of r are computed; each evaluation's bound is derived for
// its own.
enum class PowerRounding {
    Chained,  // P_m = P_(m-1) x r, rounded: m - 1 roundings (the console's fast sums)
    Nearest,  // each rounded once from a double-double power: within 2 u of r^m (the stream)
};

struct FirClosedForm {
    std::int32_t halfLength = 0;     // N, as in the kernel
    double decayStep = 0.0;          // T = 100 / rate
    double decay = 0.0;              // r = exp(-T)
    double leaving = 0.0;            // r^(N+1) as computed: the weight of the sample leaving a one-sided sum
    double centreWeight = 0.0;       // alpha = gain x 0.01
    double boostWeight = 0.0;        // beta = alpha x S x T
    double averageWeight = 0.0;      // c = beta x leaving + 1 / (2N + 1)
    const double* powers = nullptr;  // r^m for m = 0 .. N + 1, then r^N down to r^0 (caller-owned)
    // The terms both bounds share.
    double oneSided = 0.0;      // R = min(N + 1, 1 / (1 - r)): bounds the sum of r^m, m = 0..N
    double tapDistance = 0.0;   // D: bounds the sum of |h_k - g_k| over the built taps h_k
    double tapMagnitude = 0.0;  // the sum of |h_k|
};

// Doubles in the table of powers: 2N + 3.
std::size_t closedFormTableLength(std::int32_t halfLength);

// Prepares `form` for the kernel in `corrector` (filled by fillKernel or
// fillKernelFromTable from the same `effect`, `gain` and `sampleRate`),
// writing the powers into `powers` (closedFormTableLength(N) doubles, kept
// alive as long as `form` is used). Reads every tap once: O(N). Returns
// false when N < 1, r is not strictly between 0 and 1, r^(N+1) as computed
// is below 2^-900 (so that a power could underflow), or alpha, beta, c or
// the tap terms are not finite; `form` is then left empty.
bool prepareClosedForm(FirClosedForm* form, double* powers, const FirCorrector& corrector, double effect,
                       double gain, double sampleRate, PowerRounding rounding);

}  // namespace dsp

#endif
