// The decisions of the streaming FIR: whether the bound proves that a fast
// sum rounds to the float the exact sum would, for one frame (decideValue,
// inline for the one-frame case) and for a block's stored sums
// (stream_fir_decide.cpp, compiled once per instruction set).
#ifndef QORTA_REALTIME_STREAM_FIR_DECIDE_H
#define QORTA_REALTIME_STREAM_FIR_DECIDE_H

#include <cmath>
#include <cstdint>
#include <cstring>

#include "dsp/fir_convolve.h"
#include "realtime/stream_fir.h"
#include "realtime/stream_fir_lanes.h"

namespace realtime {

// Sets the decide entries of `functions` to the decisions compiled for
// `path` (the generic build for any path not compiled in).
void setDecisionFunctions(FirPathFunctions& functions, dsp::ConvolvePath path);

// Absolute allowance for underflow in the bound (none occurs for inputs
// that are floats, but it costs nothing).
constexpr double UNDERFLOW_ALLOWANCE = 0x1p-900;

// A float's position on the number line: consecutive floats differ by 1,
// -0.0 and +0.0 share 0.
QORTA_FIR_INLINE std::int64_t floatOrder(float value) {
    std::int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits >= 0 ? bits : -static_cast<std::int64_t>(bits & 0x7fffffff);
}

// True when every value within `bound` of `sum` rounds to a float at most
// one step from (float) sum, so that the exact sum, which lies there, does.
QORTA_FIR_INLINE bool floatDecided(double sum, double bound) {
    if (!(std::fabs(sum) <= 1e300)) return false;  // also NaN
    const std::int64_t middle = floatOrder(static_cast<float>(sum));
    return floatOrder(static_cast<float>(sum + bound)) - middle <= 1 &&
           middle - floatOrder(static_cast<float>(sum - bound)) <= 1;
}

// The decision for the sum of frame i alone, as decideSums takes it, from
// the sum and its W and F_max + A_max: writes the sum out, rounded to
// float, when the bound decides it (always while the weights glide, GLIDE);
// otherwise marks it for the exact sum, keeping its value in the channel's
// `values`, and returns true.
template <int CHANNELS, bool GLIDE>
QORTA_FIR_INLINE bool decideValue(FirStream& stream, float* const (&output)[CHANNELS], std::uint32_t i,
                                  Lanes<CHANNELS> sum, Lanes<CHANNELS> inputMax, Lanes<CHANNELS> recursionMax) {
    using L = Lanes<CHANNELS>;
    const double scale = stream.exactFallback ? stream.decisionScale : 0.0;
    const double coarseScale = stream.exactFallback ? stream.coarseScale : 0.0;
    const double allowanceScaled = UNDERFLOW_ALLOWANCE * scale;
    // The bound without its share proportional to |sum|, which the scale
    // accounts for; while the weights glide there is no exact sum to be
    // near. First with F_max + A_max at their largest possible value, a
    // multiple of W; only below that with their values.
    const L coarseFrom = coarseScale * inputMax + allowanceScaled;
    const L magnitude = absolute(sum);
    if (GLIDE || allTrue(magnitude >= coarseFrom)) {
        for (int ch = 0; ch < CHANNELS; ++ch) output[ch][i] = static_cast<float>(lane(sum, ch));
        return false;
    }
    const double perInput = stream.form.boundPerInput, perRecursion = stream.form.boundPerRecursion;
    const double perOutput = stream.form.boundPerOutput;
    bool anyUndecided = false;
    for (int ch = 0; ch < CHANNELS; ++ch) {
        const double value = lane(sum, ch);
        bool exact = false;
        if (!(lane(magnitude, ch) >= lane(coarseFrom, ch))) {
            const double fixedBound = perInput * lane(inputMax, ch) + perRecursion * lane(recursionMax, ch);
            if (!(lane(magnitude, ch) >= (fixedBound + UNDERFLOW_ALLOWANCE) * scale))
                exact = !floatDecided(value, (fixedBound + perOutput * lane(magnitude, ch)) + UNDERFLOW_ALLOWANCE);
        }
        if (exact) {
            stream.channel[ch].undecided[i] = 1;
            stream.channel[ch].values[i] = value;
            anyUndecided = true;
        } else {
            output[ch][i] = static_cast<float>(value);
        }
    }
    return anyUndecided;
}

// decideValue for the block's stored sum of frame i.
template <int CHANNELS, bool GLIDE>
QORTA_FIR_INLINE bool decideSum(FirStream& stream, float* const (&output)[CHANNELS], std::uint32_t i) {
    using L = Lanes<CHANNELS>;
    return decideValue<CHANNELS, GLIDE>(stream, output, i, make<L>(stream.blockSums.get() + CHANNELS * i),
                                        make<L>(stream.blockInputMax.get() + CHANNELS * i),
                                        make<L>(stream.blockRecursionMax.get() + CHANNELS * i));
}

}  // namespace realtime

#endif  // QORTA_REALTIME_STREAM_FIR_DECIDE_H
