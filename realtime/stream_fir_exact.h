// The exact sums of the streaming FIR (stream_fir_exact.cpp).
#ifndef QORTA_REALTIME_STREAM_FIR_EXACT_H
#define QORTA_REALTIME_STREAM_FIR_EXACT_H

#include <cstdint>

#include "realtime/stream_fir.h"

namespace realtime {

// Computes the marked sums of the block of `frames` frames of `channels`
// channels whose first input had time `firstTime` exactly (the same bits
// as dsp::convolveAt over the delay line) and writes them out, clearing the
// marks.
void writeExactSums(FirStream& stream, float* const* out, int channels, std::uint32_t frames, std::int64_t firstTime);

}  // namespace realtime

#endif  // QORTA_REALTIME_STREAM_FIR_EXACT_H
