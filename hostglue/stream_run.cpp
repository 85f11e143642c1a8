#include "hostglue/stream_run.h"

#include <algorithm>

namespace hostglue {

realtime::StreamControls readControls(const float* effect, const float* gain, const float* quality,
                                      const float* dcRemoval) {
    realtime::StreamControls controls;
    if (effect) controls.effect = *effect;
    if (gain) controls.gain = *gain;
    if (quality) controls.quality = *quality;
    if (dcRemoval) controls.dcRemoval = *dcRemoval;
    return controls;
}

std::uint32_t runStream(realtime::StreamCorrector* corrector, const realtime::StreamControls& controls,
                        int channels, const float* const* in, float* const* out, std::uint64_t frames) {
    std::uint64_t done = 0;
    do {
        const std::uint64_t left = frames - done;
        const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, realtime::STREAM_MAX_BLOCK));
        const float* pieceIn[realtime::STREAM_MAX_CHANNELS] = {nullptr, nullptr};
        float* pieceOut[realtime::STREAM_MAX_CHANNELS] = {nullptr, nullptr};
        for (int ch = 0; ch < channels; ++ch) {
            pieceIn[ch] = in[ch] + done;
            pieceOut[ch] = out[ch] + done;
        }
        realtime::processStream(corrector, controls, pieceIn, pieceOut, piece);
        done += piece;
    } while (done < frames);
    return realtime::streamLatency(corrector);
}

}  // namespace hostglue
