#include "realtime/fir_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

#include "dsp/fir_convolve.h"
#include "dsp/fir_convolve_kernels.h"
#include "dsp/fir_corrector.h"
#include "dsp/fir_fast.h"
#include "realtime/stream_corrector.h"

namespace realtime {

namespace {

// Absolute allowance for underflow in the bound (none occurs for inputs
// that are floats, but it costs nothing).
constexpr double UNDERFLOW_ALLOWANCE = 0x1p-900;

template <class T>
std::unique_ptr<T[]> allocate(std::size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]());
}

// Every function the processing call runs is forced inline into the one
// entry point per instruction set (processFrames below), so that all of it
// is compiled for that set; the operations and their order stay the same.
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

// Rebuilds kernel, closed form and bound for `values`.
void buildKernel(FirStream& stream, const ControlValues& values) {
    stream.settings = values;
    stream.halfLength = streamHalfLength(values.quality, stream.sampleRate);
    const dsp::FirCorrector corrector{stream.halfLength, stream.kernel.get()};
    dsp::fillKernelFromTable(corrector, stream.decayTable.get(), values.effect, values.gain, stream.sampleRate);
    stream.fastUsable =
        prepareStreamFir(&stream.form, stream.powers.get(), corrector, values.effect, values.gain, stream.sampleRate);
    // The factors of the decision (closedFormFrames), once per kernel.
    stream.decisionScale = (1.0 + 0x1p-40) / (0x1p-26 - stream.form.boundPerOutput);
    stream.coarseScale =
        (stream.form.boundPerInput + stream.form.boundPerRecursion * stream.form.recursionReach) * stream.decisionScale;
}

void jumpToWeights(FirStream& stream) {
    jumpTo(stream.alpha, stream.form.centreWeight);
    jumpTo(stream.beta, stream.form.boostWeight);
    jumpTo(stream.average, stream.form.averageWeight);
}

// Glides `glide` to `target` unless it is there already.
void glideIfChanged(Glide& glide, double target, std::uint32_t samples) {
    if (glide.target != target) glideTo(glide, target, samples);
}

}  // namespace

bool allocateFirStream(FirStream& stream, double sampleRate) {
    stream.sampleRate = sampleRate;
    stream.maxHalfLength = streamHalfLength(static_cast<std::int32_t>(QUALITY_MAX), sampleRate);
    const auto maxN = static_cast<std::size_t>(stream.maxHalfLength);
    stream.capacity = 1;
    while (stream.capacity < 2 * maxN + STREAM_MAX_BLOCK + 2) stream.capacity *= 2;
    stream.decayTable = allocate<double>(maxN + 2);
    stream.kernel = allocate<double>(2 * maxN + 1);
    stream.powers = allocate<double>(streamFirTableLength(stream.maxHalfLength));
    const std::size_t blockValues = STREAM_MAX_BLOCK * dsp::MAX_CHANNELS;
    stream.blockSums = allocate<double>(blockValues);
    stream.blockInputMax = allocate<double>(blockValues);
    stream.blockRecursionMax = allocate<double>(blockValues);
    stream.ring = allocate<double>(2 * stream.capacity * dsp::MAX_CHANNELS);
    stream.backward = allocate<double>((maxN + 1) * dsp::MAX_CHANNELS);
    stream.exactWindow = allocate<double>(2 * maxN + STREAM_MAX_BLOCK);
    bool allocated = stream.decayTable && stream.kernel && stream.powers && stream.blockSums && stream.blockInputMax &&
                     stream.blockRecursionMax && stream.ring && stream.backward && stream.exactWindow;
    for (FirChannel& channel : stream.channel) {
        channel.values = allocate<double>(STREAM_MAX_BLOCK);
        channel.undecided = allocate<unsigned char>(STREAM_MAX_BLOCK);
        allocated = allocated && channel.values && channel.undecided;
    }
    if (!allocated) return false;
    stream.vectorPath = dsp::CONVOLVE_GENERIC;
    if (!selectFirVectorPath(stream, dsp::CONVOLVE_AVX512F)) selectFirVectorPath(stream, dsp::CONVOLVE_AVX);
    dsp::fillDecayTable(stream.decayTable.get(), stream.maxHalfLength + 2, sampleRate);
    return true;
}

void startFirStream(FirStream& stream, const ControlValues& values) {
    std::fill(stream.ring.get(), stream.ring.get() + 2 * stream.capacity * dsp::MAX_CHANNELS, 0.0);
    for (FirChannel& channel : stream.channel)
        std::fill(channel.undecided.get(), channel.undecided.get() + STREAM_MAX_BLOCK, 0);
    stream.sums = FirSums{};
    stream.time = 0;
    stream.restart = true;
    buildKernel(stream, values);
    jumpToWeights(stream);
}

void setFirControls(FirStream& stream, const ControlValues& values, bool atOnce, std::uint32_t glideSamples) {
    const ControlValues& now = stream.settings;
    if (values.effect == now.effect && values.gain == now.gain && values.quality == now.quality) return;
    const std::int32_t oldHalfLength = stream.halfLength;
    const bool wasUsable = stream.fastUsable;
    buildKernel(stream, values);
    const bool newSums = stream.halfLength != oldHalfLength || stream.fastUsable != wasUsable;
    if (newSums) stream.restart = true;
    if (atOnce || newSums || !stream.fastUsable) {
        jumpToWeights(stream);
    } else {
        glideIfChanged(stream.alpha, stream.form.centreWeight, glideSamples);
        glideIfChanged(stream.beta, stream.form.boostWeight, glideSamples);
        glideIfChanged(stream.average, stream.form.averageWeight, glideSamples);
    }
}

namespace {

// The backward recursion over a chunk runs as this many independent
// pieces per channel (joined afterwards), so that it is not one long chain
// of dependent operations.
constexpr std::int32_t BACKWARD_PIECES = 4;

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

// The per-sample state of every channel, held in registers while frames
// run.
template <int CHANNELS>
struct Running {
    using L = Lanes<CHANNELS>;
    double* ring;            // the delay line, frames of CHANNELS values
    const double* backward;  // A, frames of CHANNELS values
    L forward, box, partial, partialError, inputMax, forwardMax, backwardMax, previousInput, dcState;

    QORTA_FIR_INLINE void load(const FirStream& stream, const DcBlocker& dc) {
        ring = stream.ring.get();
        backward = stream.backward.get();
        const FirSums& sums = stream.sums;
        forward = make<L>(sums.forward);
        box = make<L>(sums.box);
        partial = make<L>(sums.partial);
        partialError = make<L>(sums.partialError);
        inputMax = make<L>(sums.inputMax);
        forwardMax = make<L>(sums.forwardMax);
        backwardMax = make<L>(sums.backwardMax);
        previousInput = make<L>(dc.previousInput);
        dcState = make<L>(dc.state);
    }
    QORTA_FIR_INLINE void save(FirStream& stream, DcBlocker& dc) const {
        FirSums& sums = stream.sums;
        store(sums.forward, forward);
        store(sums.box, box);
        store(sums.partial, partial);
        store(sums.partialError, partialError);
        store(sums.inputMax, inputMax);
        store(sums.forwardMax, forwardMax);
        store(sums.backwardMax, backwardMax);
        store(dc.previousInput, previousInput);
        store(dc.state, dcState);
    }
};

// Stores input sample i of every channel at `slot`: DC removed or not, at
// both places of the mirrored delay line. The DC filter (as removeDc)
// runs also while it is switched off, so that switching it on finds it
// settled.
// Returns the values stored.
template <int CHANNELS>
QORTA_FIR_INLINE Lanes<CHANNELS> storeInputs(Running<CHANNELS>& run, double dcPole, bool dcRemoval,
                                             std::size_t capacity, const float* const* in, std::uint32_t i,
                                             std::size_t slot) {
    using L = Lanes<CHANNELS>;
    double inputs[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) inputs[ch] = in[ch][i];
    const L x = make<L>(inputs);
    // The flush as a branch, taken only while a state is tiny (silence):
    // applied as a mask on every sample, it would lengthen the chain from
    // one sample's state to the next, which bounds the whole loop.
    L y = (x - run.previousInput) + dcPole * run.dcState;
    if (__builtin_expect(!allTrue(absolute(y) >= STATE_FLOOR), 0)) y = flushed(y);
    run.previousInput = x;
    run.dcState = y;
    const L w = dcRemoval ? y : x;
    store(run.ring + CHANNELS * slot, w);
    store(run.ring + CHANNELS * (slot + capacity), w);
    return w;
}

// The closed form's sum at centre p, local = p - s into the chunk, from the
// recursions' present values; stored for frame i with what its bound needs.
template <int CHANNELS>
QORTA_FIR_INLINE void storeSum(const Running<CHANNELS>& run, Lanes<CHANNELS> centre, Lanes<CHANNELS> backward,
                               double decayToEnd, double alpha, double beta, double average, double* sums,
                               double* inputMaxima, double* recursionMaxima, std::uint32_t i) {
    using L = Lanes<CHANNELS>;
    const L g = backward + decayToEnd * (run.partial + run.partialError);
    const L x = (run.forward + g) - centre;
    const L sum = (alpha * centre + beta * x) - average * run.box;
    store(sums + CHANNELS * i, sum);
    store(inputMaxima + CHANNELS * i, run.inputMax);
    store(recursionMaxima + CHANNELS * i, run.forwardMax + run.backwardMax);
}

// Moves F, B, P and the maxima of every channel on by one sample: the
// inputs leaving F and B, at the centre and the newest; `growth` is
// r^(t - e) for the newest input t and the chunk end e.
template <int CHANNELS>
QORTA_FIR_INLINE void stepSums(Running<CHANNELS>& run, Lanes<CHANNELS> old, Lanes<CHANNELS> centre,
                               Lanes<CHANNELS> newest, double r, double leaving, double growth) {
    using L = Lanes<CHANNELS>;
    run.forward = r * run.forward + (centre - leaving * old);
    run.box = run.box + (newest - old);
    // P with its rounding errors gathered separately (an exact two-sum).
    const L term = growth * newest;
    const L sum = run.partial + term;
    const L termPart = sum - run.partial;
    run.partialError = run.partialError + ((run.partial - (sum - termPart)) + (term - termPart));
    run.partial = sum;
    run.inputMax = larger(run.inputMax, absolute(newest));
    run.forwardMax = larger(run.forwardMax, absolute(run.forward));
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

// Frames [from, to) of the block with the closed form; the weights glide
// when GLIDE, the DC filter's output is taken when DC_REMOVAL. A sum the
// bound decides is written out at once; the others are kept in `values`
// and marked for the exact sum.
template <int CHANNELS, bool GLIDE, bool DC_REMOVAL>
QORTA_FIR_INLINE bool closedFormFrames(FirStream& stream, DcBlocker& dc, const float* const* in, float* const* out,
                                       std::uint32_t from, std::uint32_t to) {
    const bool dcRemoval = DC_REMOVAL;  // a constant, so that the loop does not test it
    using L = Lanes<CHANNELS>;
    const std::size_t mask = stream.capacity - 1;
    const std::int32_t n = stream.halfLength;
    // Everything the loop reads but does not change, in locals: stores into
    // the delay lines could otherwise alias it.
    const double* const powers = stream.form.powers;
    const double r = stream.form.decay, leaving = stream.form.leaving;
    const std::size_t capacity = stream.capacity;
    const double dcPole = dc.pole;
    double alpha = stream.alpha.value, beta = stream.beta.value, average = stream.average.value;
    std::int64_t chunkStart = stream.chunkStart;
    bool restart = stream.restart;
    Running<CHANNELS> run;
    run.load(stream, dc);
    std::int64_t time = stream.time;
    // The loop's pointers in locals, which stores of doubles cannot change.
    const float* input[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) input[ch] = in[ch];
    double* const sums = stream.blockSums.get();
    double* const inputMaxima = stream.blockInputMax.get();
    double* const recursionMaxima = stream.blockRecursionMax.get();
    // Each sum is stored with what its bound needs, and decided in the
    // second loop below: this loop, whose every sample waits for the
    // previous one, stays short, so that more samples' work overlaps.
    std::uint32_t i = from;
    while (i < to) {
        const std::int64_t p = time - n;  // the centre of the output due at `time`
        if (restart || p == chunkStart + n + 1) {
            restart = false;
            storeInputs<CHANNELS>(run, dcPole, dcRemoval, capacity, input, i, static_cast<std::size_t>(time) & mask);
            run.save(stream, dc);
            startChunk<CHANNELS>(stream, p);
            run.load(stream, dc);
            chunkStart = p;
            if (GLIDE) {
                alpha = advance(stream.alpha);
                beta = advance(stream.beta);
                average = advance(stream.average);
            }
            const double* const centreAt = run.ring + CHANNELS * (static_cast<std::size_t>(p) & mask);
            storeSum<CHANNELS>(run, make<L>(centreAt), make<L>(run.backward), powers[n + 1],
                               alpha, beta, average, sums, inputMaxima, recursionMaxima, i);
            ++time;
            ++i;
            continue;
        }
        // The frames up to the chunk's end or the block's. The positions
        // read run on from a slot of the mirrored delay line, which holds
        // every value a capacity on as well: a slot plus a block stays
        // within it.
        const std::int64_t local = p - chunkStart;  // 1 .. N
        const auto count = static_cast<std::uint32_t>(std::min<std::int64_t>(to - i, n + 1 - local));
        const double* const oldAt = run.ring + CHANNELS * (static_cast<std::size_t>(p - n - 1) & mask);
        const double* const centreAt = run.ring + CHANNELS * (static_cast<std::size_t>(p) & mask);
        const double* const backwardAt = run.backward + CHANNELS * local;
        const double* const growth = powers + (local - 1);          // r^(t - e) for the newest input t
        const double* const decayToEnd = powers + (n + 1 + local);  // r^(e - p), the table's reversed half
        for (std::uint32_t k = 0; k < count; ++k, ++i) {
            const L w = storeInputs<CHANNELS>(run, dcPole, dcRemoval, capacity, input, i,
                                              static_cast<std::size_t>(time + k) & mask);
            const L centre = make<L>(centreAt + CHANNELS * k);
            stepSums<CHANNELS>(run, make<L>(oldAt + CHANNELS * k), centre, w, r, leaving, growth[k]);
            if (GLIDE) {
                alpha = advance(stream.alpha);
                beta = advance(stream.beta);
                average = advance(stream.average);
            }
            storeSum<CHANNELS>(run, centre, make<L>(backwardAt + CHANNELS * k), decayToEnd[k], alpha, beta, average,
                               sums, inputMaxima, recursionMaxima, i);
        }
        time += count;
    }
    stream.time = time;
    stream.restart = restart;
    run.save(stream, dc);
    return decideSums<CHANNELS, GLIDE>(stream, out, from, to);
}

// True when the next frame's centre lies inside the present chunk (not at
// the start of a new one) and the weights rest.
QORTA_FIR_INLINE bool insideChunkAtRest(const FirStream& stream) {
    const std::int64_t p = stream.time - stream.halfLength;
    return !stream.restart && p != stream.chunkStart + stream.halfLength + 1 && !gliding(stream.alpha) &&
           !gliding(stream.beta) && !gliding(stream.average);
}

// One frame with the closed form inside a chunk (not at its start) while
// the weights rest: what closedFormFrames does for such a frame, without
// the set-up of its loops, for hosts that process frame by frame. Returns
// true when the sum is left to the exact computation.
template <int CHANNELS>
QORTA_FIR_INLINE bool closedFormFrame(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in,
                                      float* const* out) {
    using L = Lanes<CHANNELS>;
    const std::size_t mask = stream.capacity - 1;
    const std::int32_t n = stream.halfLength;
    const double* const powers = stream.form.powers;
    const std::int64_t time = stream.time;
    const std::int64_t p = time - n;
    const std::int64_t local = p - stream.chunkStart;  // 1 .. N
    Running<CHANNELS> run;
    run.load(stream, dc);
    const L w = storeInputs<CHANNELS>(run, dc.pole, dcRemoval, stream.capacity, in, 0,
                                      static_cast<std::size_t>(time) & mask);
    const L centre = make<L>(run.ring + CHANNELS * (static_cast<std::size_t>(p) & mask));
    const L old = make<L>(run.ring + CHANNELS * (static_cast<std::size_t>(p - n - 1) & mask));
    stepSums<CHANNELS>(run, old, centre, w, stream.form.decay, stream.form.leaving, powers[local - 1]);
    storeSum<CHANNELS>(run, centre, make<L>(run.backward + CHANNELS * local), powers[n + 1 + local],
                       stream.alpha.value, stream.beta.value, stream.average.value, stream.blockSums.get(),
                       stream.blockInputMax.get(), stream.blockRecursionMax.get(), 0);
    stream.time = time + 1;
    run.save(stream, dc);
    return decideSums<CHANNELS, false>(stream, out, 0, 1);
}

// Marked outputs at most this far apart are computed together.
constexpr std::uint32_t SETTLE_GAP = 8;

// dsp::convolveAt centred on window[centre x stride] over a window whose
// values lie `stride` apart (one channel of frames side by side): the same
// products added to 0.0 in the same ascending order, so the same bits.
double convolveStridedAt(const dsp::FirCorrector& corrector, const double* window, std::ptrdiff_t centre,
                         std::ptrdiff_t stride) {
    if (stride == 1) return dsp::convolveAt(corrector, window, centre);
    const std::int64_t n = corrector.halfLength;
    const double* const kernel = corrector.kernel;
    double sum = 0.0;
    for (std::int64_t m = -n; m <= n; ++m) sum += kernel[n + m] * window[(centre + m) * stride];
    return sum;
}

// Computes values[i] exactly, dsp::convolveAt centred on window position
// N + i (positions `stride` doubles apart), for every i < frames with
// marked[i] set; returns how many sums it computed. Marked outputs close
// together are computed as one dsp::convolveRun, which works on several
// outputs side by side, over the positions copied into `scratch` (2 N +
// frames doubles) unless they are contiguous; one or two alone, each by
// the plain ascending chain of convolveAt, about twice as fast as a run's
// for one output (measured). Both add the same products in the same order:
// the same bits.
std::uint64_t settleMarked(const dsp::FirCorrector& corrector, const double* window, std::ptrdiff_t stride,
                           std::uint32_t frames, const unsigned char* marked, double* values, double* scratch) {
    const std::int32_t n = corrector.halfLength;
    std::uint64_t computed = 0;
    std::uint32_t i = 0;
    while (i < frames) {
        if (marked[i] == 0) {
            ++i;
            continue;
        }
        std::uint32_t end = i + 1, count = 1;
        for (std::uint32_t j = end; j < frames && j - end < SETTLE_GAP; ++j)
            if (marked[j] != 0) {
                end = j + 1;
                ++count;
            }
        if (count <= 2) {
            for (std::uint32_t j = i; j < end; ++j)
                if (marked[j] != 0)
                    values[j] = convolveStridedAt(corrector, window, n + static_cast<std::ptrdiff_t>(j), stride);
            computed += count;
        } else {
            const double* run = window + static_cast<std::ptrdiff_t>(i) * stride;
            if (stride != 1) {
                const std::size_t positions = 2 * static_cast<std::size_t>(n) + (end - i);
                for (std::size_t k = 0; k < positions; ++k) scratch[k] = run[static_cast<std::ptrdiff_t>(k) * stride];
                run = scratch;
            }
            dsp::convolveRun(corrector, run, n, end - i, values + i);
            computed += end - i;
        }
        i = end;
    }
    return computed;
}

// Computes the marked sums of the block of `frames` whose first input had
// time `firstTime` exactly and writes them out, clearing the marks.
template <int CHANNELS>
void settleUndecided(FirStream& stream, float* const* out, std::uint32_t frames, std::int64_t firstTime) {
    const std::int32_t n = stream.halfLength;
    for (int ch = 0; ch < CHANNELS; ++ch) {
        FirChannel& channel = stream.channel[ch];
        // The window from the first centre's N samples of past to the
        // newest input lies in one piece of the mirrored delay line.
        const std::int64_t firstWindow = firstTime - 2 * static_cast<std::int64_t>(n);
        const double* window =
            stream.ring.get() + CHANNELS * (static_cast<std::size_t>(firstWindow) & (stream.capacity - 1)) + ch;
        const dsp::FirCorrector corrector{n, stream.kernel.get()};
        stream.exactSums += settleMarked(corrector, window, CHANNELS, frames, channel.undecided.get(),
                                         channel.values.get(), stream.exactWindow.get());
        // Only the marked sums take the exact value: a decided one that a
        // run of exact sums happened to cover keeps its fast value, so that
        // the output does not depend on where blocks begin.
        for (std::uint32_t i = 0; i < frames; ++i)
            if (channel.undecided[i] != 0) {
                out[ch][i] = static_cast<float>(channel.values[i]);
                channel.undecided[i] = 0;  // all clear again for the next call
            }
    }
}

template <int CHANNELS>
QORTA_FIR_INLINE void processFrames(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in,
                                    float* const* out, std::uint32_t frames) {
    const std::int64_t firstTime = stream.time;
    bool anyUndecided = false;
    if (!stream.fastUsable) {
        Running<CHANNELS> run;
        run.load(stream, dc);
        for (std::uint32_t i = 0; i < frames; ++i) {
            const std::size_t slot = static_cast<std::size_t>(stream.time++) & (stream.capacity - 1);
            storeInputs<CHANNELS>(run, dc.pole, dcRemoval, stream.capacity, in, i, slot);
            for (int ch = 0; ch < CHANNELS; ++ch) stream.channel[ch].undecided[i] = 1;
        }
        run.save(stream, dc);
        anyUndecided = frames > 0;
    } else {
        std::uint32_t i = 0;
        if (gliding(stream.alpha) || gliding(stream.beta) || gliding(stream.average)) {
            const std::uint32_t left =
                std::max({stream.alpha.length - stream.alpha.step, stream.beta.length - stream.beta.step,
                          stream.average.length - stream.average.step});
            i = std::min(frames, left);
            anyUndecided = dcRemoval ? closedFormFrames<CHANNELS, true, true>(stream, dc, in, out, 0, i)
                                     : closedFormFrames<CHANNELS, true, false>(stream, dc, in, out, 0, i);
        }
        const bool rest = dcRemoval ? closedFormFrames<CHANNELS, false, true>(stream, dc, in, out, i, frames)
                                    : closedFormFrames<CHANNELS, false, false>(stream, dc, in, out, i, frames);
        anyUndecided = rest || anyUndecided;
    }
    if (anyUndecided) settleUndecided<CHANNELS>(stream, out, frames, firstTime);
}

// A call of one frame inside a chunk while the weights rest (see
// closedFormFrame), apart from the set-up the longer blocks need.
template <int CHANNELS>
QORTA_FIR_INLINE void processOneFrame(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in,
                                      float* const* out) {
    if (closedFormFrame<CHANNELS>(stream, dc, dcRemoval, in, out))
        settleUndecided<CHANNELS>(stream, out, 1, stream.time - 1);
}

// One entry point per instruction set, each with the whole processing
// inlined and compiled for its set.
template <int CHANNELS>
void processFramesGeneric(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in, float* const* out,
                          std::uint32_t frames) {
    processFrames<CHANNELS>(stream, dc, dcRemoval, in, out, frames);
}

#if QORTA_DSP_X86
template <int CHANNELS>
__attribute__((target("avx"))) void processFramesAvx(FirStream& stream, DcBlocker& dc, bool dcRemoval,
                                                     const float* const* in, float* const* out, std::uint32_t frames) {
    processFrames<CHANNELS>(stream, dc, dcRemoval, in, out, frames);
}

template <int CHANNELS>
__attribute__((target("avx512f"))) void processFramesAvx512f(FirStream& stream, DcBlocker& dc, bool dcRemoval,
                                                             const float* const* in, float* const* out,
                                                             std::uint32_t frames) {
    processFrames<CHANNELS>(stream, dc, dcRemoval, in, out, frames);
}
#endif

template <int CHANNELS>
void processOneFrameGeneric(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in,
                            float* const* out) {
    processOneFrame<CHANNELS>(stream, dc, dcRemoval, in, out);
}

#if QORTA_DSP_X86
template <int CHANNELS>
__attribute__((target("avx"))) void processOneFrameAvx(FirStream& stream, DcBlocker& dc, bool dcRemoval,
                                                       const float* const* in, float* const* out) {
    processOneFrame<CHANNELS>(stream, dc, dcRemoval, in, out);
}

template <int CHANNELS>
__attribute__((target("avx512f"))) void processOneFrameAvx512f(FirStream& stream, DcBlocker& dc, bool dcRemoval,
                                                               const float* const* in, float* const* out) {
    processOneFrame<CHANNELS>(stream, dc, dcRemoval, in, out);
}
#endif

// A call of one frame inside a chunk while the weights rest takes an entry
// point of its own, which holds only what such a frame needs.
template <int CHANNELS>
void processFramesWith(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in, float* const* out,
                       std::uint32_t frames) {
    if (frames == 1 && stream.fastUsable && insideChunkAtRest(stream)) {
#if QORTA_DSP_X86
        if (stream.vectorPath == dsp::CONVOLVE_AVX512F)
            return processOneFrameAvx512f<CHANNELS>(stream, dc, dcRemoval, in, out);
        if (stream.vectorPath == dsp::CONVOLVE_AVX) return processOneFrameAvx<CHANNELS>(stream, dc, dcRemoval, in, out);
#endif
        return processOneFrameGeneric<CHANNELS>(stream, dc, dcRemoval, in, out);
    }
#if QORTA_DSP_X86
    if (stream.vectorPath == dsp::CONVOLVE_AVX512F)
        return processFramesAvx512f<CHANNELS>(stream, dc, dcRemoval, in, out, frames);
    if (stream.vectorPath == dsp::CONVOLVE_AVX)
        return processFramesAvx<CHANNELS>(stream, dc, dcRemoval, in, out, frames);
#endif
    processFramesGeneric<CHANNELS>(stream, dc, dcRemoval, in, out, frames);
}

}  // namespace

bool selectFirVectorPath(FirStream& stream, dsp::ConvolvePath path) {
    const bool compiled = path == dsp::CONVOLVE_GENERIC || path == dsp::CONVOLVE_AVX || path == dsp::CONVOLVE_AVX512F;
    if (!compiled || !dsp::convolvePathAvailable(path)) return false;
    stream.vectorPath = path;
    return true;
}

void processFirStream(FirStream& stream, DcBlocker& dc, bool dcRemoval, int channels, const float* const* in,
                      float* const* out, std::uint32_t frames) {
    if (channels == 2)
        processFramesWith<2>(stream, dc, dcRemoval, in, out, frames);
    else
        processFramesWith<1>(stream, dc, dcRemoval, in, out, frames);
}

}  // namespace realtime
