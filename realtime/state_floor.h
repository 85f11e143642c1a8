// The floor below which a recursive state is set to zero, so that silence
// after a loud passage never leaves subnormal numbers in a state (which are
// slow on many processors) nor keeps a state decaying for minutes.
//
// Why 1e-200 cannot change a float output: every nonzero value a corrector
// computes from float input is far above it (the smallest float is about
// 1.4e-45, and the coefficients lie between about 1e-50 and 1e4), so a state
// below 1e-200, and anything it contributes through the stable recursions
// (at most 1e4 times its size), is below half a double step of every
// nonzero value it is added to and vanishes in that addition. It survives
// only in values that are themselves far below the smallest float, which
// round to a float zero either way; only the sign of such a zero can differ.
#ifndef QORTA_REALTIME_STATE_FLOOR_H
#define QORTA_REALTIME_STATE_FLOOR_H

#include <cfloat>
#include <cmath>

namespace realtime {

constexpr double STATE_FLOOR = 1e-200;

// Sets `state` to +0.0 when its magnitude is below STATE_FLOOR or it is not
// a number (so that one NaN input does not silence a stream for good).
inline void flushTiny(double& state) {
    if (!(std::fabs(state) >= STATE_FLOOR)) state = 0.0;
}

// An input sample as the correctors take it: an infinity or NaN as 0.0,
// so that no state ever holds one.
inline float finiteOrZero(float sample) { return std::fabs(sample) <= FLT_MAX ? sample : 0.0f; }

// The float written for the double `value`: value rounded to float, with a
// zero always written as +0.0 (see above: the flush may change the sign of
// a zero, never anything else).
inline float toOutput(double value) { return static_cast<float>(value) + 0.0f; }

}  // namespace realtime

#endif
