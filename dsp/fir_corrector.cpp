#include "dsp/fir_corrector.h"

#include <cmath>

#include "dsp/fir_convolve.h"
#include "dsp/strength.h"

namespace dsp {

std::uint32_t halfLengthWrapping32(std::int32_t quality, std::uint32_t sampleRate) {
    return static_cast<std::uint32_t>(quality) * sampleRate / 5000u;
}

std::int64_t halfLengthExact(std::int32_t quality, std::int32_t sampleRate) {
    return static_cast<std::int64_t>(quality) * sampleRate / 5000;
}

namespace {

// exp(-k x decayStep) as both forms of the kernel build compute it.
double decayAt(std::int64_t k, double decayStep) { return std::exp(-static_cast<double>(k) * decayStep); }

// The kernel build, with exponent(k) giving exp(-k x T) for k >= 1.
template <class Exponential>
void fillTaps(const FirCorrector& corrector, Exponential exponent, double effect, double gain, double sampleRate) {
    if (corrector.halfLength < 0) return;
    // 64-bit tap arithmetic: 2N + 1 and N + 1 stay exact for every int32 N.
    const std::int64_t n = corrector.halfLength;
    double* const kernel = corrector.kernel;

    // Exponent step per tap (a 10 ms time constant) and boost level.
    const double decayStep = 100.0 / sampleRate;
    const double boostLevel = strengthFromEffect(effect);

    // The unchanged signal at the centre and the two-sided exponential boost.
    for (std::int64_t k = -n; k <= n; ++k) {
        if (k == 0)
            kernel[n] = decayStep * boostLevel + 1.0;
        else
            kernel[n + k] = exponent(k < 0 ? -k : k, decayStep) * boostLevel * decayStep;
    }

    // The boost one tap beyond the edges is taken off every tap, so the boost
    // ends at zero instead of with a step; then the output gain is applied.
    const double tailValue = exponent(n + 1, decayStep) * boostLevel * decayStep;
    const std::int64_t taps = 2 * n + 1;
    for (std::int64_t i = 0; i < taps; ++i) kernel[i] = (kernel[i] - tailValue) * gain * 0.01;

    // Subtracting the moving average over the kernel's length removes DC;
    // it comes after the gain so the gain does not scale it.
    const double average = 1.0 / static_cast<double>(taps);
    for (std::int64_t i = 0; i < taps; ++i) kernel[i] = kernel[i] - average;
}

}  // namespace

void fillKernel(const FirCorrector& corrector, double effect, double gain, double sampleRate) {
    fillTaps(corrector, decayAt, effect, gain, sampleRate);
}

void fillDecayTable(double* table, std::int32_t count, double sampleRate) {
    const double decayStep = 100.0 / sampleRate;
    for (std::int32_t k = 0; k < count; ++k) table[k] = decayAt(k, decayStep);
}

void fillKernelFromTable(const FirCorrector& corrector, const double* table, double effect, double gain,
                         double sampleRate) {
    fillTaps(corrector, [table](std::int64_t k, double) { return table[k]; }, effect, gain, sampleRate);
}

double convolveAt(const FirCorrector& corrector, const double* window, std::ptrdiff_t centre) {
    const std::int64_t n = corrector.halfLength;
    const double* const kernel = corrector.kernel;
    double sum = 0.0;
    for (std::int64_t m = -n; m <= n; ++m) sum += kernel[n + m] * window[centre + m];
    return sum;
}

void convolveRun(const FirCorrector& corrector, const double* window, std::ptrdiff_t firstCentre,
                 std::size_t count, double* out) {
    convolveRunWith(bestConvolvePath(), corrector, window, firstCentre, count, out);
}

}  // namespace dsp
