// Shared helpers of the streaming corrector tests: owned correctors, test
// signals and block-wise runs.
#ifndef QORTA_TESTS_REALTIME_STREAM_SUPPORT_H
#define QORTA_TESTS_REALTIME_STREAM_SUPPORT_H

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "realtime/stream_corrector.h"

namespace testsupport {

struct StreamDeleter {
    void operator()(realtime::StreamCorrector* corrector) const { realtime::destroyStreamCorrector(corrector); }
};
using Stream = std::unique_ptr<realtime::StreamCorrector, StreamDeleter>;

inline Stream makeStream(realtime::CorrectorForm form, int channels, double rate) {
    return Stream(realtime::createStreamCorrector(form, channels, rate));
}

using Planes = std::vector<std::vector<float>>;

// Music-like material: a bass line, a few tones, noise, a slow envelope and
// a DC offset, at `level` (full scale 1.0); channels differ.
inline Planes musicLike(int channels, std::size_t frames, double rate, double level, unsigned seed) {
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 0.05);
    Planes planes(static_cast<std::size_t>(channels), std::vector<float>(frames));
    for (int ch = 0; ch < channels; ++ch)
        for (std::size_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / rate;
            const double envelope = 0.6 + 0.4 * std::sin(2 * M_PI * 0.7 * t + ch);
            const double tones = 0.5 * std::sin(2 * M_PI * (55.0 + 5 * ch) * t) + 0.2 * std::sin(2 * M_PI * 440.0 * t) +
                                 0.1 * std::sin(2 * M_PI * 3150.0 * t + 1.0);
            planes[static_cast<std::size_t>(ch)][i] =
                static_cast<float>(level * (envelope * tones + noise(random)) + 0.01 * (ch + 1));
        }
    return planes;
}

// Runs `input` through `stream` in blocks of the given lengths, taken in
// turn (repeated as needed); returns the output.
inline Planes runBlocks(realtime::StreamCorrector* stream, const realtime::StreamControls& controls,
                        const Planes& input, const std::vector<std::uint32_t>& lengths) {
    Planes output(input.size(), std::vector<float>(input[0].size()));
    std::size_t done = 0, turn = 0;
    while (done < input[0].size()) {
        const auto frames =
            static_cast<std::uint32_t>(std::min<std::size_t>(lengths[turn++ % lengths.size()], input[0].size() - done));
        const float* in[2] = {input[0].data() + done, input[input.size() - 1].data() + done};
        float* out[2] = {output[0].data() + done, output[output.size() - 1].data() + done};
        realtime::processStream(stream, controls, in, out, frames);
        done += frames;
    }
    return output;
}

}  // namespace testsupport

#endif
