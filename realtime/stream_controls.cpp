#include "realtime/stream_controls.h"

#include <cmath>

#include "dsp/fir_corrector.h"

namespace realtime {

namespace {

// `value` clamped to [low, high]; a value that is not a number gives `fallback`.
double clampOr(float value, float low, float high, float fallback) {
    if (std::isnan(value)) return fallback;
    if (value < low) return low;
    if (value > high) return high;
    return value;
}

}  // namespace

ControlValues sanitizeControls(const StreamControls& controls) {
    ControlValues values;
    values.effect = clampOr(controls.effect, EFFECT_MIN, EFFECT_MAX, EFFECT_DEFAULT);
    values.gain = clampOr(controls.gain, GAIN_MIN, GAIN_MAX, GAIN_DEFAULT);
    values.quality =
        static_cast<std::int32_t>(std::round(clampOr(controls.quality, QUALITY_MIN, QUALITY_MAX, QUALITY_DEFAULT)));
    values.dcRemoval = clampOr(controls.dcRemoval, 0.0f, 1.0f, DC_REMOVAL_DEFAULT) > 0.5;
    return values;
}

std::int32_t streamHalfLength(std::int32_t quality, double sampleRate) {
    if (sampleRate == std::floor(sampleRate))
        return static_cast<std::int32_t>(dsp::halfLengthExact(quality, static_cast<std::int32_t>(sampleRate)));
    // A fractional rate: the floor of the quotient of the real product.
    return static_cast<std::int32_t>(std::floor(static_cast<double>(quality) * sampleRate / 5000.0));
}

std::uint32_t glideLength(double sampleRate) {
    const double samples = std::round(sampleRate * 0.01);
    return samples < 1.0 ? 1u : static_cast<std::uint32_t>(samples);
}

}  // namespace realtime
