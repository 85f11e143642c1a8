// The error bound of the console's fast FIR sums. Every term below is
// derived, line by line, in docs/fir-closed-form.md (the console's
// evaluation); the names follow it.
#include <algorithm>
#include <cmath>

#include "dsp/fir_closed_form.h"
#include "dsp/fir_fast.h"

namespace dsp {

std::size_t fastFirTableLength(std::int32_t halfLength) { return closedFormTableLength(halfLength); }

bool prepareFastFir(FastFir* fast, double* powers, const FirCorrector& corrector, double effect, double gain,
                    double sampleRate, double inputBound) {
    *fast = FastFir{};
    const std::int32_t halfLength = corrector.halfLength;
    if (halfLength < 1 || halfLength > FAST_FIR_MAX_HALF_LENGTH) return false;
    // Within these limits every term of the bound stays clear of underflow,
    // and an underflow in the sums is covered by the bound; below them an
    // underflow in the recursions, which the boost weight multiplies, is not.
    if (!(inputBound >= 0x1p-900 && inputBound <= 0x1p100)) return false;

    FirClosedForm form;
    if (!prepareClosedForm(&form, powers, corrector, effect, gain, sampleRate, PowerRounding::Chained)) return false;
    const double r = form.decay, leaving = form.leaving;
    const double n = halfLength;
    const double taps = 2.0 * n + 1.0;
    const double tapMagnitude = form.tapMagnitude;

    const double u = UNIT_ROUNDOFF;
    const double W = inputBound;
    const double absAlpha = std::fabs(form.centreWeight), absBeta = std::fabs(form.boostWeight);
    const double absC = std::fabs(form.averageWeight);
    const double oneSided = form.oneSided;  // R: bounds sum of r^m, m = 0..N
    const double steps = static_cast<double>(FAST_FIR_SEGMENT) - 1.0;
    const double decaySteps = std::min(steps, 1.0 / (1.0 - r));  // R_L: bounds sum of r^i over a segment

    // The taps' distance from the closed form (D), the measurement's own
    // rounding included.
    const double tapDistance = form.tapDistance;
    // The one-sided recursions (e_F, also e_G): direct start, then the
    // rounding and the leaving weight's error of every step.
    const double startError = roundings(2.0 * n + 2.0) * W * oneSided;
    const double stepError = W * (5.0 * u * oneSided + 7.0 * u + 2.0 * roundings(n) * leaving);
    const double oneSidedError = startError + stepError * decaySteps;
    // The running sum (e_B) and the two-sided sum (e_X).
    const double boxError = roundings(2.0 * n) * taps * W + steps * u * W * (4.0 * n + 8.0);
    const double twoSidedError = 2.0 * oneSidedError + 11.0 * u * W * oneSided;
    // The magnitudes the derivation assumes hold only while these errors
    // stay below the sums they are errors of.
    if (!(oneSidedError <= W * oneSided && twoSidedError <= W * oneSided && boxError <= taps * W)) return false;
    // M bounds every intermediate of the final combination.
    const double magnitude = W * (absAlpha + 4.0 * absBeta * oneSided + 2.0 * absC * taps);
    const double fastError = absBeta * twoSidedError + absC * boxError + 4.0 * u * magnitude;
    // The exact ascending sum's own rounding.
    const double exactError = roundings(taps) * W * tapMagnitude;

    const double total = exactError + W * tapDistance + fastError;
    // Doubled to cover the rounding of this very computation and of
    // value -+ bound at the caller; 2^-900 covers every underflow.
    const double bound = 2.0 * (total + 2.0 * u * magnitude) + 0x1p-900;
    if (!std::isfinite(bound)) return false;

    fast->form = form;
    fast->errorBound = bound;
    return true;
}

}  // namespace dsp
