// The per-sample loop of the streaming FIR: each input stored in the delay
// line and the running sums F, B and P stepped, the closed form's sum
// stored for every frame with what its bound needs (processFrames), over a
// block or for one frame (oneFrame), compiled once per instruction set.
#include "realtime/stream_fir_samples.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "dsp/fir_convolve_kernels.h"
#include "realtime/dc_blocker.h"
#include "realtime/stream_fir.h"
#include "realtime/stream_fir_decide.h"
#include "realtime/stream_fir_exact.h"
#include "realtime/stream_fir_lanes.h"

namespace realtime {

namespace {

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

// Stores input sample i of every channel at `slot` (a non-finite one as
// 0.0): DC removed or not, at both places of the mirrored delay line. The DC filter (as removeDc)
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
    const L x = finite(make<L>(inputs));
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
// recursions' present values.
template <int CHANNELS>
QORTA_FIR_INLINE Lanes<CHANNELS> closedFormSum(const Running<CHANNELS>& run, Lanes<CHANNELS> centre,
                                               Lanes<CHANNELS> backward, double decayToEnd, double alpha, double beta,
                                               double average) {
    using L = Lanes<CHANNELS>;
    const L g = backward + decayToEnd * (run.partial + run.partialError);
    const L x = (run.forward + g) - centre;
    return (alpha * centre + beta * x) - average * run.box;
}

// closedFormSum stored for frame i with what its bound needs.
template <int CHANNELS>
QORTA_FIR_INLINE void storeSum(const Running<CHANNELS>& run, Lanes<CHANNELS> centre, Lanes<CHANNELS> backward,
                               double decayToEnd, double alpha, double beta, double average, double* sums,
                               double* inputMaxima, double* recursionMaxima, std::uint32_t i) {
    store(sums + CHANNELS * i, closedFormSum<CHANNELS>(run, centre, backward, decayToEnd, alpha, beta, average));
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

// One frame with the closed form inside a chunk (not at its start) while
// the weights rest: what processFrames and the decisions do for such a frame,
// in the same order, without the set-up of their loops, for hosts that
// process frame by frame. Returns true when the sum is left to the exact
// computation.
template <int CHANNELS>
QORTA_FIR_INLINE bool oneFrame(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in,
                               float* const* out) {
    using L = Lanes<CHANNELS>;
    const std::size_t mask = stream.capacity - 1;
    const std::int32_t n = stream.halfLength;
    const double* const powers = stream.form.closed.powers;
    const std::int64_t time = stream.time;
    const std::int64_t p = time - n;
    const std::int64_t local = p - stream.chunkStart;  // 1 .. N
    Running<CHANNELS> run;
    run.load(stream, dc);
    const L w = storeInputs<CHANNELS>(run, dc.pole, dcRemoval, stream.capacity, in, 0,
                                      static_cast<std::size_t>(time) & mask);
    const L centre = make<L>(run.ring + CHANNELS * (static_cast<std::size_t>(p) & mask));
    const L old = make<L>(run.ring + CHANNELS * (static_cast<std::size_t>(p - n - 1) & mask));
    stepSums<CHANNELS>(run, old, centre, w, stream.form.closed.decay, stream.form.closed.leaving, powers[local - 1]);
    const L sum = closedFormSum<CHANNELS>(run, centre, make<L>(run.backward + CHANNELS * local), powers[n + 1 + local],
                                          stream.alpha.value, stream.beta.value, stream.average.value);
    stream.time = time + 1;
    run.save(stream, dc);
    float* output[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) output[ch] = out[ch];
    return decideValue<CHANNELS, false>(stream, output, 0, sum, run.inputMax, run.forwardMax + run.backwardMax);
}

// Stores the inputs of frames [0, frames) without the closed form (it is
// not usable for the settings) and marks every sum for the exact sum.
template <int CHANNELS>
void storeInputsOnly(FirStream& stream, DcBlocker& dc, bool dcRemoval, const float* const* in,
                     std::uint32_t frames) {
    Running<CHANNELS> run;
    run.load(stream, dc);
    for (std::uint32_t i = 0; i < frames; ++i) {
        const std::size_t slot = static_cast<std::size_t>(stream.time++) & (stream.capacity - 1);
        storeInputs<CHANNELS>(run, dc.pole, dcRemoval, stream.capacity, in, i, slot);
        for (int ch = 0; ch < CHANNELS; ++ch) stream.channel[ch].undecided[i] = 1;
    }
    run.save(stream, dc);
}

// Runs the block of `frames` frames: each input stored in the delay line
// (the DC filter's output when DC_REMOVAL), the running sums F, B and P
// stepped and the closed form's sum stored for every frame with what its
// bound needs, in the per-sample loop below, first over the frames while
// the weights glide (the same function with GLIDE, which runs frames
// [0, frames) and returns true when it left a sum undecided) and then over
// the others; each part's sums are then decided (stream_fir_decide.cpp)
// and the undecided ones computed exactly. Each part reads its inputs before
// it writes the outputs of the same frames, so the host's buffers may come
// connected in any way (in place, crossed, shared inputs).
// The per-sample loop, whose every sample waits for the previous one, stays
// short, so that more samples' work overlaps. A block of one frame inside a
// chunk while the weights rest takes oneFrame, which holds only what such a
// frame needs; a block whose settings the closed form cannot serve is
// computed exactly.
template <int CHANNELS, bool DC_REMOVAL, bool GLIDE = false>
QORTA_FIR_INLINE bool processFrames(FirStream& stream, DcBlocker& dc, const float* const* in, float* const* out,
                                    std::uint32_t frames) {
    const bool dcRemoval = DC_REMOVAL;  // a constant, so that the loop does not test it
    const std::int64_t firstTime = stream.time;
    bool anyUndecided = false;
    std::uint32_t from = 0;
    if constexpr (!GLIDE) {
        if (frames == 1 && stream.fastUsable && insideChunkAtRest(stream)) {
            if (oneFrame<CHANNELS>(stream, dc, dcRemoval, in, out))
                writeExactSums(stream, out, CHANNELS, 1, stream.time - 1);
            return false;
        }
        if (!stream.fastUsable) {
            storeInputsOnly<CHANNELS>(stream, dc, dcRemoval, in, frames);
            if (frames > 0) writeExactSums(stream, out, CHANNELS, frames, firstTime);
            return false;
        }
        // The frames while the weights glide first, through the same loop
        // compiled for gliding weights.
        if (gliding(stream.alpha) || gliding(stream.beta) || gliding(stream.average)) {
            const std::uint32_t left =
                std::max({stream.alpha.length - stream.alpha.step, stream.beta.length - stream.beta.step,
                          stream.average.length - stream.average.step});
            from = std::min(frames, left);
            anyUndecided = processFrames<CHANNELS, DC_REMOVAL, true>(stream, dc, in, out, from);
        }
    }
    const std::uint32_t to = frames;
    using L = Lanes<CHANNELS>;
    const std::size_t mask = stream.capacity - 1;
    const std::int32_t n = stream.halfLength;
    // Everything the loop reads but does not change, in locals: stores into
    // the delay lines could otherwise alias it.
    const double* const powers = stream.form.closed.powers;
    const double r = stream.form.closed.decay, leaving = stream.form.closed.leaving;
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
    const FirChunkStart startChunk = stream.functions.startChunk[CHANNELS - 1];
    std::uint32_t i = from;
    while (i < to) {
        const std::int64_t p = time - n;  // the centre of the output due at `time`
        if (restart || p == chunkStart + n + 1) {
            restart = false;
            storeInputs<CHANNELS>(run, dcPole, dcRemoval, capacity, input, i,
                                  static_cast<std::size_t>(time) & mask);
            run.save(stream, dc);
            startChunk(stream, p);
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
    const bool undecided = stream.functions.decide[CHANNELS - 1][GLIDE ? 1 : 0](stream, out, from, to);
    if constexpr (GLIDE) return undecided;
    if (undecided || anyUndecided) writeExactSums(stream, out, CHANNELS, frames, firstTime);
    return false;
}

// The processing's entry point for each instruction set: processFrames
// compiled for it, for the block's channels and DC removal.
void processGeneric(FirStream& stream, DcBlocker& dc, bool dcRemoval, int channels, const float* const* in,
                    float* const* out, std::uint32_t frames) {
    if (channels == 2)
        dcRemoval ? processFrames<2, true>(stream, dc, in, out, frames)
                  : processFrames<2, false>(stream, dc, in, out, frames);
    else
        dcRemoval ? processFrames<1, true>(stream, dc, in, out, frames)
                  : processFrames<1, false>(stream, dc, in, out, frames);
}

#if QORTA_DSP_X86
__attribute__((target("avx"))) void processAvx(FirStream& stream, DcBlocker& dc, bool dcRemoval, int channels,
                                               const float* const* in, float* const* out, std::uint32_t frames) {
    if (channels == 2)
        dcRemoval ? processFrames<2, true>(stream, dc, in, out, frames)
                  : processFrames<2, false>(stream, dc, in, out, frames);
    else
        dcRemoval ? processFrames<1, true>(stream, dc, in, out, frames)
                  : processFrames<1, false>(stream, dc, in, out, frames);
}

__attribute__((target("avx512f"))) void processAvx512f(FirStream& stream, DcBlocker& dc, bool dcRemoval,
                                                       int channels, const float* const* in, float* const* out,
                                                       std::uint32_t frames) {
    if (channels == 2)
        dcRemoval ? processFrames<2, true>(stream, dc, in, out, frames)
                  : processFrames<2, false>(stream, dc, in, out, frames);
    else
        dcRemoval ? processFrames<1, true>(stream, dc, in, out, frames)
                  : processFrames<1, false>(stream, dc, in, out, frames);
}
#endif

}  // namespace

void setSampleFunctions(FirPathFunctions& functions, dsp::ConvolvePath path) {
    functions.process = processGeneric;
#if QORTA_DSP_X86
    if (path == dsp::CONVOLVE_AVX512F) functions.process = processAvx512f;
    if (path == dsp::CONVOLVE_AVX) functions.process = processAvx;
#endif
    (void)path;
}

}  // namespace realtime
