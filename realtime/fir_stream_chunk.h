// The start of a chunk of the streaming FIR: F, B and W directly, A by the
// backward recursion in pieces and their joins (startChunk). Internal:
// included only by fir_stream.cpp and its other internal headers.
#ifndef QORTA_REALTIME_FIR_STREAM_CHUNK_H
#define QORTA_REALTIME_FIR_STREAM_CHUNK_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "dsp/channels.h"
#include "realtime/fir_stream.h"
#include "realtime/fir_stream_lanes.h"

namespace realtime {

namespace {

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
template <int CHANNELS>
QORTA_FIR_INLINE void startChunk(FirStream& stream, std::int64_t p) {
    using L = Lanes<CHANNELS>;
    const std::int32_t n = stream.halfLength;
    const std::size_t first = static_cast<std::size_t>(p - n) & (stream.capacity - 1);
    const auto terms = static_cast<std::size_t>(n) + 1;
    const double r = stream.form.decay;
    const double* const powers = stream.form.powers;
    // w[k x CHANNELS + ch] = input p + k of channel ch, k = -N .. N; a alike.
    const double* const w = stream.ring.get() + CHANNELS * (first + static_cast<std::size_t>(n));
    double* const a = stream.backward.get();
    FirSums& sums = stream.sums;
    double forward[CHANNELS], box[CHANNELS], inputMax[CHANNELS];
    dotAndBoxSums<CHANNELS>(powers + terms + 1, w - CHANNELS * n, terms, 2 * terms - 1, forward, box, inputMax);
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
    Octet top = {}, bottom = {};
    constexpr std::int32_t STEP = FRAMES_PER_OCTET<CHANNELS>;
    for (std::int32_t k = BACKWARD_PIECES - 1; k >= 0; --k) {
        if (end[k] < 0) continue;  // an empty piece (N + 1 < pieces): nothing to join, and a[next] is not there
        const bool last = k == BACKWARD_PIECES - 1;
        const std::int32_t next = end[k] + 1;
        const double* const reversed = powers + (2 * n + 2 - next);
        Octet nextValues;
        for (int e = 0; e < 8; ++e) nextValues[e] = last ? 0.0 : a[CHANNELS * next + e % CHANNELS];
        std::int32_t j = std::max(end[k] - length + 1, 0);
        for (; j + STEP <= next; j += STEP) {
            Octet values, weights;
            loadOctet(values, a + CHANNELS * j);
            top = values > top ? values : top;
            bottom = values < bottom ? values : bottom;
            if (last) continue;
            loadFrameWeights<CHANNELS>(weights, reversed + j);
            values = values + weights * nextValues;
            std::memcpy(a + CHANNELS * j, &values, sizeof values);
            top = values > top ? values : top;
            bottom = values < bottom ? values : bottom;
        }
        for (; j < next; ++j)
            for (int ch = 0; ch < CHANNELS; ++ch) {
                double& value = a[CHANNELS * j + ch];
                largest[ch] = std::max(largest[ch], std::fabs(value));
                if (last) continue;
                value = value + powers[next - j] * nextValues[ch];
                largest[ch] = std::max(largest[ch], std::fabs(value));
            }
    }
    for (int ch = 0; ch < CHANNELS; ++ch) {
        // 0.0 - bottom: +0.0 also where the smallest value is -0.0.
        for (int e = ch; e < 8; e += CHANNELS) largest[ch] = std::max(largest[ch], std::max(top[e], 0.0 - bottom[e]));
        sums.backwardMax[ch] = largest[ch];
    }
    stream.chunkStart = p;
}

}  // namespace

}  // namespace realtime

#endif  // QORTA_REALTIME_FIR_STREAM_CHUNK_H
