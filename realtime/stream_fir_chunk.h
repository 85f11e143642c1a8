// The start of a chunk of the streaming FIR (stream_fir_chunk.cpp): F, B
// and W computed directly over the window, the chunk's A by the backward
// recursion.
#ifndef QORTA_REALTIME_STREAM_FIR_CHUNK_H
#define QORTA_REALTIME_STREAM_FIR_CHUNK_H

#include "dsp/fir_convolve.h"
#include "realtime/stream_fir.h"

namespace realtime {

// Sets the startChunk entries of `functions` to the chunk start compiled
// for `path` (the generic build for any path not compiled in).
void setChunkFunctions(FirPathFunctions& functions, dsp::ConvolvePath path);

}  // namespace realtime

#endif  // QORTA_REALTIME_STREAM_FIR_CHUNK_H
