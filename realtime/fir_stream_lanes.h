// The vector lanes of the streaming FIR: the forced-inline marker, the
// channels side by side (Pair, Lanes) with their lane-wise operations, and
// the eight-lane dot and box sums (Octet, dotAndBoxSums). Internal:
// included only by fir_stream.cpp and its other internal headers.
#ifndef QORTA_REALTIME_FIR_STREAM_LANES_H
#define QORTA_REALTIME_FIR_STREAM_LANES_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "realtime/state_floor.h"

namespace realtime {

namespace {

// Every function the processing call runs is forced inline into the one
// entry point per instruction set (processFrames in fir_stream.cpp), so
// that all of it is compiled for that set; the operations and their order
// stay the same.
#define QORTA_FIR_INLINE inline __attribute__((always_inline))

// Two channels side by side in one vector register.
typedef double Pair __attribute__((vector_size(16)));
// Eight partial sums side by side: lane k adds the terms i with i mod 8 = k,
// as eight scalar sums would, with the same bits. Compiled for four pairs
// of lanes, two quadruples or one register of eight, as the processor has.
typedef double Octet __attribute__((vector_size(64)));

// (Octets pass by reference: their by-value convention differs between
// instruction sets.)
QORTA_FIR_INLINE void loadOctet(Octet& octet, const double* at) { std::memcpy(&octet, at, sizeof octet); }

// Frames whose CHANNELS values lie side by side: an Octet holds 8 /
// CHANNELS of them, and the eight-lane sums below run over eight frames at
// a time in CHANNELS Octets, so that each channel's sum has the lanes it
// would have alone: lane k adds the frames i with i mod 8 = k, in order.
// Frame f of a group of eight lies in Octet f / (8 / CHANNELS), lane
// (f mod (8 / CHANNELS)) x CHANNELS + channel.
template <int CHANNELS>
constexpr int FRAMES_PER_OCTET = 8 / CHANNELS;

typedef double Quad __attribute__((vector_size(32)));

// The weights of 8 / CHANNELS consecutive frames, each repeated for the
// channels of its frame.
template <int CHANNELS>
QORTA_FIR_INLINE void loadFrameWeights(Octet& octet, const double* weights);
template <>
QORTA_FIR_INLINE void loadFrameWeights<1>(Octet& octet, const double* weights) {
    loadOctet(octet, weights);
}
template <>
QORTA_FIR_INLINE void loadFrameWeights<2>(Octet& octet, const double* weights) {
    Quad quad;
    std::memcpy(&quad, weights, sizeof quad);
    octet = __builtin_shufflevector(quad, quad, 0, 0, 1, 1, 2, 2, 3, 3);
}

// One channel's eight lanes in `acc` added as ((0 + 1) + (2 + 3)) + ((4 +
// 5) + (6 + 7)), lanes in frame order.
template <int CHANNELS>
QORTA_FIR_INLINE double combineChannel(const Octet (&acc)[CHANNELS], int ch) {
    double lanes[8];
    for (int f = 0; f < 8; ++f)
        lanes[f] = acc[f / FRAMES_PER_OCTET<CHANNELS>][(f % FRAMES_PER_OCTET<CHANNELS>)*CHANNELS + ch];
    return ((lanes[0] + lanes[1]) + (lanes[2] + lanes[3])) + ((lanes[4] + lanes[5]) + (lanes[6] + lanes[7]));
}

// Per channel, over frames whose CHANNELS values lie side by side, in one
// pass: dot[ch] = the sum of weights[i] x at[i x CHANNELS + ch] over i <
// dotTerms, and box[ch] = the sum of at[i x CHANNELS + ch] over i <
// boxTerms (>= dotTerms), each in eight interleaved partial sums (any
// order is covered by the bound); largest[ch] receives the largest
// magnitude of the box's values (NaNs left out), taken as the larger of
// the largest value and the negated smallest, which is exact and needs no
// magnitudes.
template <int CHANNELS>
QORTA_FIR_INLINE void dotAndBoxSums(const double* weights, const double* at, std::size_t dotTerms,
                                    std::size_t boxTerms, double (&dot)[CHANNELS], double (&box)[CHANNELS],
                                    double (&largest)[CHANNELS]) {
    Octet dotAcc[CHANNELS], boxAcc[CHANNELS];
    for (int h = 0; h < CHANNELS; ++h) dotAcc[h] = boxAcc[h] = Octet{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    Octet top = boxAcc[0], bottom = boxAcc[0];
    std::size_t i = 0;
    // Both sums while the dot's eight-frame groups last.
    for (; i + 8 <= dotTerms; i += 8)
        for (int h = 0; h < CHANNELS; ++h) {
            Octet weight, values;
            loadFrameWeights<CHANNELS>(weight, weights + i + h * FRAMES_PER_OCTET<CHANNELS>);
            loadOctet(values, at + CHANNELS * i + 8 * h);
            dotAcc[h] += weight * values;
            boxAcc[h] += values;
            top = values > top ? values : top;
            bottom = values < bottom ? values : bottom;
        }
    for (std::size_t j = i; j < dotTerms; ++j)
        for (int ch = 0; ch < CHANNELS; ++ch) dotAcc[0][ch] += weights[j] * at[CHANNELS * j + ch];
    // The box goes on from the same frame, each in its lane as before.
    for (; i + 8 <= boxTerms; i += 8)
        for (int h = 0; h < CHANNELS; ++h) {
            Octet values;
            loadOctet(values, at + CHANNELS * i + 8 * h);
            boxAcc[h] += values;
            top = values > top ? values : top;
            bottom = values < bottom ? values : bottom;
        }
    for (int ch = 0; ch < CHANNELS; ++ch) {
        double high = 0.0;
        // 0.0 - bottom: +0.0 also where the smallest value is -0.0.
        for (int k = ch; k < 8; k += CHANNELS) high = std::max(high, std::max(top[k], 0.0 - bottom[k]));
        for (std::size_t j = i; j < boxTerms; ++j) {
            boxAcc[0][ch] += at[CHANNELS * j + ch];
            high = std::max(high, std::fabs(at[CHANNELS * j + ch]));
        }
        largest[ch] = high;
        box[ch] = combineChannel<CHANNELS>(boxAcc, ch);
        dot[ch] = combineChannel<CHANNELS>(dotAcc, ch);
    }
}

// The channels side by side: one double for mono, a pair of doubles in one
// vector register for stereo. Every operation acts on each lane as the
// scalar operation would, with the same bits.
template <int CHANNELS>
using Lanes = typename std::conditional<CHANNELS == 2, Pair, double>::type;

QORTA_FIR_INLINE double lane(double v, int) { return v; }
QORTA_FIR_INLINE double lane(Pair v, int ch) { return v[ch]; }
QORTA_FIR_INLINE double absolute(double v) { return std::fabs(v); }
// The lanes' bits as integers, for the operations below that act on bits.
typedef long long PairBits __attribute__((vector_size(16)));
// The sign bit cleared: one logical operation, short in the DC filter's
// chain from one sample to the next.
QORTA_FIR_INLINE Pair absolute(Pair v) {
    return reinterpret_cast<Pair>(reinterpret_cast<PairBits>(v) & PairBits{INT64_MAX, INT64_MAX});
}
QORTA_FIR_INLINE double larger(double a, double b) { return std::max(a, b); }
QORTA_FIR_INLINE Pair larger(Pair a, Pair b) { return a < b ? b : a; }
// |y| below STATE_FLOOR or NaN gives +0.0, as flushTiny.
QORTA_FIR_INLINE double flushed(double y) { return std::fabs(y) >= STATE_FLOOR ? y : 0.0; }
QORTA_FIR_INLINE Pair flushed(Pair y) {
    return reinterpret_cast<Pair>(reinterpret_cast<PairBits>(y) & (absolute(y) >= STATE_FLOOR));
}

template <class L>
L make(const double* values);
template <>
QORTA_FIR_INLINE double make<double>(const double* values) {
    return values[0];
}
template <>
QORTA_FIR_INLINE Pair make<Pair>(const double* values) {
    return Pair{values[0], values[1]};
}

QORTA_FIR_INLINE void store(double* at, double value) { *at = value; }
QORTA_FIR_INLINE void store(double* at, Pair value) { std::memcpy(at, &value, sizeof value); }
// True when the comparison holds in every lane.
QORTA_FIR_INLINE bool allTrue(bool holds) { return holds; }
QORTA_FIR_INLINE bool allTrue(PairBits holds) { return (holds[0] & holds[1]) != 0; }

}  // namespace

}  // namespace realtime

#endif  // QORTA_REALTIME_FIR_STREAM_LANES_H
