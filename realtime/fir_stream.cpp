#include "realtime/fir_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <type_traits>

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

// Eight partial sums in four pairs of vector lanes: lane k of the pairs
// adds the terms i with i mod 8 = k, as eight scalar sums would, with the
// same bits.
typedef double Pair __attribute__((vector_size(16)));

inline Pair loadPair(const double* at) {
    Pair pair;
    std::memcpy(&pair, at, sizeof pair);
    return pair;
}

// The eight lanes added as ((0 + 1) + (2 + 3)) + ((4 + 5) + (6 + 7)).
inline double combine(const Pair (&acc)[4]) {
    return ((acc[0][0] + acc[0][1]) + (acc[1][0] + acc[1][1])) + ((acc[2][0] + acc[2][1]) + (acc[3][0] + acc[3][1]));
}

// Sum of weights[i] x at[i], i < terms, in eight interleaved partial sums
// (any order is covered by the bound).
double dotSum(const double* weights, const double* at, std::size_t terms) {
    Pair acc[4] = {{0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}};
    std::size_t i = 0;
    for (; i + 8 <= terms; i += 8)
        for (std::size_t k = 0; k < 4; ++k) acc[k] += loadPair(weights + i + 2 * k) * loadPair(at + i + 2 * k);
    for (; i < terms; ++i) acc[0][0] += weights[i] * at[i];
    return combine(acc);
}

// Sum of at[i], i < terms, in eight interleaved partial sums; `largest`
// receives the largest |at[i]|.
double boxSum(const double* at, std::size_t terms, double* largest) {
    Pair acc[4] = {{0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}};
    Pair top[4] = {{0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}};
    std::size_t i = 0;
    for (; i + 8 <= terms; i += 8)
        for (std::size_t k = 0; k < 4; ++k) {
            const Pair values = loadPair(at + i + 2 * k);
            acc[k] += values;
            const Pair magnitude = values < 0.0 ? -values : values;
            top[k] = magnitude > top[k] ? magnitude : top[k];
        }
    double high = 0.0;
    for (std::size_t k = 0; k < 4; ++k) high = std::max(high, std::max(top[k][0], top[k][1]));
    for (; i < terms; ++i) {
        acc[0][0] += at[i];
        high = std::max(high, std::fabs(at[i]));
    }
    *largest = high;
    return combine(acc);
}

// A float's position on the number line: consecutive floats differ by 1,
// -0.0 and +0.0 share 0.
std::int64_t floatOrder(float value) {
    std::int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits >= 0 ? bits : -static_cast<std::int64_t>(bits & 0x7fffffff);
}

// True when every value within `bound` of `sum` rounds to a float at most
// one step from (float) sum, so that the exact sum, which lies there, does.
bool floatDecided(double sum, double bound) {
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
    bool allocated = stream.decayTable && stream.kernel && stream.powers;
    for (FirChannel& channel : stream.channel) {
        channel.ring = allocate<double>(2 * stream.capacity);
        channel.backward = allocate<double>(maxN + 1);
        channel.values = allocate<double>(STREAM_MAX_BLOCK);
        channel.undecided = allocate<unsigned char>(STREAM_MAX_BLOCK);
        allocated = allocated && channel.ring && channel.backward && channel.values && channel.undecided;
    }
    if (!allocated) return false;
    dsp::fillDecayTable(stream.decayTable.get(), stream.maxHalfLength + 2, sampleRate);
    return true;
}

void startFirStream(FirStream& stream, const ControlValues& values) {
    for (FirChannel& channel : stream.channel) {
        std::fill(channel.ring.get(), channel.ring.get() + 2 * stream.capacity, 0.0);
        channel.forward = channel.box = channel.partial = channel.partialError = channel.inputMax = 0.0;
        channel.forwardMax = channel.backwardMax = 0.0;
    }
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
void startChunk(FirStream& stream, std::int64_t p) {
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
        channel.forward = dotSum(powers + terms + 1, w[ch] - n, terms);
        channel.box = boxSum(w[ch] - n, 2 * terms - 1, &channel.inputMax);
        channel.partial = channel.partialError = 0.0;
        channel.forwardMax = std::fabs(channel.forward);
    }
    const std::int32_t length = (n + BACKWARD_PIECES) / BACKWARD_PIECES;  // ceil((N + 1) / pieces)
    std::int32_t end[BACKWARD_PIECES];
    for (std::int32_t k = 0; k < BACKWARD_PIECES; ++k) end[k] = n - (BACKWARD_PIECES - 1 - k) * length;
    double largest[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) largest[ch] = 0.0;
    for (std::int32_t k = 0; k < BACKWARD_PIECES; ++k)
        for (int ch = 0; ch < CHANNELS; ++ch)
            if (end[k] >= 0) {
                a[ch][end[k]] = w[ch][end[k]];
                largest[ch] = std::max(largest[ch], std::fabs(a[ch][end[k]]));
            }
    for (std::int32_t o = 1; o < length; ++o)
        for (std::int32_t k = 0; k < BACKWARD_PIECES; ++k) {
            const std::int32_t j = end[k] - o;
            if (j < 0) continue;
            for (int ch = 0; ch < CHANNELS; ++ch) {
                a[ch][j] = r * a[ch][j + 1] + w[ch][j];
                largest[ch] = std::max(largest[ch], std::fabs(a[ch][j]));
            }
        }
    for (std::int32_t k = BACKWARD_PIECES - 2; k >= 0; --k) {
        const std::int32_t next = end[k] + 1;
        for (std::int32_t j = std::max(end[k] - length + 1, 0); j <= end[k]; ++j)
            for (int ch = 0; ch < CHANNELS; ++ch) {
                a[ch][j] = a[ch][j] + powers[next - j] * a[ch][next];
                largest[ch] = std::max(largest[ch], std::fabs(a[ch][j]));
            }
    }
    for (int ch = 0; ch < CHANNELS; ++ch) stream.channel[ch].backwardMax = largest[ch];
    stream.chunkStart = p;
}

// The channels side by side: one double for mono, a pair of doubles in one
// vector register for stereo. Every operation acts on each lane as the
// scalar operation would, with the same bits.
template <int CHANNELS>
using Lanes = typename std::conditional<CHANNELS == 2, Pair, double>::type;

inline double lane(double v, int) { return v; }
inline double lane(Pair v, int ch) { return v[ch]; }
inline double absolute(double v) { return std::fabs(v); }
inline Pair absolute(Pair v) { return v < 0.0 ? -v : v; }  // -0.0 stays -0.0, which no use here minds
inline double larger(double a, double b) { return std::max(a, b); }
inline Pair larger(Pair a, Pair b) { return a < b ? b : a; }
// |y| below STATE_FLOOR or NaN gives +0.0, as flushTiny.
inline double flushed(double y) { return std::fabs(y) >= STATE_FLOOR ? y : 0.0; }
inline Pair flushed(Pair y) { return absolute(y) >= STATE_FLOOR ? y : Pair{0.0, 0.0}; }

template <class L>
L make(const double* values);
template <>
inline double make<double>(const double* values) {
    return values[0];
}
template <>
inline Pair make<Pair>(const double* values) {
    return Pair{values[0], values[1]};
}

// The per-sample state of every channel, held in registers while frames
// run.
template <int CHANNELS>
struct Running {
    using L = Lanes<CHANNELS>;
    double* ring[CHANNELS];
    const double* backward[CHANNELS];
    L forward, box, partial, partialError, inputMax, forwardMax, backwardMax, previousInput, dcState;

    template <class Field>
    static L gather(const FirStream& stream, Field field) {
        double values[CHANNELS];
        for (int ch = 0; ch < CHANNELS; ++ch) values[ch] = stream.channel[ch].*field;
        return make<L>(values);
    }
    template <class Field>
    static void scatter(FirStream& stream, Field field, L value) {
        for (int ch = 0; ch < CHANNELS; ++ch) stream.channel[ch].*field = lane(value, ch);
    }

    void load(const FirStream& stream, const DcBlocker& dc) {
        for (int ch = 0; ch < CHANNELS; ++ch) {
            ring[ch] = stream.channel[ch].ring.get();
            backward[ch] = stream.channel[ch].backward.get();
        }
        forward = gather(stream, &FirChannel::forward);
        box = gather(stream, &FirChannel::box);
        partial = gather(stream, &FirChannel::partial);
        partialError = gather(stream, &FirChannel::partialError);
        inputMax = gather(stream, &FirChannel::inputMax);
        forwardMax = gather(stream, &FirChannel::forwardMax);
        backwardMax = gather(stream, &FirChannel::backwardMax);
        previousInput = make<L>(dc.previousInput);
        dcState = make<L>(dc.state);
    }
    void save(FirStream& stream, DcBlocker& dc) const {
        scatter(stream, &FirChannel::forward, forward);
        scatter(stream, &FirChannel::box, box);
        scatter(stream, &FirChannel::partial, partial);
        scatter(stream, &FirChannel::partialError, partialError);
        scatter(stream, &FirChannel::inputMax, inputMax);
        scatter(stream, &FirChannel::forwardMax, forwardMax);
        scatter(stream, &FirChannel::backwardMax, backwardMax);
        for (int ch = 0; ch < CHANNELS; ++ch) {
            dc.previousInput[ch] = lane(previousInput, ch);
            dc.state[ch] = lane(dcState, ch);
        }
    }
    // The delay lines' values at `slot`.
    L at(std::size_t slot) const {
        double values[CHANNELS];
        for (int ch = 0; ch < CHANNELS; ++ch) values[ch] = ring[ch][slot];
        return make<L>(values);
    }
};

// Stores input sample i of every channel at `slot`: DC removed or not, at
// both places of the mirrored delay line. The DC filter (as removeDc)
// runs also while it is switched off, so that switching it on finds it
// settled.
template <int CHANNELS>
inline void storeInputs(Running<CHANNELS>& run, double dcPole, bool dcRemoval, std::size_t capacity,
                        const float* const* in, std::uint32_t i, std::size_t slot) {
    using L = Lanes<CHANNELS>;
    double inputs[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) inputs[ch] = in[ch][i];
    const L x = make<L>(inputs);
    const L y = flushed((x - run.previousInput) + dcPole * run.dcState);
    run.previousInput = x;
    run.dcState = y;
    const L w = dcRemoval ? y : x;
    for (int ch = 0; ch < CHANNELS; ++ch) run.ring[ch][slot] = run.ring[ch][slot + capacity] = lane(w, ch);
}

// Moves F, B, P and the maxima of every channel on by one sample: the
// inputs leaving F and B, at the centre and the newest; `growth` is
// r^(t - e) for the newest input t and the chunk end e.
template <int CHANNELS>
inline void stepSums(Running<CHANNELS>& run, Lanes<CHANNELS> old, Lanes<CHANNELS> centre, Lanes<CHANNELS> newest,
                     double r, double leaving, double growth) {
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
bool closedFormFrames(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in, float* const* out,
                      std::uint32_t from, std::uint32_t to) {
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
    const double scale = stream.exactFallback ? (1.0 + 0x1p-40) / (0x1p-26 - perOutput) : 0.0;
    const double coarseScale = (perInput + perRecursion * stream.form.recursionReach) * scale;
    const double allowanceScaled = UNDERFLOW_ALLOWANCE * scale;
    std::int64_t chunkStart = stream.chunkStart;
    bool restart = stream.restart;
    Running<CHANNELS> run;
    run.load(stream, dc);
    bool anyUndecided = false;
    std::int64_t time = stream.time;
    for (std::uint32_t i = from; i < to; ++i) {
        const std::int64_t t = time, p = t - n;
        storeInputs<CHANNELS>(run, dcPole, dcRemoval, capacity, in, i, static_cast<std::size_t>(t) & mask);
        const std::int64_t e = chunkStart + n + 1;
        if (restart || p == e) {
            restart = false;
            run.save(stream, dc);
            startChunk<CHANNELS>(stream, p);
            run.load(stream, dc);
            chunkStart = p;
        } else {
            const L old = run.at(static_cast<std::size_t>(p - n - 1) & mask);
            const L centre = run.at(static_cast<std::size_t>(p) & mask);
            const L newest = run.at(static_cast<std::size_t>(t) & mask);
            stepSums<CHANNELS>(run, old, centre, newest, r, leaving, powers[t - e]);
        }
        if (GLIDE) {
            alpha = advance(stream.alpha);
            beta = advance(stream.beta);
            average = advance(stream.average);
        }
        const std::int64_t local = p - chunkStart;        // 0 .. N
        const double decayToEnd = powers[n + 1 - local];  // r^(e - p)
        double backwardValues[CHANNELS];
        for (int ch = 0; ch < CHANNELS; ++ch) backwardValues[ch] = run.backward[ch][local];
        const L centre = run.at(static_cast<std::size_t>(p) & mask);
        const L g = make<L>(backwardValues) + decayToEnd * (run.partial + run.partialError);
        const L x = (run.forward + g) - centre;
        const L sum = (alpha * centre + beta * x) - average * run.box;
        // The bound without its share proportional to |sum|, which the
        // scale accounts for; while the weights glide there is no exact
        // sum to be near.
        // First with F_max + A_max at their largest possible value, a
        // multiple of W; only below that with their values.
        const L coarseFrom = coarseScale * run.inputMax + allowanceScaled;
        const L magnitude = absolute(sum);
        for (int ch = 0; ch < CHANNELS; ++ch) {
            const double value = lane(sum, ch);
            bool exact = false;
            if (!GLIDE && !(lane(magnitude, ch) >= lane(coarseFrom, ch))) {
                const double fixedBound = perInput * lane(run.inputMax, ch) +
                                          perRecursion * (lane(run.forwardMax, ch) + lane(run.backwardMax, ch));
                if (!(lane(magnitude, ch) >= (fixedBound + UNDERFLOW_ALLOWANCE) * scale))
                    exact = !floatDecided(value, (fixedBound + perOutput * lane(magnitude, ch)) + UNDERFLOW_ALLOWANCE);
            }
            if (exact) {
                // Rare: only here a store through unsigned char, which could
                // alias every other value, forces the state back to memory.
                stream.channel[ch].undecided[i] = 1;
                stream.channel[ch].values[i] = value;
                anyUndecided = true;
            } else {
                out[ch][i] = static_cast<float>(value);
            }
        }
        ++time;
    }
    stream.time = time;
    stream.restart = restart;
    run.save(stream, dc);
    return anyUndecided;
}

template <int CHANNELS>
void processFrames(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in, float* const* out,
                   std::uint32_t frames) {
    const std::int64_t firstTime = stream.time;
    for (int ch = 0; ch < CHANNELS; ++ch)
        std::fill(stream.channel[ch].undecided.get(), stream.channel[ch].undecided.get() + frames, 0);
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
        stream.exactSums +=
            dsp::settleUndecided(corrector, window, n, frames, channel.undecided.get(), channel.values.get());
        // Only the marked sums take the exact value: a decided one that a
        // run of exact sums happened to cover keeps its fast value, so that
        // the output does not depend on where blocks begin.
        for (std::uint32_t i = 0; i < frames; ++i)
            if (channel.undecided[i] != 0) out[ch][i] = static_cast<float>(channel.values[i]);
    }
}

}  // namespace

void processFirStream(FirStream& stream, DcBlocker& dc, bool dcRemoval, int channels, const float* const* in,
                      float* const* out, std::uint32_t frames) {
    if (channels == 2)
        processFrames<2>(stream, dc, dcRemoval, in, out, frames);
    else
        processFrames<1>(stream, dc, dcRemoval, in, out, frames);
}

}  // namespace realtime
