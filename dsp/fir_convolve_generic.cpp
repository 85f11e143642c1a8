#include "dsp/fir_convolve_kernels.h"

namespace dsp {

namespace {

// Outputs worked on side by side; their sums are independent, so the
// additions of one output never wait for those of another.
constexpr std::size_t GENERIC_BLOCK = 8;

}  // namespace

void convolveGeneric(const double* kernel, std::size_t taps, const double* first, std::size_t count,
                     double* out) {
    std::size_t done = 0;
    while (done < count) {
        const std::size_t width = count - done < GENERIC_BLOCK ? count - done : GENERIC_BLOCK;
        const double* const window = first + done;
        double sum[GENERIC_BLOCK] = {0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
        if (width == GENERIC_BLOCK) {
            for (std::size_t t = 0; t < taps; ++t) {
                const double weight = kernel[t];
                for (std::size_t j = 0; j < GENERIC_BLOCK; ++j) sum[j] += weight * window[t + j];
            }
        } else {
            for (std::size_t t = 0; t < taps; ++t) {
                const double weight = kernel[t];
                for (std::size_t j = 0; j < width; ++j) sum[j] += weight * window[t + j];
            }
        }
        for (std::size_t j = 0; j < width; ++j) out[done + j] = sum[j];
        done += width;
    }
}

}  // namespace dsp
