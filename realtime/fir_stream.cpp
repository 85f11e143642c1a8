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

// The eight lanes added as ((0 + 1) + (2 + 3)) + ((4 + 5) + (6 + 7)).
QORTA_FIR_INLINE double combine(const Octet& acc) {
    return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
}

// Sum of weights[i] x at[i], i < terms, in eight interleaved partial sums
// (any order is covered by the bound).
QORTA_FIR_INLINE double dotSum(const double* weights, const double* at, std::size_t terms) {
    Octet acc = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 8 <= terms; i += 8) {
        Octet weight, value;
        loadOctet(weight, weights + i);
        loadOctet(value, at + i);
        acc += weight * value;
    }
    for (; i < terms; ++i) acc[0] += weights[i] * at[i];
    return combine(acc);
}

// Sum of at[i], i < terms, in eight interleaved partial sums; `largest`
// receives the largest |at[i]| (NaNs left out), taken as the larger of the
// largest value and the negated smallest, which is exact and needs no
// magnitudes.
QORTA_FIR_INLINE double boxSum(const double* at, std::size_t terms, double* largest) {
    Octet acc = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    Octet top = acc, bottom = acc;
    std::size_t i = 0;
    for (; i + 8 <= terms; i += 8) {
        Octet values;
        loadOctet(values, at + i);
        acc += values;
        top = values > top ? values : top;
        bottom = values < bottom ? values : bottom;
    }
    double high = 0.0;
    // 0.0 - bottom: +0.0 also where the smallest value is -0.0.
    for (int k = 0; k < 8; ++k) high = std::max(high, std::max(top[k], 0.0 - bottom[k]));
    for (; i < terms; ++i) {
        acc[0] += at[i];
        high = std::max(high, std::fabs(at[i]));
    }
    *largest = high;
    return combine(acc);
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
    bool allocated = stream.decayTable && stream.kernel && stream.powers && stream.blockSums && stream.blockInputMax &&
                     stream.blockRecursionMax;
    for (FirChannel& channel : stream.channel) {
        channel.ring = allocate<double>(2 * stream.capacity);
        channel.backward = allocate<double>(maxN + 1);
        channel.values = allocate<double>(STREAM_MAX_BLOCK);
        channel.undecided = allocate<unsigned char>(STREAM_MAX_BLOCK);
        allocated = allocated && channel.ring && channel.backward && channel.values && channel.undecided;
    }
    if (!allocated) return false;
    stream.vectorPath = dsp::CONVOLVE_GENERIC;
    if (!selectFirVectorPath(stream, dsp::CONVOLVE_AVX512F)) selectFirVectorPath(stream, dsp::CONVOLVE_AVX);
    dsp::fillDecayTable(stream.decayTable.get(), stream.maxHalfLength + 2, sampleRate);
    return true;
}

void startFirStream(FirStream& stream, const ControlValues& values) {
    for (FirChannel& channel : stream.channel) {
        std::fill(channel.ring.get(), channel.ring.get() + 2 * stream.capacity, 0.0);
        std::fill(channel.undecided.get(), channel.undecided.get() + STREAM_MAX_BLOCK, 0);
    }
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

// Writes the lanes of `values` to at[ch][k].
template <int CHANNELS>
QORTA_FIR_INLINE void scatterAt(double* const (&at)[CHANNELS], std::size_t k, Lanes<CHANNELS> values) {
    for (int ch = 0; ch < CHANNELS; ++ch) at[ch][k] = lane(values, ch);
}

// The values at `at[ch][k]` side by side.
template <int CHANNELS>
QORTA_FIR_INLINE Lanes<CHANNELS> gatherAt(const double* const (&at)[CHANNELS], std::size_t k) {
    double values[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) values[ch] = at[ch][k];
    return make<Lanes<CHANNELS>>(values);
}

// top = max(top, |values|) lane by lane; a NaN leaves top as it is.
QORTA_FIR_INLINE void raiseTop(Octet& top, const Octet& values) {
    const Octet magnitude = values < 0.0 ? -values : values;
    top = magnitude > top ? magnitude : top;
}

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
    const std::int32_t n = stream.halfLength;
    const std::size_t first = static_cast<std::size_t>(p - n) & (stream.capacity - 1);
    const auto terms = static_cast<std::size_t>(n) + 1;
    const double r = stream.form.decay;
    const double* const powers = stream.form.powers;
    const double* w[CHANNELS];
    double* a[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) {
        FirChannel& channel = stream.channel[ch];
        w[ch] = channel.ring.get() + first + n;  // w[ch][k] = input p + k, k = -N .. N
        a[ch] = channel.backward.get();
        FirSums& sums = stream.sums;
        sums.forward[ch] = dotSum(powers + terms + 1, w[ch] - n, terms);
        sums.box[ch] = boxSum(w[ch] - n, 2 * terms - 1, &sums.inputMax[ch]);
        sums.partial[ch] = sums.partialError[ch] = 0.0;
        sums.forwardMax[ch] = std::fabs(sums.forward[ch]);
    }
    const std::int32_t length = (n + BACKWARD_PIECES) / BACKWARD_PIECES;  // ceil((N + 1) / pieces)
    std::int32_t end[BACKWARD_PIECES];
    for (std::int32_t k = 0; k < BACKWARD_PIECES; ++k) end[k] = n - (BACKWARD_PIECES - 1 - k) * length;
    // The pieces' values in registers, every piece's channels side by side:
    // each step needs only the value of the step before.
    using L = Lanes<CHANNELS>;
    L state[BACKWARD_PIECES];
    L top = make<L>(ZEROS);
    for (std::int32_t k = 0; k < BACKWARD_PIECES; ++k) {
        state[k] = top;
        if (end[k] >= 0) {
            state[k] = gatherAt<CHANNELS>(w, static_cast<std::size_t>(end[k]));
            scatterAt<CHANNELS>(a, static_cast<std::size_t>(end[k]), state[k]);
            top = larger(top, absolute(state[k]));
        }
    }
    for (std::int32_t o = 1; o < length; ++o)
        for (std::int32_t k = 0; k < BACKWARD_PIECES; ++k) {
            const std::int32_t j = end[k] - o;
            if (j < 0) continue;
            state[k] = r * state[k] + gatherAt<CHANNELS>(w, static_cast<std::size_t>(j));
            scatterAt<CHANNELS>(a, static_cast<std::size_t>(j), state[k]);
            top = larger(top, absolute(state[k]));
        }
    // The joins, independent from position to position: eight positions
    // of a channel side by side. r^(next - j) comes from the table's
    // reversed half, ascending with j.
    for (int ch = 0; ch < CHANNELS; ++ch) {
        double largest = lane(top, ch);
        Octet joinTop = {};
        for (std::int32_t k = BACKWARD_PIECES - 2; k >= 0; --k) {
            const std::int32_t next = end[k] + 1;
            const double* const reversed = powers + (2 * n + 2 - next);
            const double nextValue = a[ch][next];
            std::int32_t j = std::max(end[k] - length + 1, 0);
            for (; j + 8 <= next; j += 8) {
                Octet values, weights;
                loadOctet(values, a[ch] + j);
                loadOctet(weights, reversed + j);
                values = values + weights * nextValue;
                std::memcpy(a[ch] + j, &values, sizeof values);
                raiseTop(joinTop, values);
            }
            for (; j < next; ++j) {
                a[ch][j] = a[ch][j] + powers[next - j] * nextValue;
                largest = std::max(largest, std::fabs(a[ch][j]));
            }
        }
        for (int k = 0; k < 8; ++k) largest = std::max(largest, joinTop[k]);
        stream.sums.backwardMax[ch] = largest;
    }
    stream.chunkStart = p;
}

// The per-sample state of every channel, held in registers while frames
// run.
template <int CHANNELS>
struct Running {
    using L = Lanes<CHANNELS>;
    double* ring[CHANNELS];
    const double* backward[CHANNELS];
    L forward, box, partial, partialError, inputMax, forwardMax, backwardMax, previousInput, dcState;

    QORTA_FIR_INLINE void load(const FirStream& stream, const DcBlocker& dc) {
        for (int ch = 0; ch < CHANNELS; ++ch) {
            ring[ch] = stream.channel[ch].ring.get();
            backward[ch] = stream.channel[ch].backward.get();
        }
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
    // The delay lines' values at `slot`.
    QORTA_FIR_INLINE L at(std::size_t slot) const {
        double values[CHANNELS];
        for (int ch = 0; ch < CHANNELS; ++ch) values[ch] = ring[ch][slot];
        return make<L>(values);
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
    for (int ch = 0; ch < CHANNELS; ++ch) run.ring[ch][slot] = run.ring[ch][slot + capacity] = lane(w, ch);
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

// Frames [from, to) of the block with the closed form; the weights glide
// when GLIDE. A sum the bound decides is written out at once; the others
// are kept in `values` and marked for the exact sum.
template <int CHANNELS, bool GLIDE>
QORTA_FIR_INLINE bool closedFormFrames(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in,
                                       float* const* out, std::uint32_t from, std::uint32_t to) {
    using L = Lanes<CHANNELS>;
    const std::size_t mask = stream.capacity - 1;
    const std::int32_t n = stream.halfLength;
    // Everything the loop reads but does not change, in locals: stores into
    // the delay lines could otherwise alias it.
    const double* const powers = stream.form.powers;
    const double r = stream.form.decay, leaving = stream.form.leaving;
    const double perInput = stream.form.boundPerInput, perRecursion = stream.form.boundPerRecursion;
    const double perOutput = stream.form.boundPerOutput;
    const std::size_t capacity = stream.capacity;
    const double dcPole = dc.pole;
    double alpha = stream.alpha.value, beta = stream.beta.value, average = stream.average.value;
    // A sum is decided without looking closer when |sum| >= (K0 W + K1 (F_max
    // + A_max) + 2^-900) x scale: then the whole bound is at most 2^-26 |sum|,
    // so every value within it lies within one float step of the sum (the
    // spacing of floats near |sum| exceeds 2^-24 (|sum| - bound)); the factor
    // 1 + 2^-40 covers the rounding of that test. Without the fallback, every
    // sum is taken as decided.
    const double scale = stream.exactFallback ? stream.decisionScale : 0.0;
    const double coarseScale = stream.exactFallback ? stream.coarseScale : 0.0;
    const double allowanceScaled = UNDERFLOW_ALLOWANCE * scale;
    std::int64_t chunkStart = stream.chunkStart;
    bool restart = stream.restart;
    Running<CHANNELS> run;
    run.load(stream, dc);
    bool anyUndecided = false;
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
            const double* centreAt[CHANNELS];
            const double* backwardAt[CHANNELS];
            for (int ch = 0; ch < CHANNELS; ++ch) {
                centreAt[ch] = run.ring[ch] + (static_cast<std::size_t>(p) & mask);
                backwardAt[ch] = run.backward[ch];
            }
            storeSum<CHANNELS>(run, gatherAt<CHANNELS>(centreAt, 0), gatherAt<CHANNELS>(backwardAt, 0), powers[n + 1],
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
        const double* oldAt[CHANNELS];
        const double* centreAt[CHANNELS];
        const double* backwardAt[CHANNELS];
        for (int ch = 0; ch < CHANNELS; ++ch) {
            oldAt[ch] = run.ring[ch] + (static_cast<std::size_t>(p - n - 1) & mask);
            centreAt[ch] = run.ring[ch] + (static_cast<std::size_t>(p) & mask);
            backwardAt[ch] = run.backward[ch] + local;
        }
        const double* const growth = powers + (local - 1);          // r^(t - e) for the newest input t
        const double* const decayToEnd = powers + (n + 1 + local);  // r^(e - p), the table's reversed half
        for (std::uint32_t k = 0; k < count; ++k, ++i) {
            const L w = storeInputs<CHANNELS>(run, dcPole, dcRemoval, capacity, input, i,
                                              static_cast<std::size_t>(time + k) & mask);
            const L centre = gatherAt<CHANNELS>(centreAt, k);
            stepSums<CHANNELS>(run, gatherAt<CHANNELS>(oldAt, k), centre, w, r, leaving, growth[k]);
            if (GLIDE) {
                alpha = advance(stream.alpha);
                beta = advance(stream.beta);
                average = advance(stream.average);
            }
            storeSum<CHANNELS>(run, centre, gatherAt<CHANNELS>(backwardAt, k), decayToEnd[k], alpha, beta, average,
                               sums, inputMaxima, recursionMaxima, i);
        }
        time += count;
    }
    // The output pointers in locals too: the float stores below could
    // otherwise be taken to change them.
    float* output[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) output[ch] = out[ch];
    for (i = from; i < to; ++i) {
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
            continue;
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
    stream.time = time;
    stream.restart = restart;
    run.save(stream, dc);
    return anyUndecided;
}

// Marked outputs at most this far apart are computed together.
constexpr std::uint32_t SETTLE_GAP = 8;

// Computes values[i] exactly, dsp::convolveAt centred on window[N + i], for
// every i < frames with marked[i] set; returns how many sums it computed.
// Marked outputs close together are computed as one dsp::convolveRun,
// which works on several outputs side by side; one or two alone, each by
// convolveAt, whose plain chain of additions is about twice as fast as a
// run's for one output (measured). Both add the same products in the same
// order: the same bits.
std::uint64_t settleMarked(const dsp::FirCorrector& corrector, const double* window, std::uint32_t frames,
                           const unsigned char* marked, double* values) {
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
                if (marked[j] != 0) values[j] = dsp::convolveAt(corrector, window, n + static_cast<std::ptrdiff_t>(j));
            computed += count;
        } else {
            dsp::convolveRun(corrector, window, n + static_cast<std::ptrdiff_t>(i), end - i, values + i);
            computed += end - i;
        }
        i = end;
    }
    return computed;
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
            anyUndecided = closedFormFrames<CHANNELS, true>(stream, dc, dcRemoval, in, out, 0, i);
        }
        anyUndecided = closedFormFrames<CHANNELS, false>(stream, dc, dcRemoval, in, out, i, frames) || anyUndecided;
    }
    if (!anyUndecided) return;
    const std::int32_t n = stream.halfLength;
    for (int ch = 0; ch < CHANNELS; ++ch) {
        FirChannel& channel = stream.channel[ch];
        // The window from the first centre's N samples of past to the
        // newest input lies in one piece of the mirrored delay line.
        const std::int64_t firstWindow = firstTime - 2 * static_cast<std::int64_t>(n);
        const double* window = channel.ring.get() + (static_cast<std::size_t>(firstWindow) & (stream.capacity - 1));
        const dsp::FirCorrector corrector{n, stream.kernel.get()};
        stream.exactSums += settleMarked(corrector, window, frames, channel.undecided.get(), channel.values.get());
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
void processFramesWith(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in, float* const* out,
                       std::uint32_t frames) {
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
