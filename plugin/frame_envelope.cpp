#include "plugin/frame_envelope.h"

namespace plugin {

FrameFades computeFades(std::int32_t frame, std::int32_t frameCount, std::int32_t fadeIn,
                        std::int32_t fadeOut) {
    FrameFades fades = {1.0, 1.0, 1.0, 1.0};
    // Frame numbers are widened so that no difference or successor overflows.
    const std::int64_t current = frame;
    if (fadeIn > 0 && current < fadeIn) {
        fades.inStart = static_cast<double>(current) / fadeIn;
        fades.inEnd = static_cast<double>(current + 1) / fadeIn;
    }
    const std::int64_t remaining = static_cast<std::int64_t>(frameCount) - current;
    if (fadeOut > 0 && remaining - 1 < fadeOut) {
        fades.outStart = static_cast<double>(remaining) / fadeOut;
        fades.outEnd = static_cast<double>(remaining - 1) / fadeOut;
    }
    return fades;
}

}  // namespace plugin
