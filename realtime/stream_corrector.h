// The two correctors in streaming form, for plug-ins of real-time audio
// hosts: 32-bit float samples in and out, computed in double, one channel
// or two processed independently, any block length, in place or not.
//
//   IIR: the recursive corrector, its state carried from one block to the
//        next; output = corrected sample x gain / 100. No latency.
//   FIR: the linear-phase kernel of the given quality applied centred, so
//        the output is the corrected input delayed by exactly N samples
//        (N = quality x rate / 5000), which the host is told as latency.
//        Its cost per sample does not grow with N.
//
// Optional DC removal before either corrector takes a constant or slowly
// drifting input offset away, which the correctors would otherwise boost.
//
// Life cycle: createStreamCorrector (allocates everything, for the longest
// kernel the quality range allows at that rate) -> activateStreamCorrector
// -> processStream ... -> [activate again to start afresh] ->
// destroyStreamCorrector. processStream and streamLatency allocate nothing,
// lock nothing and make no system call.
#ifndef QORTA_REALTIME_STREAM_CORRECTOR_H
#define QORTA_REALTIME_STREAM_CORRECTOR_H

#include <cstdint>

namespace realtime {

enum class CorrectorForm { Iir, Fir };

// Control ranges and defaults. Values outside a range are clamped to it;
// quality is rounded to the nearest whole number; a value that is not a
// number takes the default.
constexpr float EFFECT_MIN = -100.0f, EFFECT_MAX = 1000.0f, EFFECT_DEFAULT = 100.0f;    // percent
constexpr float GAIN_MIN = 0.0f, GAIN_MAX = 400.0f, GAIN_DEFAULT = 100.0f;              // percent
constexpr float QUALITY_MIN = 0.0f, QUALITY_MAX = 300.0f, QUALITY_DEFAULT = 100.0f;     // FIR only
constexpr float DC_REMOVAL_DEFAULT = 1.0f;                                               // > 0.5 is on

// The channel counts of the plug-ins: mono and stereo.
constexpr int STREAM_MAX_CHANNELS = 2;

// The largest block the correctors process in one piece; processStream
// cuts longer blocks into pieces of this size (and copies each piece's
// input into a buffer of this size).
constexpr std::uint32_t STREAM_MAX_BLOCK = 8192;

// The control values of one processing call, as the host's ports hold them.
struct StreamControls {
    float effect = EFFECT_DEFAULT;
    float gain = GAIN_DEFAULT;
    float quality = QUALITY_DEFAULT;
    float dcRemoval = DC_REMOVAL_DEFAULT;
};

struct StreamCorrector;  // all state and buffers of one plug-in instance

// Creates a corrector of `form` for `channels` (1 or 2) at `sampleRate`
// (samples per second; finite, 1 to 1,000,000). Returns null when an
// argument is out of range or memory cannot be had.
StreamCorrector* createStreamCorrector(CorrectorForm form, int channels, double sampleRate);

// Frees everything; null is allowed.
void destroyStreamCorrector(StreamCorrector* corrector);

// Starts afresh: clears every state and delay line, so the next block is
// processed as the first after creation (controls then apply at once,
// without a glide).
void activateStreamCorrector(StreamCorrector* corrector);

// Processes `frames` frames: in[ch][i] -> out[ch][i] for every channel.
// Any count works; blocks longer than STREAM_MAX_BLOCK are processed in
// pieces of that size, with the same result. Every input of a piece is read
// before any output is written, so the buffers may be connected in any way
// (in place, crossed, both inputs on one buffer); partly overlapping buffers
// are not allowed. A non-finite input sample counts as 0.0; an output beyond
// the float range is written as the largest finite float of its sign, one
// below the smallest normal float as 0.0. Effect and gain changes
// glide over about 10 ms; a quality change takes effect at once, from the
// history already held. With 0 frames the controls are still taken, so
// that streamLatency follows them.
void processStream(StreamCorrector* corrector, const StreamControls& controls, const float* const* in,
                   float* const* out, std::uint64_t frames);

// The latency in frames of the last processStream call (before the first
// one, of the default quality): N for the FIR, 0 for the IIR.
std::uint32_t streamLatency(const StreamCorrector* corrector);

}  // namespace realtime

#endif
