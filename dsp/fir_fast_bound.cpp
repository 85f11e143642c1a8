// Preparation of the fast FIR form and its error bound. Every term below is
// derived, line by line, in docs/fast-fir.md; the names follow it.
#include <algorithm>
#include <cmath>

#include "dsp/fir_fast.h"
#include "dsp/strength.h"

namespace dsp {

namespace {

constexpr double UNIT_ROUNDOFF = 0x1p-53;  // u: the relative error of one rounding

// gamma(n) = n u / (1 - n u): the relative error of n roundings in a row.
double roundings(double n) { return n * UNIT_ROUNDOFF / (1.0 - n * UNIT_ROUNDOFF); }

bool finite(double x) { return std::isfinite(x); }

}  // namespace

TapDistance measureTapDistance(const FirCorrector& corrector, double alpha, double beta, double c,
                               const double* powers) {
    TapDistance distance;
    const std::int32_t n = corrector.halfLength;
    for (std::int32_t k = -n; k <= n; ++k) {
        const double h = corrector.kernel[n + k];
        const double g = k == 0 ? (alpha + beta) - c : beta * powers[k < 0 ? -k : k] - c;
        distance.deviation += std::fabs(h - g);
        distance.closedMagnitude += std::fabs(g);
        distance.tapMagnitude += std::fabs(h);
    }
    return distance;
}

std::size_t fastFirTableLength(std::int32_t halfLength) {
    return halfLength < 0 ? 0 : 2 * (static_cast<std::size_t>(halfLength) + 1);
}

bool prepareFastFir(FastFir* fast, double* powers, const FirCorrector& corrector, double effect, double gain,
                    double sampleRate, double inputBound) {
    *fast = FastFir{};
    const std::int32_t halfLength = corrector.halfLength;
    if (halfLength < 1 || halfLength > FAST_FIR_MAX_HALF_LENGTH) return false;
    // Within these limits every term of the bound stays clear of underflow,
    // and an underflow in the sums is covered by the bound; below them an
    // underflow in the recursions, which the boost weight multiplies, is not.
    if (!(inputBound >= 0x1p-900 && inputBound <= 0x1p100)) return false;

    // The closed form's parameters. Only their computed values matter: the
    // closed form is defined by them, and the taps are measured against it.
    const double decayStep = 100.0 / sampleRate;
    const double r = std::exp(-decayStep);
    if (!(r > 0.0 && r < 1.0)) return false;
    const double alpha = gain * 0.01;
    const double beta = alpha * strengthFromEffect(effect) * decayStep;
    powers[0] = 1.0;
    for (std::int32_t m = 1; m <= halfLength; ++m) powers[m] = powers[m - 1] * r;
    const double leaving = powers[halfLength] * r;
    // The same powers in reverse, for the sums that run towards the past.
    for (std::int32_t m = 0; m <= halfLength; ++m) powers[2 * halfLength + 1 - m] = powers[m];
    if (!(leaving >= 0x1p-900)) return false;  // the powers stay clear of underflow
    const double n = halfLength;
    const double taps = 2.0 * n + 1.0;
    const double c = beta * leaving + 1.0 / taps;
    if (!finite(alpha) || !finite(beta) || !finite(c)) return false;

    // The built taps h against the closed form's taps g.
    const TapDistance distance = measureTapDistance(corrector, alpha, beta, c, powers);
    const double tapMagnitude = distance.tapMagnitude, deviation = distance.deviation;
    const double closedMagnitude = distance.closedMagnitude;

    const double u = UNIT_ROUNDOFF;
    const double W = inputBound;
    const double absAlpha = std::fabs(alpha), absBeta = std::fabs(beta), absC = std::fabs(c);
    const double oneSided = std::min(n + 1.0, 1.0 / (1.0 - r));  // R: bounds sum of r^m, m = 0..N
    const double steps = static_cast<double>(FAST_FIR_SEGMENT) - 1.0;
    const double decaySteps = std::min(steps, 1.0 / (1.0 - r));  // R_L: bounds sum of r^i over a segment

    // The taps' distance from the closed form (D), the measurement's own
    // rounding included.
    const double tapDistance =
        deviation + roundings(n) * absBeta * 2.0 * oneSided + u * closedMagnitude + u * (absAlpha + absBeta);
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
    if (!finite(bound) || !finite(tapMagnitude)) return false;

    fast->halfLength = halfLength;
    fast->decay = r;
    fast->leaving = leaving;
    fast->centreWeight = alpha;
    fast->boostWeight = beta;
    fast->averageWeight = c;
    fast->powers = powers;
    fast->errorBound = bound;
    return true;
}

}  // namespace dsp
