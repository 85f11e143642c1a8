// One host processing call on a streaming corrector: the host's block cut
// into pieces the engine takes, the controls as the host's ports hold them.
#ifndef QORTA_HOSTGLUE_STREAM_RUN_H
#define QORTA_HOSTGLUE_STREAM_RUN_H

#include <cstdint>

#include "realtime/stream_corrector.h"

namespace hostglue {

// The controls for one call, read from the host's port pointers; a port the
// host left unconnected (null) keeps the default.
realtime::StreamControls readControls(const float* effect, const float* gain, const float* quality,
                                      const float* dcRemoval);

// Processes `frames` frames of `channels` channels (1 or 2) from in[ch] to
// out[ch], at most STREAM_MAX_BLOCK frames per engine call, so that hosts
// may pass blocks of any length. in[ch] and out[ch] may be the same buffer.
// With 0 frames the engine is still called once, so that the latency it
// reports follows the controls. Allocates nothing. Returns the engine's
// latency after the call, in frames.
std::uint32_t runStream(realtime::StreamCorrector* corrector, const realtime::StreamControls& controls,
                        int channels, const float* const* in, float* const* out, std::uint64_t frames);

}  // namespace hostglue

#endif
