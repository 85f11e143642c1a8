// Control values as the engine uses them, and the glide that smooths a
// change of effect or gain while a stream runs.
#ifndef QORTA_REALTIME_STREAM_CONTROLS_H
#define QORTA_REALTIME_STREAM_CONTROLS_H

#include <cstdint>

#include "realtime/stream_corrector.h"

namespace realtime {

// The host's control values made safe: each clamped to its range, a value
// that is not a number replaced by its default, quality rounded to the
// nearest whole number (halves away from zero).
struct ControlValues {
    double effect = EFFECT_DEFAULT;  // percent
    double gain = GAIN_DEFAULT;      // percent
    std::int32_t quality = static_cast<std::int32_t>(QUALITY_DEFAULT);
    bool dcRemoval = true;
};

// Returns the safe form of `controls`. No failure path.
ControlValues sanitizeControls(const StreamControls& controls);

// The FIR half-length N for `quality` (0 .. 300) at `sampleRate` (1 ..
// 1,000,000): the exact product quality x rate divided by 5000, truncated.
// For a whole-number rate this is dsp::halfLengthExact; otherwise the same
// quotient of the real product.
std::int32_t streamHalfLength(std::int32_t quality, double sampleRate);

// Samples over which an effect or gain change glides: 10 ms, at least 1.
std::uint32_t glideLength(double sampleRate);

// One value moving linearly from `start` to `target` in `length` steps.
// After the last step the value is `target` exactly.
struct Glide {
    double value = 0.0;
    double start = 0.0;
    double target = 0.0;
    std::uint32_t step = 0;
    std::uint32_t length = 0;  // step == length: at rest
};

// Sets the value at once, without a glide.
inline void jumpTo(Glide& glide, double value) {
    glide = Glide{};
    glide.value = glide.start = glide.target = value;
}

// Starts a glide from the present value to `target` over `length` (>= 1)
// steps.
inline void glideTo(Glide& glide, double target, std::uint32_t length) {
    glide.start = glide.value;
    glide.target = target;
    glide.step = 0;
    glide.length = length;
}

// Advances one step and returns the new value: start + (target - start) x
// step / length, or target itself at the last step and after it.
inline double advance(Glide& glide) {
    if (glide.step < glide.length) {
        ++glide.step;
        glide.value = glide.step == glide.length
                          ? glide.target
                          : glide.start + (glide.target - glide.start) *
                                              (static_cast<double>(glide.step) / static_cast<double>(glide.length));
    }
    return glide.value;
}

inline bool gliding(const Glide& glide) { return glide.step < glide.length; }

}  // namespace realtime

#endif
