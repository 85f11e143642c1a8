#include "tools/response/response.h"

#include <cmath>
#include <limits>
#include <memory>
#include <new>

#include "console/fir_stream.h"
#include "dsp/fir_corrector.h"
#include "dsp/iir_corrector.h"
#include "dsp/strength.h"

using namespace console;

namespace response {
namespace {

constexpr double TWO_PI = 6.283185307179586476925286766559;

// The rotating phasor of the transform is recomputed exactly this often, so
// its rounding drift stays near 1e-13.
constexpr std::size_t PHASOR_RESYNC = 512;

template <typename T>
std::unique_ptr<T[]> allocate(std::size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]);
}

// |sum of h[n] exp(-i w n)| over the `length` samples of `h`.
double transformMagnitude(const double* h, std::size_t length, double w) {
    const double stepCos = std::cos(w);
    const double stepSin = std::sin(w);
    double re = 0.0;
    double im = 0.0;
    for (std::size_t start = 0; start < length; start += PHASOR_RESYNC) {
        const double angle = w * static_cast<double>(start);
        double c = std::cos(angle);
        double s = std::sin(angle);
        const std::size_t end = length - start < PHASOR_RESYNC ? length : start + PHASOR_RESYNC;
        for (std::size_t n = start; n < end; ++n) {
            re += h[n] * c;
            im -= h[n] * s;
            const double nextC = c * stepCos - s * stepSin;
            s = s * stepCos + c * stepSin;
            c = nextC;
        }
    }
    return std::hypot(re, im);
}

}  // namespace

std::size_t iirImpulseLength(std::uint32_t sampleRate) { return 2 * static_cast<std::size_t>(sampleRate); }

int iirMagnitudes(const CurveSettings& settings, const double* frequencies, std::size_t count, double* magnitudes) {
    if (settings.sampleRate < MIN_SAMPLE_RATE) return RESPONSE_BAD_SETTINGS;
    if (count == 0) return RESPONSE_OK;
    const std::size_t length = iirImpulseLength(settings.sampleRate);
    std::unique_ptr<double[]> impulse = allocate<double>(length);
    if (impulse == nullptr) return RESPONSE_OUT_OF_MEMORY;

    // The corrector exactly as qortaiir sets it up for a file, fed a unit
    // impulse on channel 0; the output scale without fades is gain x 0.01.
    dsp::IirCorrector corrector;
    dsp::reset(corrector);
    dsp::configure(corrector, settings.sampleRate, dsp::strengthFromEffect(settings.effect));
    const double outputScale = ((1.0 * 1.0) * settings.gain) * 0.01;
    for (std::size_t n = 0; n < length; ++n)
        impulse[n] = dsp::process(corrector, 0, n == 0 ? 1.0 : 0.0) * outputScale;

    const double rate = settings.sampleRate;
    for (std::size_t i = 0; i < count; ++i)
        magnitudes[i] = transformMagnitude(impulse.get(), length, TWO_PI * frequencies[i] / rate);
    return RESPONSE_OK;
}

int firAmplitudes(const CurveSettings& settings, const double* frequencies, std::size_t count, double* amplitudes) {
    if (settings.sampleRate < MIN_SAMPLE_RATE) return RESPONSE_BAD_SETTINGS;
    const std::int64_t halfLength = dsp::halfLengthExact(settings.quality, settings.sampleRate);
    if (settings.quality < 0 || halfLength > MAX_FIR_HALF_LENGTH) return RESPONSE_BAD_SETTINGS;
    if (count == 0) return RESPONSE_OK;
    const std::int64_t n = halfLength;
    std::unique_ptr<double[]> kernel = allocate<double>(static_cast<std::size_t>(2 * n + 1));
    if (kernel == nullptr) return RESPONSE_OUT_OF_MEMORY;
    const dsp::FirCorrector corrector = {static_cast<std::int32_t>(n), kernel.get()};
    dsp::fillKernel(corrector, settings.effect, settings.gain, settings.sampleRate);

    const double rate = settings.sampleRate;
    for (std::size_t i = 0; i < count; ++i) {
        const double w = TWO_PI * frequencies[i] / rate;
        double sum = 0.0;
        for (std::int64_t k = -n; k <= n; ++k) sum += kernel[n + k] * std::cos(w * static_cast<double>(k));
        amplitudes[i] = sum;
    }
    return RESPONSE_OK;
}

int curveMagnitudes(const CurveSettings& settings, const double* frequencies, std::size_t count,
                    double* magnitudes) {
    if (settings.kind == CorrectorKind::Iir) return iirMagnitudes(settings, frequencies, count, magnitudes);
    int result = firAmplitudes(settings, frequencies, count, magnitudes);
    if (result != RESPONSE_OK) return result;
    for (std::size_t i = 0; i < count; ++i) magnitudes[i] = std::fabs(magnitudes[i]);
    return RESPONSE_OK;
}

std::vector<double> logFrequencies(double low, double high, std::size_t count) {
    std::vector<double> frequencies(count);
    if (count == 0) return frequencies;
    frequencies[0] = low;
    if (count == 1) return frequencies;
    const double logLow = std::log(low);
    const double span = std::log(high) - logLow;
    for (std::size_t i = 1; i + 1 < count; ++i)
        frequencies[i] = std::exp(logLow + span * static_cast<double>(i) / static_cast<double>(count - 1));
    frequencies[count - 1] = high;
    return frequencies;
}

double toDecibels(double magnitude) {
    if (!(magnitude >= 0.0)) return std::numeric_limits<double>::quiet_NaN();
    if (magnitude == 0.0) return -std::numeric_limits<double>::infinity();
    return 20.0 * std::log10(magnitude);
}

}  // namespace response
