#include "tools/realtime/reference.h"

#include <cstdint>

#include "dsp/fir_corrector.h"
#include "dsp/iir_corrector.h"
#include "dsp/strength.h"

namespace rtref {

std::vector<double> iirReference(const std::vector<double>& input, double rate, double effect, double gain) {
    dsp::IirCorrector corrector;
    dsp::configure(corrector, rate, dsp::strengthFromEffect(effect));
    dsp::reset(corrector);
    const double scale = gain * 0.01;
    std::vector<double> output(input.size());
    for (std::size_t i = 0; i < input.size(); ++i) output[i] = dsp::process(corrector, 0, input[i]) * scale;
    return output;
}

std::vector<double> firReference(const std::vector<double>& input, double rate, double effect, double gain,
                                 int quality) {
    const std::int64_t n = dsp::halfLengthExact(quality, static_cast<std::int32_t>(rate));
    if (n < 0) return {};
    std::vector<double> kernel(static_cast<std::size_t>(2 * n + 1));
    const dsp::FirCorrector corrector{static_cast<std::int32_t>(n), kernel.data()};
    dsp::fillKernel(corrector, effect, gain, rate);
    std::vector<double> padded(input.size() + 2 * static_cast<std::size_t>(n), 0.0);
    for (std::size_t i = 0; i < input.size(); ++i) padded[i + n] = input[i];
    std::vector<double> output(input.size());
    for (std::size_t i = 0; i < input.size(); ++i)
        output[i] = dsp::convolveAt(corrector, padded.data(), static_cast<std::ptrdiff_t>(i + n));
    return output;
}

}  // namespace rtref
