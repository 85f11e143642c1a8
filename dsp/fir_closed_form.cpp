// The closed form's parameters, its table of powers and the error terms the
// console's and the stream's bounds share; docs/fir-closed-form.md derives
// every term under the same name.
#include "dsp/fir_closed_form.h"

#include <algorithm>
#include <cmath>

#include "dsp/strength.h"

namespace dsp {

namespace {

// a x b = high + low exactly (Dekker's product; no fused operations).
void exactProduct(double a, double b, double* high, double* low) {
    constexpr double SPLIT = 134217729.0;  // 2^27 + 1
    const double ca = SPLIT * a, cb = SPLIT * b;
    const double ah = ca - (ca - a), al = a - ah;
    const double bh = cb - (cb - b), bl = b - bh;
    *high = a * b;
    *low = (((ah * bh - *high) + ah * bl) + al * bh) + al * bl;
}

// powers[m] = r^m for m = 0 .. count - 1, each the double nearest to a
// double-double power whose relative error stays below 3 m u^2.
void fillNearestPowers(double* powers, std::int32_t count, double r) {
    double high = 1.0, low = 0.0;
    powers[0] = 1.0;
    for (std::int32_t m = 1; m < count; ++m) {
        double productHigh, productLow;
        exactProduct(high, r, &productHigh, &productLow);
        const double tail = productLow + low * r;
        high = productHigh + tail;
        low = tail - (high - productHigh);
        powers[m] = high;
    }
}

// powers[m] = powers[m - 1] x r, rounded, for m = 1 .. count - 1.
void fillChainedPowers(double* powers, std::int32_t count, double r) {
    powers[0] = 1.0;
    for (std::int32_t m = 1; m < count; ++m) powers[m] = powers[m - 1] * r;
}

}  // namespace

std::size_t closedFormTableLength(std::int32_t halfLength) {
    return halfLength < 0 ? 0 : 2 * static_cast<std::size_t>(halfLength) + 3;
}

bool prepareClosedForm(FirClosedForm* form, double* powers, const FirCorrector& corrector, double effect,
                       double gain, double sampleRate, PowerRounding rounding) {
    *form = FirClosedForm{};
    const std::int32_t halfLength = corrector.halfLength;
    if (halfLength < 1) return false;

    // Only the computed values matter: the closed form is defined by them,
    // and the built taps are measured against it.
    const double decayStep = 100.0 / sampleRate;
    const double r = std::exp(-decayStep);
    if (!(r > 0.0 && r < 1.0)) return false;
    if (rounding == PowerRounding::Chained)
        fillChainedPowers(powers, halfLength + 2, r);
    else
        fillNearestPowers(powers, halfLength + 2, r);
    // The same powers in reverse, for the sums that run towards the past.
    for (std::int32_t m = 0; m <= halfLength; ++m) powers[2 * halfLength + 2 - m] = powers[m];
    const double leaving = powers[halfLength + 1];
    if (!(leaving >= 0x1p-900)) return false;  // the powers stay clear of underflow
    const double alpha = gain * 0.01;
    const double beta = alpha * strengthFromEffect(effect) * decayStep;
    const double n = halfLength;
    const double c = beta * leaving + 1.0 / (2.0 * n + 1.0);
    if (!std::isfinite(alpha) || !std::isfinite(beta) || !std::isfinite(c)) return false;

    // The built taps h_k against the closed form's taps as computed,
    // g_k = fl(fl(beta P_|k|) - c) and g_0 = fl(fl(alpha + beta) - c), over
    // ascending k.
    double deviation = 0.0, closedMagnitude = 0.0, tapMagnitude = 0.0;
    for (std::int32_t k = -halfLength; k <= halfLength; ++k) {
        const double h = corrector.kernel[halfLength + k];
        const double g = k == 0 ? (alpha + beta) - c : beta * powers[k < 0 ? -k : k] - c;
        deviation += std::fabs(h - g);
        closedMagnitude += std::fabs(g);
        tapMagnitude += std::fabs(h);
    }
    const double u = UNIT_ROUNDOFF;
    const double absAlpha = std::fabs(alpha), absBeta = std::fabs(beta);
    const double oneSided = std::min(n + 1.0, 1.0 / (1.0 - r));
    // The relative error of fl(beta P_m) against beta r^m: m roundings for
    // chained powers, 2 u and one rounding for the nearest ones.
    const double powerError = rounding == PowerRounding::Chained ? roundings(n) : 3.1 * u;
    // D: the taps' distance from the closed form, the measurement's own
    // rounding included.
    const double tapDistance =
        deviation + powerError * absBeta * 2.0 * oneSided + u * closedMagnitude + u * (absAlpha + absBeta);
    if (!std::isfinite(tapDistance) || !std::isfinite(tapMagnitude)) return false;

    form->halfLength = halfLength;
    form->decayStep = decayStep;
    form->decay = r;
    form->leaving = leaving;
    form->centreWeight = alpha;
    form->boostWeight = beta;
    form->averageWeight = c;
    form->powers = powers;
    form->oneSided = oneSided;
    form->tapDistance = tapDistance;
    form->tapMagnitude = tapMagnitude;
    return true;
}

}  // namespace dsp
