// The 16-bit sample scale shared by the console programs and the plug-ins:
// a sample s is s x 2^-15 in the +-1.0 full-scale convention, and a result
// goes back as a scaled value truncated toward zero and saturated.
#ifndef QORTA_DSP_PCM_SCALE_H
#define QORTA_DSP_PCM_SCALE_H

#include <cstdint>

namespace dsp {

// 2^-15: a 16-bit sample to the +-1.0 full-scale convention.
constexpr double PCM16_IN = 0.000030517578125;
// Full scale of a 16-bit sample, back from the +-1.0 convention.
constexpr double PCM16_OUT = 32768.0;

// `v` (already scaled by PCM16_OUT) truncated toward zero and saturated to
// -32768 .. 32767. A value that is not a number becomes silence (0).
inline std::int16_t saturatePcm16(double v) {
    if (v >= 32768.0) return 32767;
    if (v <= -32769.0) return -32768;
    if (v != v) return 0;
    return static_cast<std::int16_t>(static_cast<std::int32_t>(v));
}

}  // namespace dsp

#endif
