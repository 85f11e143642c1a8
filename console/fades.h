// The linear fade envelope of the console programs. Frame n counts from the
// first frame of the file; fade lengths are in milliseconds.
#ifndef QORTA_CONSOLE_FADES_H
#define QORTA_CONSOLE_FADES_H

#include <cstdint>

#include "console/corrector_settings.h"

namespace console {

// 0.0 at the first frame, rising to 1.0 after `fadeIn` ms; 1.0 without a fade.
inline double fadeInFactor(const CorrectorSettings& settings, std::int64_t n, std::uint32_t sampleRate) {
    if (settings.fadeIn <= 0) return 1.0;
    double factor = ((static_cast<double>(n) / settings.fadeIn) * 1000.0) / sampleRate;
    return factor > 1.0 ? 1.0 : factor;
}

// Falls to the value of a one-frame distance at the last frame; 1.0 before
// the last `fadeOut` ms and without a fade.
inline double fadeOutFactor(const CorrectorSettings& settings, std::int64_t n, std::int64_t totalFrames,
                            std::uint32_t sampleRate) {
    if (settings.fadeOut <= 0) return 1.0;
    double remaining = static_cast<double>(totalFrames - n);
    double factor = ((remaining / settings.fadeOut) * 1000.0) / sampleRate;
    return factor > 1.0 ? 1.0 : factor;
}

}  // namespace console

#endif
