// The vector lanes of the streaming FIR's processing: the forced-inline
// marker, the channels side by side (Pair, Lanes) with their lane-wise
// operations, and eight doubles side by side (Octet). Inline functions only,
// without instruction-set attributes of their own: each is compiled into
// the entry point of the instruction set that calls it.
#ifndef QORTA_REALTIME_STREAM_FIR_LANES_H
#define QORTA_REALTIME_STREAM_FIR_LANES_H

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "realtime/state_floor.h"

namespace realtime {

// Every function the processing runs is forced inline into the entry points
// of its instruction set (the tables of stream_fir_samples.cpp,
// stream_fir_chunk.cpp and stream_fir_decide.cpp), so that all of it is
// compiled for that set; the operations and their order stay the same.
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

typedef double Quad __attribute__((vector_size(32)));

// Eight lanes held as 8 / WIDTH parts of WIDTH doubles (Part<WIDTH>[8 /
// WIDTH]), lane e in lane e mod WIDTH of part e / WIDTH: for AVX two Quads,
// because with AVX but neither AVX2 nor AVX-512 GCC keeps an Octet in
// memory and compiles a selection or a comparison over it lane by lane; for
// AVX-512 and the generic build one Octet, which they handle better than
// two Quads. The operations lane by lane are the same either way.
template <int WIDTH>
using Part = typename std::conditional<WIDTH == 4, Quad, Octet>::type;
template <int WIDTH>
constexpr int PARTS = 8 / WIDTH;

// parts = at[0 .. 7].
template <int WIDTH>
QORTA_FIR_INLINE void loadParts(Part<WIDTH> (&parts)[PARTS<WIDTH>], const double* at) {
    for (int q = 0; q < PARTS<WIDTH>; ++q) std::memcpy(&parts[q], at + q * WIDTH, sizeof parts[q]);
}

// at[0 .. 7] = parts.
template <int WIDTH>
QORTA_FIR_INLINE void storeParts(double* at, const Part<WIDTH> (&parts)[PARTS<WIDTH>]) {
    for (int q = 0; q < PARTS<WIDTH>; ++q) std::memcpy(at + q * WIDTH, &parts[q], sizeof parts[q]);
}

// The largest and the smallest value of every one of eight lanes taken,
// starting from 0.0, NaNs left out (exact: no value is changed).
template <int WIDTH>
struct LaneExtremes {
    Part<WIDTH> top[PARTS<WIDTH>] = {}, bottom[PARTS<WIDTH>] = {};

    QORTA_FIR_INLINE void take(const Part<WIDTH> (&parts)[PARTS<WIDTH>]) {
        for (int q = 0; q < PARTS<WIDTH>; ++q) {
            top[q] = parts[q] > top[q] ? parts[q] : top[q];
            bottom[q] = parts[q] < bottom[q] ? parts[q] : bottom[q];
        }
    }
    // The larger of lane k's largest value and its negated smallest: the
    // largest magnitude (0.0 - bottom gives +0.0 also where the smallest
    // value is -0.0).
    QORTA_FIR_INLINE double largestMagnitude(int k) const {
        return std::max(top[k / WIDTH][k % WIDTH], 0.0 - bottom[k / WIDTH][k % WIDTH]);
    }
};

// Frames whose CHANNELS values lie side by side: an Octet holds 8 /
// CHANNELS of them, and the eight-lane sums of a chunk start run over eight
// frames at a time in CHANNELS Octets, so that each channel's sum has the lanes it
// would have alone: lane k adds the frames i with i mod 8 = k, in order.
// Frame f of a group of eight lies in Octet f / (8 / CHANNELS), lane
// (f mod (8 / CHANNELS)) x CHANNELS + channel.
template <int CHANNELS>
constexpr int FRAMES_PER_OCTET = 8 / CHANNELS;

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
// An input sample beyond the float range (an infinity) or NaN gives +0.0,
// as finiteOrZero.
QORTA_FIR_INLINE double finite(double x) { return std::fabs(x) <= FLT_MAX ? x : 0.0; }
QORTA_FIR_INLINE Pair finite(Pair x) {
    return reinterpret_cast<Pair>(reinterpret_cast<PairBits>(x) & (absolute(x) <= FLT_MAX));
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

}  // namespace realtime

#endif  // QORTA_REALTIME_STREAM_FIR_LANES_H
