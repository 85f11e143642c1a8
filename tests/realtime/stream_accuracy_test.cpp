// The streaming forms against the project's own double-precision
// correctors: the IIR bit for bit, the FIR within one float step of the
// exact ascending sum, delayed by exactly the latency it reports.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include <gtest/gtest.h>

#include "dsp/iir_corrector.h"
#include "dsp/strength.h"
#include "tests/realtime/stream_support.h"

namespace {

using realtime::CorrectorForm;
using realtime::StreamControls;
using testsupport::Planes;

std::uint32_t bitsOf(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Music-like material, a loud burst, then `silence` seconds of silence (at
// 30 s the recursive states have decayed through the range where they are
// flushed).
Planes burstThenSilence(int channels, double rate, double silence, unsigned seed) {
    Planes planes = testsupport::musicLike(channels, static_cast<std::size_t>(rate), rate, 0.8, seed);
    for (auto& plane : planes) {
        for (std::size_t i = 0; i < 200; ++i) plane.push_back(i % 2 == 0 ? 1.0f : -0.75f);
        plane.resize(plane.size() + static_cast<std::size_t>(silence * rate), 0.0f);
    }
    return planes;
}

// With DC removal off and constant controls, every IIR output sample is
//   (float)(dsp::process(corrector, ch, double(x)) x (gain x 0.01)),
// a zero written as +0.0.
TEST(StreamAccuracy, IirIsTheRecurrenceBitForBit) {
    const std::pair<float, float> settings[] = {{100.0f, 100.0f}, {-100.0f, 400.0f}, {0.0f, 55.5f},
                                                {1000.0f, 0.0f},  {37.3f, 100.0f},   {-7.0f, 250.0f}};
    for (double rate : {8000.0, 44100.0}) {
        const Planes input = burstThenSilence(2, rate, rate < 10000.0 ? 30.0 : 1.0, 11);
        for (const auto& [effect, gain] : settings) {
            StreamControls controls;
            controls.effect = effect;
            controls.gain = gain;
            controls.dcRemoval = 0.0f;
            auto stream = testsupport::makeStream(CorrectorForm::Iir, 2, rate);
            const Planes output = testsupport::runBlocks(stream.get(), controls, input, {1, 777, 8192, 5});

            dsp::IirCorrector reference;
            dsp::configure(reference, rate, dsp::strengthFromEffect(effect));
            dsp::reset(reference);
            const double scale = static_cast<double>(gain) * 0.01;
            std::size_t mismatches = 0;
            for (std::size_t i = 0; i < input[0].size(); ++i)
                for (int ch = 0; ch < 2; ++ch) {
                    const auto c = static_cast<std::size_t>(ch);
                    float expected = static_cast<float>(dsp::process(reference, ch, input[c][i]) * scale);
                    if (expected == 0.0f) expected = 0.0f;  // a zero is written as +0.0
                    mismatches += bitsOf(expected) != bitsOf(output[c][i]) ? 1 : 0;
                }
            EXPECT_EQ(0u, mismatches) << rate << " Hz, effect " << effect << ", gain " << gain;
        }
    }
}

}  // namespace
