#include "realtime/fir_stream.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

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

// Sum of weights[i] x at[i], i < terms, in eight interleaved partial sums
// (any order is covered by the bound).
double dotSum(const double* weights, const double* at, std::size_t terms) {
    double acc[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 8 <= terms; i += 8)
        for (std::size_t k = 0; k < 8; ++k) acc[k] += weights[i + k] * at[i + k];
    for (; i < terms; ++i) acc[0] += weights[i] * at[i];
    return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
}

// Sum of at[i], i < terms, in eight interleaved partial sums; `largest`
// receives the largest |at[i]|.
double boxSum(const double* at, std::size_t terms, double* largest) {
    double acc[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    double top[8] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    std::size_t i = 0;
    for (; i + 8 <= terms; i += 8)
        for (std::size_t k = 0; k < 8; ++k) {
            acc[k] += at[i + k];
            const double magnitude = std::fabs(at[i + k]);
            top[k] = magnitude > top[k] ? magnitude : top[k];
        }
    for (; i < terms; ++i) {
        acc[0] += at[i];
        top[0] = std::max(top[0], std::fabs(at[i]));
    }
    *largest = std::max(std::max(std::max(top[0], top[1]), std::max(top[2], top[3])),
                        std::max(std::max(top[4], top[5]), std::max(top[6], top[7])));
    return ((acc[0] + acc[1]) + (acc[2] + acc[3])) + ((acc[4] + acc[5]) + (acc[6] + acc[7]));
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

// The magnitude from which a sum is decided without looking closer: with
// |sum| >= this, the bound K W + U |sum| + 2^-900 is at most 2^-26 |sum|,
// so every value within it lies within one float step of the sum (the
// spacing of floats near |sum| exceeds 2^-24 |sum| - bound). Computed with
// a margin of 2^-40 for its own rounding.
inline double decidedFrom(const StreamFirForm& form, double inputMax) {
    return (form.boundPerInput * inputMax + UNDERFLOW_ALLOWANCE) / (0x1p-26 - form.boundPerOutput) * (1.0 + 0x1p-40);
}

// Rebuilds kernel, closed form and bound for `values`.
void buildKernel(FirStream& stream, const ControlValues& values) {
    stream.settings = values;
    stream.halfLength = streamHalfLength(values.quality, stream.sampleRate);
    const dsp::FirCorrector corrector{stream.halfLength, stream.kernel.get()};
    dsp::fillKernelFromTable(corrector, stream.decayTable.get(), values.effect, values.gain, stream.sampleRate);
    stream.fastUsable = prepareStreamFir(&stream.form, stream.powers.get(), corrector, values.effect, values.gain,
                                         stream.sampleRate);
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
        channel.forward = channel.box = channel.partial = channel.inputMax = 0.0;
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

// Stores input sample `t` of every channel: DC removed or not, at both
// places of the mirrored delay line.
template <int CHANNELS>
inline void storeInputs(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in, std::uint32_t i,
                        std::size_t slot) {
    for (int ch = 0; ch < CHANNELS; ++ch) {
        const double x = in[ch][i];
        // The DC filter runs also while it is switched off, so that
        // switching it on finds it settled.
        const double withoutDc = removeDc(dc, ch, x);
        double* const ring = stream.channel[ch].ring.get();
        ring[slot] = ring[slot + stream.capacity] = dcRemoval ? withoutDc : x;
    }
}

// Starts the chunk of centres [p, p + N + 1) for every channel: F, B and W
// directly over w[p - N .. p + N], A by the backward recursion over
// w[p .. p + N]; P is empty. The channels' recursions run side by side.
template <int CHANNELS>
void startChunk(FirStream& stream, std::int64_t p) {
    const std::int32_t n = stream.halfLength;
    const std::size_t first = static_cast<std::size_t>(p - n) & (stream.capacity - 1);
    const auto terms = static_cast<std::size_t>(n) + 1;
    const double r = stream.form.decay;
    const double* w[CHANNELS];
    double* a[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) {
        FirChannel& channel = stream.channel[ch];
        w[ch] = channel.ring.get() + first + n;  // w[ch][k] = input p + k, k = -N .. N
        a[ch] = channel.backward.get();
        channel.forward = dotSum(stream.form.powers + terms + 1, w[ch] - n, terms);
        channel.box = boxSum(w[ch] - n, 2 * terms - 1, &channel.inputMax);
        channel.partial = 0.0;
        channel.decidedFrom = decidedFrom(stream.form, channel.inputMax);
        a[ch][n] = w[ch][n];
    }
    for (std::int32_t j = n - 1; j >= 0; --j)
        for (int ch = 0; ch < CHANNELS; ++ch) a[ch][j] = r * a[ch][j + 1] + w[ch][j];
    stream.chunkStart = p;
}

// Moves F, B, P and W of every channel on by one sample: centre p, newest
// input t = p + N, chunk end e.
template <int CHANNELS>
inline void stepSums(FirStream& stream, std::int64_t p, std::int64_t t, std::int64_t e) {
    const std::size_t mask = stream.capacity - 1;
    const std::size_t leavingSlot = static_cast<std::size_t>(p - stream.halfLength - 1) & mask;
    const std::size_t centreSlot = static_cast<std::size_t>(p) & mask;
    const std::size_t newestSlot = static_cast<std::size_t>(t) & mask;
    const double r = stream.form.decay, leaving = stream.form.leaving;
    const double growth = stream.form.powers[t - e];  // r^(t - e)
    for (int ch = 0; ch < CHANNELS; ++ch) {
        FirChannel& channel = stream.channel[ch];
        const double* const ring = channel.ring.get();
        const double old = ring[leavingSlot], centre = ring[centreSlot], newest = ring[newestSlot];
        channel.forward = r * channel.forward + (centre - leaving * old);
        channel.box = channel.box + (newest - old);
        channel.partial = channel.partial + growth * newest;
        const double magnitude = std::fabs(newest);
        if (magnitude > channel.inputMax) {
            channel.inputMax = magnitude;
            channel.decidedFrom = decidedFrom(stream.form, magnitude);
        }
    }
}

// Frames [from, to) of the block with the closed form; the weights glide
// when GLIDE. A sum the bound decides is written out at once; the others
// are kept in `values` and marked for the exact sum.
template <int CHANNELS, bool GLIDE>
bool closedFormFrames(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in, float* const* out,
                      std::uint32_t from, std::uint32_t to) {
    const std::size_t mask = stream.capacity - 1;
    const std::int32_t n = stream.halfLength;
    const double* const powers = stream.form.powers;
    double alpha = stream.alpha.value, beta = stream.beta.value, average = stream.average.value;
    bool anyUndecided = false;
    for (std::uint32_t i = from; i < to; ++i) {
        const std::int64_t t = stream.time, p = t - n;
        storeInputs<CHANNELS>(stream, dc, dcRemoval, in, i, static_cast<std::size_t>(t) & mask);
        const std::int64_t e = stream.chunkStart + n + 1;
        if (stream.restart || p == e) {
            stream.restart = false;
            startChunk<CHANNELS>(stream, p);
        } else {
            stepSums<CHANNELS>(stream, p, t, e);
        }
        if (GLIDE) {
            alpha = advance(stream.alpha);
            beta = advance(stream.beta);
            average = advance(stream.average);
        }
        const std::int64_t local = p - stream.chunkStart;  // 0 .. N
        const double decayToEnd = powers[n + 1 - local];  // r^(e - p)
        const std::size_t centreSlot = static_cast<std::size_t>(p) & mask;
        for (int ch = 0; ch < CHANNELS; ++ch) {
            FirChannel& channel = stream.channel[ch];
            const double centre = channel.ring[centreSlot];
            const double g = channel.backward[local] + decayToEnd * channel.partial;
            const double x = (channel.forward + g) - centre;
            const double sum = (alpha * centre + beta * x) - average * channel.box;
            // While the weights glide there is no exact sum to be near.
            bool exact = false;
            if (!GLIDE && !(std::fabs(sum) >= channel.decidedFrom)) {
                const double bound = stream.form.boundPerInput * channel.inputMax +
                                     stream.form.boundPerOutput * std::fabs(sum) + UNDERFLOW_ALLOWANCE;
                exact = !floatDecided(sum, bound);
            }
            channel.undecided[i] = exact ? 1 : 0;
            if (exact) {
                channel.values[i] = sum;
                anyUndecided = true;
            } else {
                out[ch][i] = static_cast<float>(sum);
            }
        }
        ++stream.time;
    }
    return anyUndecided;
}

template <int CHANNELS>
void processFrames(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in, float* const* out,
                   std::uint32_t frames) {
    const std::int64_t firstTime = stream.time;
    bool anyUndecided = false;
    if (!stream.fastUsable) {
        for (std::uint32_t i = 0; i < frames; ++i) {
            storeInputs<CHANNELS>(stream, dc, dcRemoval, in, i, static_cast<std::size_t>(stream.time++) & (stream.capacity - 1));
            for (int ch = 0; ch < CHANNELS; ++ch) stream.channel[ch].undecided[i] = 1;
        }
        anyUndecided = frames > 0;
    } else {
        std::uint32_t i = 0;
        if (gliding(stream.alpha) || gliding(stream.beta) || gliding(stream.average)) {
            const std::uint32_t left = std::max({stream.alpha.length - stream.alpha.step, stream.beta.length - stream.beta.step,
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
