// The streaming forms against the project's own double-precision
// correctors: the IIR bit for bit, the FIR within one float step of the
// exact ascending sum, delayed by exactly the latency it reports.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "dsp/fir_corrector.h"
#include "dsp/iir_corrector.h"
#include "dsp/strength.h"
#include "realtime/stream_probe.h"
#include "tests/realtime/stream_support.h"

namespace {

using realtime::CorrectorForm;
using realtime::StreamControls;
using testsupport::Planes;

// A float's position on the number line: neighbours differ by 1, both
// zeros are 0.
std::int64_t orderOf(float value) {
    std::int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits >= 0 ? bits : -static_cast<std::int64_t>(bits & 0x7fffffff);
}

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
// a zero or a value below the smallest normal float written as +0.0.
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
                    if (std::fabs(expected) < FLT_MIN) expected = 0.0f;  // written as +0.0, as is a subnormal
                    mismatches += bitsOf(expected) != bitsOf(output[c][i]) ? 1 : 0;
                }
            EXPECT_EQ(0u, mismatches) << rate << " Hz, effect " << effect << ", gain " << gain;
        }
    }
}

// FIR output t against the exact ascending sum centred on input t - N
// (dsp::convolveRun, bit for bit dsp::convolveAt, over the input as doubles
// with zeros before it), rounded to float: at most one float step apart.
// Also the latency: N, and an impulse comes out of the stream exactly N
// samples later.
struct FirCase {
    double rate;
    float quality, effect, gain, level;
};

class FirAccuracy : public ::testing::TestWithParam<FirCase> {};

TEST_P(FirAccuracy, WithinOneFloatStepOfTheExactSum) {
    const FirCase c = GetParam();
    const auto frames = static_cast<std::size_t>(std::min(0.6 * c.rate, 24000.0));
    Planes input = testsupport::musicLike(2, frames, c.rate, c.level, 21);
    for (std::size_t i = frames / 2; i < frames / 2 + frames / 4; ++i) input[1][i] = 0.0f;  // a pause in one channel
    StreamControls controls;
    controls.quality = c.quality;
    controls.effect = c.effect;
    controls.gain = c.gain;
    controls.dcRemoval = 0.0f;
    auto stream = testsupport::makeStream(CorrectorForm::Fir, 2, c.rate);
    const Planes output = testsupport::runBlocks(stream.get(), controls, input, {1, 4096, 37, 8192});
    const std::int32_t n =
        dsp::halfLengthExact(static_cast<std::int32_t>(c.quality), static_cast<std::int32_t>(c.rate));
    ASSERT_EQ(static_cast<std::uint32_t>(n), realtime::streamLatency(stream.get()));

    std::vector<double> kernel(2 * static_cast<std::size_t>(n) + 1);
    const dsp::FirCorrector corrector{n, kernel.data()};
    dsp::fillKernel(corrector, c.effect, c.gain, c.rate);
    std::int64_t worst = 0;
    for (std::size_t ch = 0; ch < 2; ++ch) {
        std::vector<double> window(2 * static_cast<std::size_t>(n), 0.0);
        window.insert(window.end(), input[ch].begin(), input[ch].end());
        std::vector<double> exact(frames);
        dsp::convolveRun(corrector, window.data(), n, frames, exact.data());  // centre of output t: window t + N
        for (std::size_t t = 0; t < frames; ++t)
            worst = std::max(worst, std::abs(orderOf(output[ch][t]) - orderOf(static_cast<float>(exact[t]))));
    }
    EXPECT_LE(worst, 1);

    // Every instruction set the processor has gives the same bits.
    for (dsp::ConvolvePath path : {dsp::CONVOLVE_GENERIC, dsp::CONVOLVE_AVX, dsp::CONVOLVE_AVX512F}) {
        auto other = testsupport::makeStream(CorrectorForm::Fir, 2, c.rate);
        if (!realtime::selectFirVectorPath(other.get(), path)) continue;
        const Planes same = testsupport::runBlocks(other.get(), controls, input, {1, 4096, 37, 8192});
        for (std::size_t ch = 0; ch < 2; ++ch)
            for (std::size_t t = 0; t < frames; ++t)
                ASSERT_EQ(bitsOf(same[ch][t]), bitsOf(output[ch][t])) << dsp::convolvePathName(path) << " " << t;
    }

    // An impulse in the middle of silence: its kernel's centre tap comes
    // out exactly N samples later.
    realtime::activateStreamCorrector(stream.get());
    Planes impulse(2, std::vector<float>(3 * static_cast<std::size_t>(n) + 100, 0.0f));
    impulse[0][50] = impulse[1][50] = 1.0f;
    const Planes response = testsupport::runBlocks(stream.get(), controls, impulse, {1, 3});
    for (std::size_t i = 0; i < response[0].size(); ++i) {
        const double tap = i >= 50 + 0u && i <= 50 + 2 * static_cast<std::size_t>(n) ? kernel[i - 50] : 0.0;
        ASSERT_LE(std::abs(orderOf(response[0][i]) - orderOf(static_cast<float>(tap))), 1) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Settings, FirAccuracy,
                         ::testing::Values(FirCase{44100, 100, 100, 100, 0.5f}, FirCase{44100, 300, 1000, 400, 1.0f},
                                           FirCase{48000, 1, -100, 0, 0.3f}, FirCase{8000, 300, -37, 250, 1.0f},
                                           FirCase{8000, 0, 100, 100, 1.0f}, FirCase{96000, 150, 0, 100, 0.01f},
                                           FirCase{192000, 300, 100, 100, 0.9f}));

// A quality change takes effect in the next block: the reported latency
// follows it, and the output is the exact sum of the new kernel, delayed by
// the new N, from the first sample on. A change of effect and gain then
// glides for 10 ms, after which the output is again the exact sum, now of
// the kernel of the new settings.
TEST(FirStream, ControlChangesLandOnTheNewKernel) {
    const double rate = 44100.0;
    const std::size_t frames = 30000, qualityAt = 5000, effectAt = 20000, glide = 441;
    Planes input = testsupport::musicLike(1, frames, rate, 0.5, 31);
    auto stream = testsupport::makeStream(CorrectorForm::Fir, 1, rate);
    EXPECT_EQ(882u, realtime::streamLatency(stream.get()));  // the default quality before any block
    StreamControls controls;
    controls.dcRemoval = 0.0f;
    Planes output(1, std::vector<float>(frames));
    auto run = [&](std::size_t from, std::size_t to) {
        const float* in[1] = {input[0].data() + from};
        float* out[1] = {output[0].data() + from};
        realtime::processStream(stream.get(), controls, in, out, static_cast<std::uint32_t>(to - from));
    };
    run(0, qualityAt);
    controls.quality = 30.0f;
    run(qualityAt, effectAt);
    ASSERT_EQ(264u, realtime::streamLatency(stream.get()));
    controls.effect = 640.0f;
    controls.gain = 35.0f;
    run(effectAt, frames);

    std::vector<double> window(input[0].begin(), input[0].end());
    auto expectExact = [&](float effect, float gain, std::size_t from, std::size_t to) {
        std::vector<double> kernel(2 * 264 + 1);
        const dsp::FirCorrector corrector{264, kernel.data()};
        dsp::fillKernel(corrector, effect, gain, rate);
        for (std::size_t t = from; t < to; ++t) {
            const float exact =
                static_cast<float>(dsp::convolveAt(corrector, window.data(), static_cast<std::ptrdiff_t>(t) - 264));
            ASSERT_LE(std::abs(orderOf(output[0][t]) - orderOf(exact)), 1) << t;
        }
    };
    expectExact(100.0f, 100.0f, qualityAt, effectAt);
    expectExact(640.0f, 35.0f, effectAt + glide, frames);
}

// Three impulses whose contributions to one output cancel to about 2^-34
// of their size: the closed form alone, rounding sums of order 1, lands
// many float steps from the exact sum there; the stream's bound must send
// that sample to the exact sum.
TEST(FirStream, CancellingInputIsComputedExactly) {
    const double rate = 44100.0;
    const std::int32_t n = 882;
    std::vector<double> kernel(2 * n + 1);
    const dsp::FirCorrector corrector{n, kernel.data()};
    dsp::fillKernel(corrector, 100.0, 100.0, rate);
    const std::size_t a = 1000, b = 1050, c = 1130, centre = 1300, frames = 3000;
    std::vector<double> window(2 * n + frames, 0.0);  // input t at window[2 N + t]
    auto place = [&](float wa, float wb, float wc) {
        window[2 * n + a] = wa;
        window[2 * n + b] = wb;
        window[2 * n + c] = wc;
        return dsp::convolveAt(corrector, window.data(), 2 * n + static_cast<std::ptrdiff_t>(centre));
    };
    const double ha = kernel[n + a - centre], hb = kernel[n + b - centre], hc = kernel[n + c - centre];
    float best = 0.7f, bestLevel = 1.0f;
    double bestSum = 1.0;
    for (float candidate = 0.7f; candidate < 0.7001f; candidate = std::nextafter(candidate, 1.0f)) {
        const float level = static_cast<float>(-(ha + candidate * hb) / hc);
        const double sum = std::fabs(place(1.0f, candidate, level));
        if (sum < bestSum) {
            bestSum = sum;
            best = candidate;
            bestLevel = level;
        }
    }
    const double exact = place(1.0f, best, bestLevel);
    ASSERT_LT(std::fabs(exact), 1e-9);

    Planes input(1, std::vector<float>(frames, 0.0f));
    input[0][a] = 1.0f;
    input[0][b] = best;
    input[0][c] = bestLevel;
    StreamControls controls;
    controls.dcRemoval = 0.0f;
    std::int64_t steps[2];
    for (int fallback = 0; fallback < 2; ++fallback) {
        auto stream = testsupport::makeStream(CorrectorForm::Fir, 1, rate);
        realtime::setExactFallback(stream.get(), fallback != 0);
        const Planes output = testsupport::runBlocks(stream.get(), controls, input, {64});
        steps[fallback] = std::abs(orderOf(output[0][centre + n]) - orderOf(static_cast<float>(exact)));
    }
    EXPECT_GT(steps[0], 1) << "the closed form alone should miss this sum";
    EXPECT_LE(steps[1], 1);
}

}  // namespace
