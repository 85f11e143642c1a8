#include "dsp/fir_convolve.h"

#include "dsp/fir_convolve_kernels.h"

namespace dsp {

const char* convolvePathName(ConvolvePath path) {
    switch (path) {
        case CONVOLVE_GENERIC: return "generic";
        case CONVOLVE_SSE2: return "sse2";
        case CONVOLVE_AVX: return "avx";
        case CONVOLVE_AVX512F: return "avx512f";
    }
    return "unknown";
}

bool convolvePathAvailable(ConvolvePath path) {
    switch (path) {
        case CONVOLVE_GENERIC: return true;
#if QORTA_DSP_X86
        // The processor checks include the operating system's support for
        // saving the wider registers.
        case CONVOLVE_SSE2: __builtin_cpu_init(); return __builtin_cpu_supports("sse2");
        case CONVOLVE_AVX: __builtin_cpu_init(); return __builtin_cpu_supports("avx");
        case CONVOLVE_AVX512F: __builtin_cpu_init(); return __builtin_cpu_supports("avx512f");
#else
        case CONVOLVE_SSE2:
        case CONVOLVE_AVX:
        case CONVOLVE_AVX512F: return false;
#endif
    }
    return false;
}

ConvolvePath bestConvolvePath() {
    for (int path = CONVOLVE_PATH_COUNT - 1; path > CONVOLVE_GENERIC; --path)
        if (convolvePathAvailable(static_cast<ConvolvePath>(path))) return static_cast<ConvolvePath>(path);
    return CONVOLVE_GENERIC;
}

bool convolveRunWith(ConvolvePath path, const FirCorrector& corrector, const double* window,
                     std::ptrdiff_t firstCentre, std::size_t count, double* out) {
    if (!convolvePathAvailable(path)) return false;
    if (count == 0) return true;
    if (corrector.halfLength < 0) {
        for (std::size_t i = 0; i < count; ++i) out[i] = 0.0;
        return true;
    }
    // 2N + 1 <= 2^32 - 1 fits a size_t even on 32-bit targets.
    const std::size_t taps = static_cast<std::size_t>(corrector.halfLength) * 2u + 1u;
    const double* const first = window + (firstCentre - corrector.halfLength);
    switch (path) {
        case CONVOLVE_GENERIC: convolveGeneric(corrector.kernel, taps, first, count, out); break;
#if QORTA_DSP_X86
        case CONVOLVE_SSE2: convolveSse2(corrector.kernel, taps, first, count, out); break;
        case CONVOLVE_AVX: convolveAvx(corrector.kernel, taps, first, count, out); break;
        case CONVOLVE_AVX512F: convolveAvx512f(corrector.kernel, taps, first, count, out); break;
#else
        default: break;
#endif
    }
    return true;
}

}  // namespace dsp
