// Behaviour both streaming forms share, as a host sees it: block lengths,
// in-place buffers, activation, allocation, control glides and the state
// left by silence.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <utility>

#include "realtime/stream_probe.h"
#include "tests/realtime/allocation_counter.h"
#include "tests/realtime/stream_support.h"

namespace {

using realtime::CorrectorForm;
using realtime::StreamControls;
using testsupport::Planes;

bool sameBits(const Planes& a, const Planes& b) {
    for (std::size_t ch = 0; ch < a.size(); ++ch)
        if (std::memcmp(a[ch].data(), b[ch].data(), a[ch].size() * sizeof(float)) != 0) return false;
    return true;
}

// The largest step between neighbouring samples of plane 0 in [from, to).
double largestStep(const Planes& planes, std::size_t from, std::size_t to) {
    double largest = 0.0;
    for (std::size_t i = from + 1; i < to; ++i)
        largest = std::max(largest, std::fabs(static_cast<double>(planes[0][i]) - planes[0][i - 1]));
    return largest;
}

// Outputs a host may pass on: finite, and either 0.0 or of normal size.
std::size_t countUnsafe(const Planes& planes) {
    std::size_t unsafe = 0;
    for (const auto& plane : planes)
        for (float y : plane) unsafe += std::isfinite(y) && (y == 0.0f || std::fabs(y) >= FLT_MIN) ? 0 : 1;
    return unsafe;
}

class StreamTest : public ::testing::TestWithParam<CorrectorForm> {
protected:
    static constexpr double RATE = 44100.0;
    testsupport::Stream make(int channels = 2, double rate = RATE) {
        return testsupport::makeStream(GetParam(), channels, rate);
    }
    StreamControls settings() const {
        StreamControls controls;
        controls.effect = 230.0f;
        controls.gain = 80.0f;
        controls.quality = 37.0f;
        return controls;
    }
};

// Material on which many FIR sums must be computed exactly, next to ones
// that need not: at gain 0 and quality 37 (2N + 1 = 653 taps) the output is
// the negated moving average, which a sine of period 653 cancels to
// rounding noise except where one of the sparse impulses of either sign
// tips it.
Planes cancellingMaterial(std::size_t frames) {
    Planes planes(2, std::vector<float>(frames));
    std::mt19937 random(3);
    for (auto& plane : planes)
        for (std::size_t i = 0; i < frames; ++i)
            plane[i] = static_cast<float>(0.5 * std::sin(2 * M_PI * static_cast<double>(i) / 653.0)) +
                       (i % 97 == 0 ? ((random() & 1) != 0 ? 0.5f : -0.5f) : 0.0f);
    return planes;
}

TEST_P(StreamTest, BlockLengthsAndInPlaceBuffersDoNotChangeAnyBit) {
    const Planes music = testsupport::musicLike(2, 80000, RATE, 0.5, 1), cancelling = cancellingMaterial(40000);
    for (int run = 0; run < 3; ++run) {
        StreamControls controls = settings();
        controls.dcRemoval = run == 1 ? 1.0f : 0.0f;
        if (run == 2) controls.gain = 0.0f;
        const Planes& input = run == 2 ? cancelling : music;
        auto whole = make();
        const Planes expected = testsupport::runBlocks(whole.get(), controls, input, {realtime::STREAM_MAX_BLOCK});

        std::vector<std::uint32_t> lengths = {1, 2, 3, 64, 1000, 4096, 8192, 0};
        std::mt19937 random(7);
        for (int order = 0; order < 3; ++order) {
            std::shuffle(lengths.begin(), lengths.end(), random);
            auto pieces = make();
            EXPECT_TRUE(sameBits(expected, testsupport::runBlocks(pieces.get(), controls, input, lengths))) << run;
        }

        // In place: the output overwrites the input buffer.
        auto inPlace = make();
        Planes buffer = input;
        for (std::size_t done = 0; done < buffer[0].size(); done += 1000) {
            const auto frames = static_cast<std::uint32_t>(std::min<std::size_t>(1000, buffer[0].size() - done));
            float* planes[2] = {buffer[0].data() + done, buffer[1].data() + done};
            realtime::processStream(inPlace.get(), controls, planes, planes, frames);
        }
        EXPECT_TRUE(sameBits(expected, buffer)) << run;
        if (run == 2 && GetParam() == CorrectorForm::Fir) {
            EXPECT_GT(realtime::countExactSums(whole.get()), 1000u);
        }
    }
}

TEST_P(StreamTest, ActivationStartsAfresh) {
    const Planes first = testsupport::musicLike(2, 30000, RATE, 0.9, 2);
    const Planes second = testsupport::musicLike(2, 30000, RATE, 0.4, 3);
    auto fresh = make();
    const Planes expected = testsupport::runBlocks(fresh.get(), settings(), second, {512});

    auto used = make();
    StreamControls other = settings();
    other.effect = -60.0f;
    other.quality = 250.0f;
    testsupport::runBlocks(used.get(), other, first, {333});
    realtime::activateStreamCorrector(used.get());
    EXPECT_TRUE(sameBits(expected, testsupport::runBlocks(used.get(), settings(), second, {512})));
}

TEST_P(StreamTest, ProcessingAllocatesNothing) {
    const Planes input = testsupport::musicLike(2, 20000, RATE, 0.7, 4);
    auto stream = make();
    StreamControls controls;
    const std::size_t before = testsupport::allocationCount();
    float out0[realtime::STREAM_MAX_BLOCK], out1[realtime::STREAM_MAX_BLOCK];
    float* out[2] = {out0, out1};
    std::size_t done = 0;
    for (int call = 0; done + 2000 <= input[0].size(); ++call, done += 2000) {
        controls.effect = call % 3 == 0 ? 100.0f : 700.0f;  // glides, also ones cut short
        controls.gain = call % 2 == 0 ? 100.0f : 20.0f;
        controls.quality = call % 4 == 0 ? 300.0f : 5.0f;  // the longest kernel and a short one
        controls.dcRemoval = call % 5 == 0 ? 0.0f : 1.0f;
        const float* in[2] = {input[0].data() + done, input[1].data() + done};
        realtime::processStream(stream.get(), controls, in, out, 2000);
    }
    realtime::streamLatency(stream.get());
    EXPECT_EQ(before, testsupport::allocationCount());
}

// A change of effect and gain while a sine plays: every step between
// neighbouring samples stays within the steps the output has anyway, before
// and after the change, where switching at once would jump by far more.
TEST_P(StreamTest, EffectAndGainChangesGlide) {
    const std::size_t half = 20000, length = 2 * half;
    Planes input(1, std::vector<float>(length));
    for (std::size_t i = 0; i < length; ++i)
        input[0][i] = static_cast<float>(0.2 * std::sin(2 * M_PI * 220.0 * i / RATE));
    for (const auto& change : {std::make_pair(100.0f, 400.0f), std::make_pair(600.0f, 100.0f)}) {
        auto stream = make(1);
        StreamControls before, after;
        before.gain = 100.0f;
        before.effect = change.first;
        after.gain = change.second;
        after.effect = 50.0f;
        Planes output(1, std::vector<float>(length));
        const float* in[1] = {input[0].data()};
        float* out[1] = {output[0].data()};
        realtime::processStream(stream.get(), before, in, out, half);
        in[0] += half;
        out[0] += half;
        realtime::processStream(stream.get(), after, in, out, half);
        const auto latency = realtime::streamLatency(stream.get());
        const std::size_t change_at = half + latency, settled = change_at + 2000;
        const double steady =
            std::max(largestStep(output, change_at - 4000, change_at), largestStep(output, settled, settled + 4000));
        EXPECT_LE(largestStep(output, change_at - 2, settled), steady * 1.1) << change.first << " " << change.second;
    }
}

// A constant offset: with DC removal on it is gone from the output within
// a second; off, the FIR form passes it about 30 times larger.
TEST_P(StreamTest, DcRemovalTakesAConstantOffsetAway) {
    const auto frames = static_cast<std::size_t>(3 * RATE);
    Planes input(1, std::vector<float>(frames));
    for (std::size_t i = 0; i < frames; ++i)
        input[0][i] = static_cast<float>(0.1 + 0.2 * std::sin(2 * M_PI * 100.0 * static_cast<double>(i) / RATE));
    for (float dc : {1.0f, 0.0f}) {
        auto stream = make(1);
        StreamControls controls;
        controls.dcRemoval = dc;
        const Planes output = testsupport::runBlocks(stream.get(), controls, input, {4096});
        double mean = 0.0;
        for (std::size_t i = frames - 44100; i < frames; ++i) mean += output[0][i];
        mean /= 44100.0;
        if (dc > 0.5f) {
            EXPECT_LT(std::fabs(mean), 1e-4);
        } else if (GetParam() == CorrectorForm::Fir) {
            EXPECT_NEAR(0.1 * 29.73, mean, 0.05);
        }
    }
}

// A loud burst, then a minute of silence: no state and no output may be
// subnormal.
TEST_P(StreamTest, SilenceLeavesNoSubnormalState) {
    for (float dc : {0.0f, 1.0f}) {
        auto stream = make(1);
        StreamControls controls;
        controls.dcRemoval = dc;
        controls.quality = 20.0f;
        Planes burst = testsupport::musicLike(1, 20000, RATE, 1.0, 5);
        testsupport::runBlocks(stream.get(), controls, burst, {4096});
        Planes silence(1, std::vector<float>(static_cast<std::size_t>(60 * RATE)));
        const Planes quiet = testsupport::runBlocks(stream.get(), controls, silence, {realtime::STREAM_MAX_BLOCK});
        EXPECT_EQ(0u, realtime::countSubnormalState(stream.get())) << dc;
        EXPECT_EQ(0u, countUnsafe(quiet)) << dc;  // nor any output
        EXPECT_EQ(0.0f, quiet[0].back());
    }
}

// Infinities and NaNs among the input count as 0.0: the output equals that
// of the same input with zeros there, bit for bit, with DC removal on and
// off (one infinity used to leave the IIR states infinite for good).
TEST_P(StreamTest, NonFiniteInputCountsAsZero) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    Planes hostile = testsupport::musicLike(2, 60000, RATE, 0.5, 8), zeroed = hostile;
    const std::pair<std::size_t, float> bad[] = {{100, inf}, {7000, -inf}, {7001, inf}, {20000, nan}, {30001, -nan}};
    for (const auto& [at, value] : bad) {
        hostile[at % 2][at] = value;
        zeroed[at % 2][at] = 0.0f;
    }
    for (float dc : {0.0f, 1.0f}) {
        StreamControls controls = settings();
        controls.dcRemoval = dc;
        auto a = make(), b = make();
        const Planes output = testsupport::runBlocks(a.get(), controls, hostile, {4096, 1, 333});
        EXPECT_TRUE(sameBits(testsupport::runBlocks(b.get(), controls, zeroed, {8192}), output)) << dc;
        EXPECT_EQ(0u, countUnsafe(output)) << dc;
    }
}

// Inputs at the float extremes: the boost takes the output beyond the float
// range, where it is held at the largest finite float of its sign; tiny
// inputs give outputs below the smallest normal float, written as 0.0,
// while the outputs of normal size stay those of the same input scaled up.
TEST_P(StreamTest, OutputsSaturateAndTinyOnesAreZero) {
    Planes loud(1, std::vector<float>(20000));
    for (std::size_t i = 0; i < loud[0].size(); ++i) loud[0][i] = (i / 3000) % 2 == 0 ? FLT_MAX : -FLT_MAX;
    StreamControls controls = settings();
    controls.dcRemoval = 0.0f;
    auto stream = make(1);
    const Planes output = testsupport::runBlocks(stream.get(), controls, loud, {1000});
    EXPECT_EQ(0u, countUnsafe(output));
    EXPECT_NE(output[0].end(), std::find(output[0].begin(), output[0].end(), FLT_MAX));
    EXPECT_NE(output[0].end(), std::find(output[0].begin(), output[0].end(), -FLT_MAX));

    // Music at 2^-118 of its size, no sample below 2^-5 before the scaling
    // (so every input is of normal size): where an output is of normal size
    // it is that of the full-size music scaled, bit for bit.
    Planes music = testsupport::musicLike(1, 20000, RATE, 0.5, 9), tiny = music;
    for (std::size_t i = 0; i < music[0].size(); ++i) {
        if (std::fabs(music[0][i]) < 0x1p-5f) music[0][i] = std::copysign(0x1p-5f, music[0][i]);
        tiny[0][i] = std::ldexp(music[0][i], -118);
    }
    auto small = make(1), full = make(1);
    const Planes quiet = testsupport::runBlocks(small.get(), controls, tiny, {512});
    const Planes reference = testsupport::runBlocks(full.get(), controls, music, {512});
    EXPECT_EQ(0u, countUnsafe(quiet));
    std::size_t normal = 0, zero = 0;
    for (std::size_t i = 0; i < quiet[0].size(); ++i) {
        const float scaled = std::ldexp(reference[0][i], -118);
        if (std::fabs(scaled) >= 2 * FLT_MIN) {
            ASSERT_EQ(scaled, quiet[0][i]) << i;
            ++normal;
        } else if (std::fabs(scaled) < FLT_MIN) {
            ASSERT_EQ(0.0f, quiet[0][i]) << i;
            ++zero;
        }
    }
    EXPECT_GT(normal, 1000u);
    EXPECT_GT(zero, 10u);
}

// Stereo buffers connected crosswise (output left on input right, output
// right on input left) or both inputs on one buffer: the same samples as
// with separate buffers.
TEST_P(StreamTest, CrossedAndSharedBuffersGiveTheSameSamples) {
    Planes input = testsupport::musicLike(2, 30000, RATE, 0.5, 10);
    std::fill(input[1].begin(), input[1].end(), 0.0f);  // a silent right input shows any leak at once
    auto separate = make();
    const Planes expected = testsupport::runBlocks(separate.get(), settings(), input, {700, 8192, 20000});

    auto crossed = make();
    Planes buffers = input;
    const float* in[2] = {buffers[0].data(), buffers[1].data()};
    float* out[2] = {buffers[1].data(), buffers[0].data()};
    realtime::processStream(crossed.get(), settings(), in, out, 30000);  // longer than one piece
    EXPECT_TRUE(sameBits(expected, {buffers[1], buffers[0]}));

    auto shared = make(), twin = make();
    Planes left = {input[0], input[0]};
    const Planes twinExpected = testsupport::runBlocks(twin.get(), settings(), left, {1000});
    Planes sharedOut(2, std::vector<float>(30000));
    const float* one[2] = {left[0].data(), left[0].data()};
    float* outs[2] = {sharedOut[0].data(), sharedOut[1].data()};
    realtime::processStream(shared.get(), settings(), one, outs, 30000);
    EXPECT_TRUE(sameBits(twinExpected, sharedOut));
}

INSTANTIATE_TEST_SUITE_P(Forms, StreamTest, ::testing::Values(CorrectorForm::Iir, CorrectorForm::Fir),
                         [](const ::testing::TestParamInfo<CorrectorForm>& info) {
                             return info.param == CorrectorForm::Iir ? "Iir" : "Fir";
                         });

}  // namespace
