// The linear-phase corrector as a stream. Output sample t is the kernel
// centred on input sample p = t - N (zeros before the stream's start), so
// the output is the corrected input delayed by exactly N samples, the
// latency the host is told.
//
// Each sum comes from the closed form of dsp/fir_fast.h,
//   alpha w[p] + beta ((F[p] + G[p]) - w[p]) - c B[p],
// with F[p] = sum over m = 0..N of r^m w[p - m], G[p] = the same towards the
// future, B[p] = sum of w[p - N .. p + N]. A stream holds input only up to
// p + N when output p is due, so the sums run over chunks of N + 1 centres
// [s, e), e = s + N + 1: at the chunk's first output (when w[s + N] = w[e - 1]
// has arrived) F[s] and B[s] are computed directly, and G is split at e:
//   G[p] = A[p] + r^(e - p) P[p + N],
//   A[p] = sum of r^(j - p) w[j] over j = p .. e - 1  (a backward recursion
//          over the chunk, done then),
//   P[q] = sum of r^(j - e) w[j] over j = e .. q      (grows by one term per
//          arriving sample).
// F and B then step forward sample by sample until the next chunk. Every
// recursion is stable (none divides by r) and restarts from direct sums
// every N + 1 samples, which costs O(N) once per chunk: O(1) per sample,
// amortised, for any block length. What is computed for a sample does not
// depend on how the stream is cut into blocks.
//
// Accuracy: with constant controls every output is within one float step of
// (float) dsp::convolveAt over the same window. The streamed sum's distance
// from that exact sum is at most K W + U |sum| (realtime/stream_fir_form.h,
// docs/fir-closed-form.md), W the largest input magnitude the chunk has read;
// where that leaves the float result more than one step open, the sample is
// computed exactly instead (settled in one run per block).
#ifndef QORTA_REALTIME_STREAM_FIR_H
#define QORTA_REALTIME_STREAM_FIR_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "dsp/channels.h"
#include "dsp/fir_convolve.h"
#include "realtime/dc_blocker.h"
#include "realtime/stream_fir_form.h"
#include "realtime/stream_controls.h"

namespace realtime {

struct FirChannel {
    std::unique_ptr<double[]> values;            // the present block's sums, STREAM_MAX_BLOCK doubles
    std::unique_ptr<unsigned char[]> undecided;  // per sum of the block: 1 where it must be computed exactly (all 0
                                                 // between calls)
};

// The recursions' state, one value per channel in each field: the channels
// side by side, as the processing holds them in vector lanes.
struct FirSums {
    double forward[dsp::MAX_CHANNELS] = {};       // F at the present centre
    double box[dsp::MAX_CHANNELS] = {};           // B at the present centre
    double partial[dsp::MAX_CHANNELS] = {};       // P at the present output time: partial + partialError
    double partialError[dsp::MAX_CHANNELS] = {};  // the rounding errors of P's additions, gathered exactly
    double inputMax[dsp::MAX_CHANNELS] = {};      // W: the largest |w| read since the chunk began
    double forwardMax[dsp::MAX_CHANNELS] = {};    // the largest |F| since the chunk began
    double backwardMax[dsp::MAX_CHANNELS] = {};   // the largest |A| of the chunk
};

struct FirStream;

// The processing compiled for one instruction set: each entry holds the
// whole of its work compiled for that set (the same operations in every
// lane, so the same bits on every set); the per-channel entries are indexed
// by channels - 1.
//
// process: a block of `frames` (<= STREAM_MAX_BLOCK) frames of `channels`
// channels, the per-sample loop included (stream_fir_samples.cpp); every
// input sample is read before any output is written, so in place works.
// DC removal through `dc` when `dcRemoval`.
using FirProcess = void (*)(FirStream& stream, DcBlocker& dc, bool dcRemoval, int channels, const float* const* in,
                            float* const* out, std::uint32_t frames);
// startChunk: F, B, W and the chunk's A at the chunk of centres from
// `firstCentre` on (stream_fir_chunk.cpp).
using FirChunkStart = void (*)(FirStream& stream, std::int64_t firstCentre);
// decide: writes out the stored sums [from, to) that the bound decides and
// marks the others for the exact sum; true when it marked any
// (stream_fir_decide.cpp).
using FirDecisions = bool (*)(FirStream& stream, float* const* out, std::uint32_t from, std::uint32_t to);

struct FirPathFunctions {
    FirProcess process = nullptr;
    FirChunkStart startChunk[dsp::MAX_CHANNELS] = {};
    FirDecisions decide[dsp::MAX_CHANNELS][2] = {};  // [channels - 1][gliding]: while gliding, every sum is decided
};

struct FirStream {
    double sampleRate = 0.0;
    std::int32_t maxHalfLength = 0;        // N at quality 300
    std::size_t capacity = 0;              // a power of two above 2 N_max + STREAM_MAX_BLOCK
    std::unique_ptr<double[]> decayTable;  // exp(-k T), k = 0 .. N_max + 1
    std::unique_ptr<double[]> kernel;      // 2 N + 1 taps of the present settings
    std::unique_ptr<double[]> powers;      // the closed form's table of powers (prepareStreamFir)
    // The present block's sums, W and F_max + A_max per frame, channels
    // side by side (STREAM_MAX_BLOCK x MAX_CHANNELS doubles each).
    std::unique_ptr<double[]> blockSums, blockInputMax, blockRecursionMax;
    // The delay line, 2 x capacity frames: w[t] at frame t mod capacity and
    // again one capacity on, the channels of a frame side by side (as many
    // as the stream processes), so that one vector access reads or writes a
    // frame.
    std::unique_ptr<double[]> ring;
    std::unique_ptr<double[]> backward;     // A over the present chunk, N_max + 1 frames, channels side by side
    std::unique_ptr<double[]> exactWindow;  // one channel's window for a run of exact sums, 2 N_max + block

    // The present settings.
    ControlValues settings;
    std::int32_t halfLength = 0;  // N
    StreamFirForm form;           // the closed form's weights and bound for the settings
    bool fastUsable = false;      // false: every sum is computed exactly
    double decisionScale = 0.0;   // a sum is decided when |sum| >= bound x decisionScale
    double coarseScale = 0.0;     // the first such test per unit of W
    Glide alpha, beta, average;   // the weights in use; they glide after a change

    // Position in the stream.
    std::int64_t time = 0;        // index of the next input sample
    std::int64_t chunkStart = 0;  // first centre of the present chunk
    bool restart = true;          // the next sample starts a chunk whatever the position
    std::uint64_t exactSums = 0;  // sums computed exactly since creation (for measurements)
    bool exactFallback = true;    // false only in measurements of the closed form alone
    // The instruction set the processing is compiled for: generic, AVX or
    // AVX-512F (the same operations in every lane, so the same bits).
    dsp::ConvolvePath vectorPath = dsp::CONVOLVE_GENERIC;
    FirPathFunctions functions;  // the processing compiled for vectorPath

    FirChannel channel[dsp::MAX_CHANNELS];
    FirSums sums;
};

// Allocates every buffer for the longest kernel at `sampleRate` (1 ..
// 1,000,000). Returns false when memory cannot be had.
bool allocateFirStream(FirStream& stream, double sampleRate);

// Clears the delay lines and states and applies `values` at once.
void startFirStream(FirStream& stream, const ControlValues& values);

// Takes new control values. A quality that changes N takes effect at once
// (the sums restart from the history held); other changes of effect or gain
// glide over `glideSamples` samples unless `atOnce`. Rebuilds the kernel
// from the table of exponentials when a value changed: O(N), no allocation.
void setFirControls(FirStream& stream, const ControlValues& values, bool atOnce, std::uint32_t glideSamples);

// Makes the processing run on `path` (CONVOLVE_GENERIC, CONVOLVE_AVX or
// CONVOLVE_AVX512F); every path gives the same bits. Returns false and
// changes nothing when the path is not compiled in or the processor lacks
// it. allocateFirStream selects the widest one available.
bool selectFirVectorPath(FirStream& stream, dsp::ConvolvePath path);

}  // namespace realtime

#endif
