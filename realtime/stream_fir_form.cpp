// The error bound of the streamed sums; every term is derived in
// docs/fir-closed-form.md (the stream's evaluation) under the same name.
#include "realtime/stream_fir_form.h"

#include <algorithm>
#include <cmath>

#include "dsp/fir_closed_form.h"

namespace realtime {

std::size_t streamFirTableLength(std::int32_t halfLength) { return dsp::closedFormTableLength(halfLength); }

bool prepareStreamFir(StreamFirForm* form, double* powers, const dsp::FirCorrector& corrector, double effect,
                      double gain, double sampleRate) {
    *form = StreamFirForm{};
    const std::int32_t halfLength = corrector.halfLength;
    if (halfLength < 1 || halfLength > (1 << 20)) return false;

    dsp::FirClosedForm closed;
    if (!dsp::prepareClosedForm(&closed, powers, corrector, effect, gain, sampleRate, dsp::PowerRounding::Nearest))
        return false;
    const double r = closed.decay;
    const double n = halfLength;
    const double taps = 2.0 * n + 1.0;
    const double tapMagnitude = closed.tapMagnitude;

    const double u = dsp::UNIT_ROUNDOFF;
    const double absAlpha = std::fabs(closed.centreWeight), absBeta = std::fabs(closed.boostWeight);
    const double absC = std::fabs(closed.averageWeight);
    const double R = closed.oneSided;                                              // >= sum of r^m, m = 0..N
    const double Q2 = std::min(r / ((1.0 - r) * (1.0 - r)), n * (n + 1.0) / 2.0);  // >= sum of m r^m, m = 1..N

    // D: the taps' distance from the closed form.
    const double D = closed.tapDistance;
    // The recursions: the parts proportional to W, and to F_max + A_max.
    const double forwardError = dsp::roundings(std::floor((n + 1.0) / 8.0) + 17.0) * R + 5.2 * u * R;
    const double futureError = 12.0 * u * R;  // P, the power, the product and the addition
    // Per unit of F_max, and of A_max: the steps' roundings, decaying, and
    // for A the joins of its (at most 4) pieces.
    const double recursionError = 2.0 * u * R + 20.0 * u;
    const double boxError = dsp::roundings(std::floor(taps / 8.0) + 14.0) * taps + n * u * (2.0 * n + 3.0);
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

    form->closed = closed;
    form->boundPerInput = K0;
    form->boundPerRecursion = K1;
    form->boundPerOutput = U;
    form->recursionReach = 2.0 * R * (1.0 + 0x1p-19);
    return true;
}

}  // namespace realtime
