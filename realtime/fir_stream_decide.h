// The decisions of the streaming FIR: whether the bound proves that a fast
// sum rounds to the float the exact sum would (floatDecided, decideSum,
// decideSums), writing decided sums out and marking the others for the
// exact sum. Internal: included only by fir_stream.cpp and its other
// internal headers.
#ifndef QORTA_REALTIME_FIR_STREAM_DECIDE_H
#define QORTA_REALTIME_FIR_STREAM_DECIDE_H

#include <cmath>
#include <cstdint>
#include <cstring>

#include "realtime/fir_stream.h"
#include "realtime/fir_stream_lanes.h"

namespace realtime {

namespace {

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

typedef long long OctetBits __attribute__((vector_size(64)));
typedef float FloatOctet __attribute__((vector_size(32)));

// magnitude = |values| lane by lane: the sign bits cleared, as absolute().
QORTA_FIR_INLINE void takeMagnitudes(Octet& magnitude, const Octet& values) {
    magnitude = reinterpret_cast<Octet>(reinterpret_cast<OctetBits>(values) & INT64_MAX);
}

// True when the comparison holds in every lane.
QORTA_FIR_INLINE bool everyLane(const OctetBits& holds) {
    // Halved three times, so that it stays in vector registers.
    const OctetBits four = holds & __builtin_shufflevector(holds, holds, 4, 5, 6, 7, 0, 1, 2, 3);
    const OctetBits two = four & __builtin_shufflevector(four, four, 2, 3, 0, 1, 2, 3, 0, 1);
    return (two[0] & two[1]) != 0;
}

// Writes the sums of FRAMES_PER_OCTET frames from frame i on, channels
// side by side in `sums`, rounded to float to output[ch][i ...].
template <int CHANNELS>
QORTA_FIR_INLINE void writeFloats(float* const (&output)[CHANNELS], std::uint32_t i, const Octet& sums);
template <>
QORTA_FIR_INLINE void writeFloats<1>(float* const (&output)[1], std::uint32_t i, const Octet& sums) {
    const FloatOctet floats = __builtin_convertvector(sums, FloatOctet);
    std::memcpy(output[0] + i, &floats, sizeof floats);
}
template <>
QORTA_FIR_INLINE void writeFloats<2>(float* const (&output)[2], std::uint32_t i, const Octet& sums) {
    FloatOctet floats = __builtin_convertvector(sums, FloatOctet);
    floats = __builtin_shufflevector(floats, floats, 0, 2, 4, 6, 1, 3, 5, 7);  // the channels apart
    std::memcpy(output[0] + i, &floats, sizeof floats / 2);
    std::memcpy(output[1] + i, reinterpret_cast<const char*>(&floats) + sizeof floats / 2, sizeof floats / 2);
}

// The decision of decideSums for the sum of frame i alone.
template <int CHANNELS, bool GLIDE>
QORTA_FIR_INLINE bool decideSum(FirStream& stream, float* const (&output)[CHANNELS], std::uint32_t i) {
    using L = Lanes<CHANNELS>;
    const double perInput = stream.form.boundPerInput, perRecursion = stream.form.boundPerRecursion;
    const double perOutput = stream.form.boundPerOutput;
    const double scale = stream.exactFallback ? stream.decisionScale : 0.0;
    const double coarseScale = stream.exactFallback ? stream.coarseScale : 0.0;
    const double allowanceScaled = UNDERFLOW_ALLOWANCE * scale;
    const double* const sums = stream.blockSums.get();
    const double* const inputMaxima = stream.blockInputMax.get();
    const double* const recursionMaxima = stream.blockRecursionMax.get();
    bool anyUndecided = false;
    {
        const L sum = make<L>(sums + CHANNELS * i);
        // The bound without its share proportional to |sum|, which the
        // scale accounts for; while the weights glide there is no exact
        // sum to be near.
        // First with F_max + A_max at their largest possible value, a
        // multiple of W; only below that with their values.
        const L inputMax = make<L>(inputMaxima + CHANNELS * i);
        const L coarseFrom = coarseScale * inputMax + allowanceScaled;
        const L magnitude = absolute(sum);
        if (GLIDE || allTrue(magnitude >= coarseFrom)) {
            for (int ch = 0; ch < CHANNELS; ++ch) output[ch][i] = static_cast<float>(lane(sum, ch));
            return false;
        }
        const L recursionMax = make<L>(recursionMaxima + CHANNELS * i);
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
    }
    return anyUndecided;
}

// Writes out the block's stored sums [from, to) that the bound decides
// (all of them while the weights glide, GLIDE); marks the others for the
// exact sum, keeping their value in the channel's `values`. Returns true
// when it marked any.
template <int CHANNELS, bool GLIDE>
QORTA_FIR_INLINE bool decideSums(FirStream& stream, float* const* out, std::uint32_t from, std::uint32_t to) {
    // A sum is decided without looking closer when |sum| >= (K0 W + K1 (F_max
    // + A_max) + 2^-900) x scale: then the whole bound is at most 2^-26 |sum|,
    // so every value within it lies within one float step of the sum (the
    // spacing of floats near |sum| exceeds 2^-24 (|sum| - bound)); the factor
    // 1 + 2^-40 covers the rounding of that test. Without the fallback, every
    // sum is taken as decided.
    const double scale = stream.exactFallback ? stream.decisionScale : 0.0;
    const double coarseScale = stream.exactFallback ? stream.coarseScale : 0.0;
    const double allowanceScaled = UNDERFLOW_ALLOWANCE * scale;
    const double* const sums = stream.blockSums.get();
    const double* const inputMaxima = stream.blockInputMax.get();
    bool anyUndecided = false;
    // The output pointers in locals too: the float stores below could
    // otherwise be taken to change them.
    float* output[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) output[ch] = out[ch];
    // First FRAMES_PER_OCTET frames at a time with the coarse test below:
    // when every sum of them passes it (the usual case), they are written
    // out together; otherwise each frame takes the loop below.
    constexpr std::uint32_t STEP = FRAMES_PER_OCTET<CHANNELS>;
    std::uint32_t i = from;
    while (i < to) {
        std::uint32_t frameEnd = i + 1;
        if (to - i >= STEP) {
            Octet sum, inputMax, magnitude;
            loadOctet(sum, sums + CHANNELS * i);
            loadOctet(inputMax, inputMaxima + CHANNELS * i);
            takeMagnitudes(magnitude, sum);
            if (GLIDE || everyLane(magnitude >= coarseScale * inputMax + allowanceScaled)) {
                writeFloats<CHANNELS>(output, i, sum);
                i += STEP;
                continue;
            }
            frameEnd = i + STEP;
        }
        for (; i < frameEnd; ++i) anyUndecided = decideSum<CHANNELS, GLIDE>(stream, output, i) || anyUndecided;
    }
    return anyUndecided;
}

}  // namespace

}  // namespace realtime

#endif  // QORTA_REALTIME_FIR_STREAM_DECIDE_H
