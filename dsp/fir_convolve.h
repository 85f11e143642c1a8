// Selection among the forms of the FIR run convolution compiled into this
// build: a portable form and, on x86, forms for SSE2, AVX and AVX-512F. Each
// form computes the same separately rounded products and adds them in the
// same ascending order per output sample as convolveAt; they differ only in
// how many output samples are worked on side by side. convolveRun picks the
// widest form the processor supports; tests and benchmarks choose one here.
#ifndef QORTA_DSP_FIR_CONVOLVE_H
#define QORTA_DSP_FIR_CONVOLVE_H

#include <cstddef>

#include "dsp/fir_corrector.h"

namespace dsp {

enum ConvolvePath {
    CONVOLVE_GENERIC = 0,  // plain C++, several scalar accumulators; every build
    CONVOLVE_SSE2 = 1,     // 2 lanes; x86 builds
    CONVOLVE_AVX = 2,      // 4 lanes; x86 builds
    CONVOLVE_AVX512F = 3,  // 8 lanes; x86 builds
};

constexpr int CONVOLVE_PATH_COUNT = 4;

// Returns a short lower-case name of `path` ("generic", "sse2", "avx",
// "avx512f"), or "unknown" for a value outside the enumeration.
const char* convolvePathName(ConvolvePath path);

// Returns true when `path` is compiled into this build and the running
// processor and operating system support its instructions; false otherwise,
// including for a value outside the enumeration.
bool convolvePathAvailable(ConvolvePath path);

// Returns the widest available path; CONVOLVE_GENERIC when no other is.
ConvolvePath bestConvolvePath();

// convolveRun (see fir_corrector.h) carried out by `path`. Returns true when
// it ran; returns false and touches nothing when the path is not available.
bool convolveRunWith(ConvolvePath path, const FirCorrector& corrector, const double* window,
                     std::ptrdiff_t firstCentre, std::size_t count, double* out);

}  // namespace dsp

#endif
