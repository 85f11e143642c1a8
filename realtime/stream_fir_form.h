// The closed form of the FIR kernel (dsp/fir_closed_form.h) as the stream
// evaluates it, and the bound on how far a streamed sum can lie from the
// exact ascending sum (dsp::convolveAt) of the same window. Pure
// computation; the derivation is in docs/fir-closed-form.md (the stream's
// evaluation), whose names the code uses.
#ifndef QORTA_REALTIME_STREAM_FIR_FORM_H
#define QORTA_REALTIME_STREAM_FIR_FORM_H

#include <cstddef>
#include <cstdint>

#include "dsp/fir_closed_form.h"
#include "dsp/fir_corrector.h"

namespace realtime {

struct StreamFirForm {
    dsp::FirClosedForm closed;       // weights and powers (dsp::PowerRounding::Nearest)
    double boundPerInput = 0.0;      // K0
    double boundPerRecursion = 0.0;  // K1
    double boundPerOutput = 0.0;     // U
    double recursionReach = 0.0;     // F_max + A_max <= recursionReach x W
};

// Doubles in the table of powers (dsp::closedFormTableLength: 2N + 3).
std::size_t streamFirTableLength(std::int32_t halfLength);

// Prepares `form` for the kernel in `corrector` (filled by fillKernel or
// fillKernelFromTable from the same `effect`, `gain` and `sampleRate`),
// writing the powers into `powers` (streamFirTableLength(N) doubles, kept
// alive as long as `form` is used). Every power is within 2 u of r^m
// (u = 2^-53). Reads every tap once: O(N).
//
// With the sums evaluated as docs/fir-closed-form.md states, for every window
// whose values read have magnitudes of at most W,
//   |streamed sum - convolveAt| <= K W + U |streamed sum| + 2^-900.
// Returns false, leaving the stream to compute every sum exactly, when N
// is outside [1, 2^20], a value is not finite, or the bound's own
// assumptions (errors far below the sums) fail.
bool prepareStreamFir(StreamFirForm* form, double* powers, const dsp::FirCorrector& corrector, double effect,
                      double gain, double sampleRate);

}  // namespace realtime

#endif
