// The vector form of the fast FIR segments, beside the portable one in
// fir_fast.cpp; only fir_fast.cpp calls it, after checking that the
// processor supports it.
#ifndef QORTA_DSP_FIR_FAST_KERNELS_H
#define QORTA_DSP_FIR_FAST_KERNELS_H

#include <cstddef>
#include <cstdint>

#include "dsp/fir_convolve_kernels.h"
#include "dsp/fir_fast.h"

namespace dsp {

#if QORTA_DSP_X86
// Eight segments of FAST_FIR_SEGMENT outputs from window position `first`
// on, into out[0 .. 8 x FAST_FIR_SEGMENT - 1], with AVX: the same bits as
// the portable form. `scratch` holds fastGroupAvxScratch(N) doubles.
void fastGroupAvx(const FastFir& fast, const double* window, std::ptrdiff_t first, double* out, double* scratch);
std::size_t fastGroupAvxScratch(std::int32_t halfLength);
#endif

}  // namespace dsp

#endif
