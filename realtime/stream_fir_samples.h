// The streaming FIR's per-sample processing (stream_fir_samples.cpp): its
// entry points for one instruction set, and the test for the one-frame
// entry.
#ifndef QORTA_REALTIME_STREAM_FIR_SAMPLES_H
#define QORTA_REALTIME_STREAM_FIR_SAMPLES_H

#include <cstdint>

#include "dsp/fir_convolve.h"
#include "realtime/dc_blocker.h"
#include "realtime/stream_fir.h"

namespace realtime {

// Sets the frames and oneFrame entries of `functions` to the processing
// compiled for `path` (the generic build for any path not compiled in).
void setSampleFunctions(FirPathFunctions& functions, dsp::ConvolvePath path);

// Stores the inputs of frames [0, frames) in the delay line (DC removed
// when `dcRemoval`) without the closed form, which is not usable for the
// settings, and marks every sum of the block for the exact sum.
void storeInputsOnly(FirStream& stream, DcBlocker& dc, bool dcRemoval, int channels, const float* const* in,
                     std::uint32_t frames);

// True when the next frame's centre lies inside the present chunk (not at
// the start of a new one) and the weights rest: then a call of one frame
// can take the oneFrame entry.
inline bool insideChunkAtRest(const FirStream& stream) {
    const std::int64_t p = stream.time - stream.halfLength;
    return !stream.restart && p != stream.chunkStart + stream.halfLength + 1 && !gliding(stream.alpha) &&
           !gliding(stream.beta) && !gliding(stream.average);
}

}  // namespace realtime

#endif  // QORTA_REALTIME_STREAM_FIR_SAMPLES_H
