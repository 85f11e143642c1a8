// The streaming FIR's per-sample processing (stream_fir_samples.cpp): its
// entry point for one instruction set, and the test for the one-frame
// case.
#ifndef QORTA_REALTIME_STREAM_FIR_SAMPLES_H
#define QORTA_REALTIME_STREAM_FIR_SAMPLES_H

#include <cstdint>

#include "dsp/fir_convolve.h"
#include "realtime/dc_blocker.h"
#include "realtime/stream_fir.h"

namespace realtime {

// Sets the process entry of `functions` to the processing compiled for
// `path` (the generic build for any path not compiled in).
void setSampleFunctions(FirPathFunctions& functions, dsp::ConvolvePath path);

// True when the next frame's centre lies inside the present chunk (not at
// the start of a new one) and the weights rest: then a call of one frame
// takes the short way that holds only what such a frame needs.
inline bool insideChunkAtRest(const FirStream& stream) {
    const std::int64_t p = stream.time - stream.halfLength;
    return !stream.restart && p != stream.chunkStart + stream.halfLength + 1 && !gliding(stream.alpha) &&
           !gliding(stream.beta) && !gliding(stream.average);
}

}  // namespace realtime

#endif  // QORTA_REALTIME_STREAM_FIR_SAMPLES_H
