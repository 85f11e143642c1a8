// The recursive corrector as a stream: dsp::process per channel, its state
// carried from block to block, followed by the output gain.
//
// With DC removal off and controls that do not change, output sample i of
// channel ch is exactly
//   toOutput(dsp::process(corrector, ch, double(in[ch][i])) x (gain x 0.01))
// with strength = dsp::strengthFromEffect(effect), the corrector configured
// for the stream's rate and reset at activation (toOutput: rounded to float,
// a zero written as +0.0; see state_floor.h for why the flush of tiny states
// changes nothing else). No latency.
#ifndef QORTA_REALTIME_STREAM_IIR_H
#define QORTA_REALTIME_STREAM_IIR_H

#include <cstdint>

#include "dsp/iir_corrector.h"
#include "realtime/dc_blocker.h"
#include "realtime/stream_controls.h"

namespace realtime {

struct IirStream {
    dsp::IirCorrector corrector;
    double sampleRate = 0.0;
    Glide strength;     // bass boost strength, effect x 0.25
    Glide outputScale;  // gain x 0.01
};

// Configures `stream` for `sampleRate` and `values` and clears its state.
void startIirStream(IirStream& stream, double sampleRate, const ControlValues& values);

// Takes new control values: at once when `atOnce`, otherwise effect and
// gain glide to them over `glideSamples` samples. Allocates nothing.
void setIirControls(IirStream& stream, const ControlValues& values, bool atOnce, std::uint32_t glideSamples);

// Processes `frames` frames of `channels` channels, reading every input
// sample before writing the output sample at the same index (so in place
// works); DC removal through `dc` when `dcRemoval`.
void processIirStream(IirStream& stream, DcBlocker& dc, bool dcRemoval, int channels, const float* const* in,
                      float* const* out, std::uint32_t frames);

}  // namespace realtime

#endif
