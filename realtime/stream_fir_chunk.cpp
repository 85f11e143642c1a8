// The start of a chunk of the streaming FIR: F, B and W directly, A by the
// backward recursion in pieces and their joins (startChunk), compiled once
// per instruction set.
#include "realtime/stream_fir_chunk.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "dsp/channels.h"
#include "dsp/fir_convolve_kernels.h"
#include "realtime/stream_fir.h"
#include "realtime/stream_fir_lanes.h"

namespace realtime {

namespace {

// The weights of 8 / CHANNELS consecutive frames, each repeated for the
// channels of its frame.
template <int CHANNELS, int WIDTH>
QORTA_FIR_INLINE void loadFrameWeights(Part<WIDTH> (&parts)[PARTS<WIDTH>], const double* weights) {
    if constexpr (CHANNELS == 1) {
        loadParts<WIDTH>(parts, weights);
    } else {
        Quad quad;
        std::memcpy(&quad, weights, sizeof quad);
        if constexpr (WIDTH == 4) {
            parts[0] = __builtin_shufflevector(quad, quad, 0, 0, 1, 1);
            parts[1] = __builtin_shufflevector(quad, quad, 2, 2, 3, 3);
        } else {
            parts[0] = __builtin_shufflevector(quad, quad, 0, 0, 1, 1, 2, 2, 3, 3);
        }
    }
}

// One channel's eight lanes in `acc` added as ((0 + 1) + (2 + 3)) + ((4 +
// 5) + (6 + 7)), lanes in frame order.
template <int CHANNELS, int WIDTH>
QORTA_FIR_INLINE double combineChannel(const Part<WIDTH> (&acc)[CHANNELS][PARTS<WIDTH>], int ch) {
    double lanes[8];
    for (int f = 0; f < 8; ++f) {
        const int e = (f % FRAMES_PER_OCTET<CHANNELS>)*CHANNELS + ch;
        lanes[f] = acc[f / FRAMES_PER_OCTET<CHANNELS>][e / WIDTH][e % WIDTH];
    }
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
template <int CHANNELS, int WIDTH>
QORTA_FIR_INLINE void dotAndBoxSums(const double* weights, const double* at, std::size_t dotTerms,
                                    std::size_t boxTerms, double (&dot)[CHANNELS], double (&box)[CHANNELS],
                                    double (&largest)[CHANNELS]) {
    Part<WIDTH> dotAcc[CHANNELS][PARTS<WIDTH>] = {}, boxAcc[CHANNELS][PARTS<WIDTH>] = {};
    LaneExtremes<WIDTH> extremes;
    std::size_t i = 0;
    // Both sums while the dot's eight-frame groups last.
    for (; i + 8 <= dotTerms; i += 8)
        for (int h = 0; h < CHANNELS; ++h) {
            Part<WIDTH> weight[PARTS<WIDTH>], values[PARTS<WIDTH>];
            loadFrameWeights<CHANNELS, WIDTH>(weight, weights + i + h * FRAMES_PER_OCTET<CHANNELS>);
            loadParts<WIDTH>(values, at + CHANNELS * i + 8 * h);
            for (int q = 0; q < PARTS<WIDTH>; ++q) {
                dotAcc[h][q] += weight[q] * values[q];
                boxAcc[h][q] += values[q];
            }
            extremes.take(values);
        }
    for (std::size_t j = i; j < dotTerms; ++j)
        for (int ch = 0; ch < CHANNELS; ++ch) dotAcc[0][0][ch] += weights[j] * at[CHANNELS * j + ch];
    // The box goes on from the same frame, each in its lane as before.
    for (; i + 8 <= boxTerms; i += 8)
        for (int h = 0; h < CHANNELS; ++h) {
            Part<WIDTH> values[PARTS<WIDTH>];
            loadParts<WIDTH>(values, at + CHANNELS * i + 8 * h);
            for (int q = 0; q < PARTS<WIDTH>; ++q) boxAcc[h][q] += values[q];
            extremes.take(values);
        }
    for (int ch = 0; ch < CHANNELS; ++ch) {
        double high = 0.0;
        for (int k = ch; k < 8; k += CHANNELS) high = std::max(high, extremes.largestMagnitude(k));
        for (std::size_t j = i; j < boxTerms; ++j) {
            boxAcc[0][0][ch] += at[CHANNELS * j + ch];
            high = std::max(high, std::fabs(at[CHANNELS * j + ch]));
        }
        largest[ch] = high;
        box[ch] = combineChannel<CHANNELS, WIDTH>(boxAcc, ch);
        dot[ch] = combineChannel<CHANNELS, WIDTH>(dotAcc, ch);
    }
}

// The backward recursion over a chunk runs as this many independent
// pieces per channel (joined afterwards), so that it is not one long chain
// of dependent operations.
constexpr std::int32_t BACKWARD_PIECES = 4;

constexpr double ZEROS[dsp::MAX_CHANNELS] = {0.0, 0.0};

// Starts the chunk of centres [p, p + N + 1) for every channel: F, B and W
// directly over w[p - N .. p + N], A by the backward recursion over
// w[p .. p + N]; P is empty.
//
// A runs in BACKWARD_PIECES pieces of `length` positions ending at
// end_k = N - (BACKWARD_PIECES - 1 - k) x length: each piece from
// a[end_k] = w[end_k] down to its first position, all pieces and channels
// side by side; then, from the last piece but one down, each position j
// of piece k takes a[j] + r^(end_k + 1 - j) a[end_k + 1], the next piece's
// first value, already complete. A_max is the largest magnitude of every
// value a took.
template <int CHANNELS, int WIDTH>
QORTA_FIR_INLINE void startChunk(FirStream& stream, std::int64_t p) {
    using L = Lanes<CHANNELS>;
    const std::int32_t n = stream.halfLength;
    const std::size_t first = static_cast<std::size_t>(p - n) & (stream.capacity - 1);
    const auto terms = static_cast<std::size_t>(n) + 1;
    const double r = stream.form.closed.decay;
    const double* const powers = stream.form.closed.powers;
    // w[k x CHANNELS + ch] = input p + k of channel ch, k = -N .. N; a alike.
    const double* const w = stream.ring.get() + CHANNELS * (first + static_cast<std::size_t>(n));
    double* const a = stream.backward.get();
    FirSums& sums = stream.sums;
    double forward[CHANNELS], box[CHANNELS], inputMax[CHANNELS];
    dotAndBoxSums<CHANNELS, WIDTH>(powers + terms + 1, w - CHANNELS * n, terms, 2 * terms - 1, forward, box, inputMax);
    for (int ch = 0; ch < CHANNELS; ++ch) {
        sums.forward[ch] = forward[ch];
        sums.box[ch] = box[ch];
        sums.inputMax[ch] = inputMax[ch];
        sums.partial[ch] = sums.partialError[ch] = 0.0;
        sums.forwardMax[ch] = std::fabs(forward[ch]);
    }
    const std::int32_t length = (n + BACKWARD_PIECES) / BACKWARD_PIECES;  // ceil((N + 1) / pieces)
    std::int32_t end[BACKWARD_PIECES];
    for (std::int32_t k = 0; k < BACKWARD_PIECES; ++k) end[k] = n - (BACKWARD_PIECES - 1 - k) * length;
    // The pieces' values in registers, every piece's channels side by side:
    // each step needs only the value of the step before.
    L state[BACKWARD_PIECES];
    for (std::int32_t k = 0; k < BACKWARD_PIECES; ++k) {
        state[k] = make<L>(ZEROS);
        if (end[k] >= 0) {
            state[k] = make<L>(w + CHANNELS * end[k]);
            store(a + CHANNELS * end[k], state[k]);
        }
    }
    // The steps at which every piece still has a position (only the first
    // piece can be shorter), then the others.
    const std::int32_t fullSteps = std::min(length, std::max(end[0] + 1, 1));
    for (std::int32_t o = 1; o < fullSteps; ++o)
        for (std::int32_t k = 0; k < BACKWARD_PIECES; ++k) {
            const std::int32_t j = end[k] - o;
            state[k] = r * state[k] + make<L>(w + CHANNELS * j);
            store(a + CHANNELS * j, state[k]);
        }
    for (std::int32_t o = fullSteps; o < length; ++o)
        for (std::int32_t k = 0; k < BACKWARD_PIECES; ++k) {
            const std::int32_t j = end[k] - o;
            if (j < 0) continue;
            state[k] = r * state[k] + make<L>(w + CHANNELS * j);
            store(a + CHANNELS * j, state[k]);
        }
    // The joins, independent from position to position: 8 / CHANNELS
    // positions with their channels side by side. r^(next - j) comes from
    // the table's reversed half, ascending with j. A_max, the largest
    // magnitude of every value a took, is gathered here from the values
    // before and after each join, and from the last piece, which has no
    // join, in a pass of its own: the largest and the smallest value lane
    // by lane, exact, NaNs left out, as in dotAndBoxSums.
    double largest[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) largest[ch] = 0.0;
    LaneExtremes<WIDTH> extremes;
    constexpr std::int32_t STEP = FRAMES_PER_OCTET<CHANNELS>;
    for (std::int32_t k = BACKWARD_PIECES - 1; k >= 0; --k) {
        if (end[k] < 0) continue;  // an empty piece (N + 1 < pieces): nothing to join, and a[next] is not there
        const bool last = k == BACKWARD_PIECES - 1;
        const std::int32_t next = end[k] + 1;
        const double* const reversed = powers + (2 * n + 2 - next);
        Part<WIDTH> nextValues[PARTS<WIDTH>] = {};
        for (int e = 0; e < 8; ++e)
            nextValues[e / WIDTH][e % WIDTH] = last ? 0.0 : a[CHANNELS * next + e % CHANNELS];
        std::int32_t j = std::max(end[k] - length + 1, 0);
        for (; j + STEP <= next; j += STEP) {
            Part<WIDTH> values[PARTS<WIDTH>], weights[PARTS<WIDTH>];
            loadParts<WIDTH>(values, a + CHANNELS * j);
            extremes.take(values);
            if (last) continue;
            loadFrameWeights<CHANNELS, WIDTH>(weights, reversed + j);
            for (int q = 0; q < PARTS<WIDTH>; ++q) values[q] = values[q] + weights[q] * nextValues[q];
            storeParts<WIDTH>(a + CHANNELS * j, values);
            extremes.take(values);
        }
        for (; j < next; ++j)
            for (int ch = 0; ch < CHANNELS; ++ch) {
                double& value = a[CHANNELS * j + ch];
                largest[ch] = std::max(largest[ch], std::fabs(value));
                if (last) continue;
                value = value + powers[next - j] * nextValues[0][ch];
                largest[ch] = std::max(largest[ch], std::fabs(value));
            }
    }
    for (int ch = 0; ch < CHANNELS; ++ch) {
        for (int e = ch; e < 8; e += CHANNELS) largest[ch] = std::max(largest[ch], extremes.largestMagnitude(e));
        sums.backwardMax[ch] = largest[ch];
    }
    stream.chunkStart = p;
}

// The entry points, one per instruction set: startChunk compiled for it,
// with the eight lanes as two Quads for AVX, one Octet otherwise.
template <int CHANNELS>
void startChunkGeneric(FirStream& stream, std::int64_t p) {
    startChunk<CHANNELS, 8>(stream, p);
}

#if QORTA_DSP_X86
template <int CHANNELS>
__attribute__((target("avx"))) void startChunkAvx(FirStream& stream, std::int64_t p) {
    startChunk<CHANNELS, 4>(stream, p);
}

template <int CHANNELS>
__attribute__((target("avx512f"))) void startChunkAvx512f(FirStream& stream, std::int64_t p) {
    startChunk<CHANNELS, 8>(stream, p);
}
#endif

}  // namespace

void setChunkFunctions(FirPathFunctions& functions, dsp::ConvolvePath path) {
    functions.startChunk[0] = startChunkGeneric<1>;
    functions.startChunk[1] = startChunkGeneric<2>;
#if QORTA_DSP_X86
    if (path == dsp::CONVOLVE_AVX) {
        functions.startChunk[0] = startChunkAvx<1>;
        functions.startChunk[1] = startChunkAvx<2>;
    } else if (path == dsp::CONVOLVE_AVX512F) {
        functions.startChunk[0] = startChunkAvx512f<1>;
        functions.startChunk[1] = startChunkAvx512f<2>;
    }
#else
    (void)path;
#endif
}

}  // namespace realtime
