// The gain-and-fade envelope of one video frame, shared by both plug-ins.
//
// Fade lengths are counted in video frames. The envelope runs linearly from
// its value at the frame's first sample to its value at the next frame's
// first sample, which continues it.
#ifndef QORTA_PLUGIN_FRAME_ENVELOPE_H
#define QORTA_PLUGIN_FRAME_ENVELOPE_H

#include <cstdint>

namespace plugin {

// Fade-in and fade-out values at the first sample of a frame (start) and at
// the first sample of the next frame (end); 1.0 outside a fade.
struct FrameFades {
    double inStart;
    double inEnd;
    double outStart;
    double outEnd;
};

// The fade values of video frame `frame` of an edit of `frameCount` frames
// with a fade-in over the first `fadeIn` frames and a fade-out over the last
// `fadeOut` frames. A fade length of 0 or less means no fade. For a frame
// inside the edit the results lie in 0.0 .. 1.0; a frame outside it (a host
// fault) gives values outside that range but never divides by zero.
FrameFades computeFades(std::int32_t frame, std::int32_t frameCount, std::int32_t fadeIn,
                        std::int32_t fadeOut);

// The envelope at sample `i` of a frame of `n` (> 0) samples per channel:
// ((n - i) x startFactor + i x endFactor) / n.
inline double rampFactor(double startFactor, double endFactor, std::int32_t i, std::int32_t n) {
    return (static_cast<double>(n - i) * startFactor + static_cast<double>(i) * endFactor) /
           static_cast<double>(n);
}

}  // namespace plugin

#endif
