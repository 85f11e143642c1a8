// The closed form's weights and the error bound of the streamed sums; every
// term is derived in docs/realtime-fir.md under the same name.
#include "realtime/stream_fir_form.h"

#include <algorithm>
#include <cmath>

#include "dsp/fir_fast.h"
#include "dsp/strength.h"

namespace realtime {

namespace {

constexpr double UNIT_ROUNDOFF = 0x1p-53;  // u

// gamma(n) = n u / (1 - n u).
double roundings(double n) { return n * UNIT_ROUNDOFF / (1.0 - n * UNIT_ROUNDOFF); }

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
void fillPowers(double* powers, std::int32_t count, double r) {
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

}  // namespace

std::size_t streamFirTableLength(std::int32_t halfLength) {
    return halfLength < 0 ? 0 : 2 * static_cast<std::size_t>(halfLength) + 3;
}

bool prepareStreamFir(StreamFirForm* form, double* powers, const dsp::FirCorrector& corrector, double effect,
                      double gain, double sampleRate) {
    *form = StreamFirForm{};
    const std::int32_t halfLength = corrector.halfLength;
    if (halfLength < 1 || halfLength > (1 << 20)) return false;

    const double decayStep = 100.0 / sampleRate;
    const double r = std::exp(-decayStep);
    if (!(r > 0.0 && r < 1.0)) return false;
    fillPowers(powers, halfLength + 2, r);
    for (std::int32_t m = 0; m <= halfLength; ++m) powers[2 * halfLength + 2 - m] = powers[m];
    const double leaving = powers[halfLength + 1];
    if (!(leaving >= 0x1p-900)) return false;
    const double alpha = gain * 0.01;
    const double beta = alpha * dsp::strengthFromEffect(effect) * decayStep;
    const double n = halfLength;
    const double taps = 2.0 * n + 1.0;
    const double c = beta * leaving + 1.0 / taps;
    if (!std::isfinite(alpha) || !std::isfinite(beta) || !std::isfinite(c)) return false;

    // The built taps against the closed form's, and their magnitudes.
    const dsp::TapDistance distance = dsp::measureTapDistance(corrector, alpha, beta, c, powers);
    const double deviation = distance.deviation, closedMagnitude = distance.closedMagnitude;
    const double tapMagnitude = distance.tapMagnitude;

    const double u = UNIT_ROUNDOFF;
    const double absAlpha = std::fabs(alpha), absBeta = std::fabs(beta), absC = std::fabs(c);
    const double R = std::min(n + 1.0, 1.0 / (1.0 - r));                           // >= sum of r^m, m = 0..N
    const double Q2 = std::min(r / ((1.0 - r) * (1.0 - r)), n * (n + 1.0) / 2.0);  // >= sum of m r^m, m = 1..N

    // D: the taps' distance from the closed form.
    const double D = deviation + 3.1 * u * absBeta * 2.0 * R + u * closedMagnitude + u * (absAlpha + absBeta);
    // The recursions: the parts proportional to W, and to F_max + A_max.
    const double forwardError = roundings(std::floor((n + 1.0) / 8.0) + 17.0) * R + 5.2 * u * R;
    const double futureError = 12.0 * u * R;  // P, the power, the product and the addition
    // Per unit of F_max, and of A_max: the steps' roundings, decaying, and
    // for A the joins of its (at most 4) pieces.
    const double recursionError = 2.0 * u * R + 20.0 * u;
    const double boxError = roundings(std::floor(taps / 8.0) + 14.0) * taps + n * u * (2.0 * n + 3.0);
    const double twoSidedError = forwardError + futureError + u * (4.0 * R + 1.0);
    // The assumption that every computed sum is within 2^-20 of its size
    // of the exact one, checked with F_max, A_max <= W R.
    const double worstTwoSided = twoSidedError + 2.0 * recursionError * R;
    if (!(worstTwoSided <= 0x1p-20 * R && boxError <= 0x1p-20 * taps)) return false;
    const double magnitude = absAlpha + absBeta * (2.0 * R + 1.0) + absC * taps;  // M
    const double fastError = absBeta * twoSidedError + absC * boxError + 2.0 * u * magnitude;
    // The exact ascending sum's own rounding, apart from its share in U.
    const double exactError = u * (tapMagnitude + 2.0 * absBeta * Q2 + absC * n * (n + 1.0) + taps * D);
    const double carried = 1.0 + u * (n + 1.0);  // the fast sum's error also enters the exact one's

    // 1.01 covers every second-order term and the rounding of this very
    // computation and of the bound at the caller.
    const double K0 = 1.01 * (D + exactError + carried * fastError);
    const double K1 = 1.01 * carried * absBeta * recursionError;
    const double U = 1.01 * u * (n + 3.0);
    if (!std::isfinite(K0) || !std::isfinite(K1)) return false;

    form->halfLength = halfLength;
    form->decay = r;
    form->leaving = leaving;
    form->centreWeight = alpha;
    form->boostWeight = beta;
    form->averageWeight = c;
    form->powers = powers;
    form->boundPerInput = K0;
    form->boundPerRecursion = K1;
    form->boundPerOutput = U;
    form->recursionReach = 2.0 * R * (1.0 + 0x1p-19);
    return true;
}

}  // namespace realtime
