// Inspection of a stream's state for tests: whether silence after a loud
// passage has left subnormal numbers behind.
#ifndef QORTA_REALTIME_STREAM_PROBE_H
#define QORTA_REALTIME_STREAM_PROBE_H

#include <cstddef>
#include <cstdint>

#include "dsp/fir_convolve.h"
#include "realtime/stream_corrector.h"

namespace realtime {

// The number of subnormal doubles in every state, delay line and buffer the
// corrector carries from one call to the next. 0 is the expected answer.
std::size_t countSubnormalState(const StreamCorrector* corrector);

// The number of FIR sums computed exactly since creation, because the
// fast sum's error bound left its float value open (0 for the IIR form).
std::uint64_t countExactSums(const StreamCorrector* corrector);

// For measurements only: with `enabled` false the FIR form never computes
// a sum exactly, so that the closed form's own distance from the exact sum
// shows. Every stream starts with it enabled.
void setExactFallback(StreamCorrector* corrector, bool enabled);

// For tests and measurements: runs the FIR form's processing on the
// instruction set `path` (CONVOLVE_GENERIC, CONVOLVE_AVX or
// CONVOLVE_AVX512F), which gives the same bits as every other. Returns
// false and changes nothing for the IIR form, or when the path is not
// compiled in or the processor lacks it.
bool selectFirVectorPath(StreamCorrector* corrector, dsp::ConvolvePath path);

}  // namespace realtime

#endif
