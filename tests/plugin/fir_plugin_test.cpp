// qortafir.auf in a save run: the window gathered from neighbouring frames,
// checked against a whole-signal convolution with the reference form, and
// the kernel's life cycle over save runs.
#include <gtest/gtest.h>

#include <algorithm>

#include "plugin/frame_envelope.h"
#include "tests/plugin/plugin_test_support.h"

namespace {

using host::RunMode;
using plugintest::Samples;

constexpr std::int32_t RATE = 8000;
constexpr std::int32_t N = 160;  // Quality 100 at 8 kHz: 20 ms

struct FirPluginTest : ::testing::Test {
    plugintest::PluginHost host{QORTAFIR_AUF_PATH};

    void stereoEdit(std::int32_t frames, std::int32_t length) {
        host.setAudio(RATE, 2, plugintest::testSignal(frames * length, 2, 11), std::vector<std::int32_t>(frames, length));
    }
    static Samples reference(const Samples& source, std::int32_t n = N, double effect = 100, double gain = 100) {
        return plugintest::toSamples(plugintest::firSums(source, 2, n, effect, gain, RATE));
    }
};

TEST_F(FirPluginTest, ContextComesFromSeveralFramesNearestFirstAndIsZeroBeyondTheEdit) {
    stereoEdit(12, 50);  // N = 160 reaches four frames to each side
    const Samples saved = host.run(RunMode::Save);
    EXPECT_NE(saved, host.edit.source);
    EXPECT_EQ(saved, reference(host.edit.source));
    host::startSave(host.session);
    for (auto [k, asked] : {std::pair{6, std::vector<std::int32_t>{5, 4, 3, 2, 7, 8, 9, 10}},
                            {0, {1, 2, 3, 4}}, {11, {10, 9, 8, 7}}}) {
        host.edit.readRequests.clear();
        host.process(k);
        EXPECT_EQ(host.edit.readRequests, asked) << "frame " << k;
    }
    stereoEdit(5, 267);  // frames longer than N
    EXPECT_EQ(host.run(RunMode::Save), reference(host.edit.source));
}

TEST_F(FirPluginTest, UnreadableNeighbourEndsThatSideWithZeros) {
    stereoEdit(12, 50);
    host::startSave(host.session);
    host.edit.faults.unreadableFrames = {5};
    const Samples before = host.process(6);
    EXPECT_EQ(host.edit.readRequests, (std::vector<std::int32_t>{5, 7, 8, 9, 10}));
    Samples blanked = host.edit.source;
    std::fill(blanked.begin(), blanked.begin() + 6 * 50 * 2, 0);
    EXPECT_EQ(before, host.frameOf(reference(blanked), 6));

    host.edit.faults.unreadableFrames = {8};
    host.edit.readRequests.clear();
    const Samples after = host.process(6);
    EXPECT_EQ(host.edit.readRequests, (std::vector<std::int32_t>{5, 4, 3, 2, 7, 8}));
    blanked = host.edit.source;
    std::fill(blanked.begin() + 8 * 50 * 2, blanked.end(), 0);
    EXPECT_EQ(after, host.frameOf(reference(blanked), 6));
}

TEST_F(FirPluginTest, FramesLongerThanOneSecondAreNeitherCorrectedNorRead) {
    // Mono at 1 kHz: N = 20 and at most 1000 samples per frame. A mild
    // effect keeps the boosted samples in range.
    const Samples source = plugintest::testSignal(30 + 1001 + 30, 1, 5);
    host.setAudio(1000, 1, source, {30, 1001, 30});
    host.setTrack("Effect", 10);
    host::startSave(host.session);
    EXPECT_EQ(host.process(1), host.frameOf(source, 1));
    host.edit.readRequests.clear();
    const Samples frame2 = host.process(2);
    EXPECT_EQ(host.edit.readRequests, std::vector<std::int32_t>{1});
    Samples blanked = source;
    std::fill(blanked.begin(), blanked.begin() + 1031, 0);
    EXPECT_EQ(frame2, host.frameOf(plugintest::toSamples(plugintest::firSums(blanked, 1, 20, 10, 100, 1000)), 2));
}

TEST_F(FirPluginTest, FadesApplyToTheSumsWhileGainIsInTheKernel) {
    stereoEdit(12, 267);
    host.setTrack("FadeIn", 3);
    host.setTrack("FadeOut", 3);
    host.setTrack("Gain", 150);
    const Samples saved = host.run(RunMode::Save);
    const std::vector<double> sums = plugintest::firSums(host.edit.source, 2, N, 100, 150, RATE);
    EXPECT_EQ(saved[0], 0);
    EXPECT_EQ(saved[2 * 267], plugintest::expectedSample(sums[2 * 267] * (267 * (1.0 / 3) / 267) * 32768.0));
    EXPECT_EQ(host.frameOf(saved, 5), host.frameOf(plugintest::toSamples(sums), 5));
    EXPECT_EQ(saved.back(), plugintest::expectedSample(sums.back() * (1.0 / 3 / 267) * 32768.0));
}

TEST_F(FirPluginTest, SavedSamplesAreThoseOfTheExactSumsAtEveryRateAndFrameLength) {
    // Most sums come from the fast closed form, the rest are settled
    // exactly; every saved sample must be the exact sum's, through the
    // envelope of its frame. With Gain 0 the kernel is the negated moving
    // average, so inside plateaus of whole sample values nearly every sum
    // lands on a step, where only the exact sum decides.
    struct Case {
        std::int32_t rate, length, frames, quality, effect, gain, fadeIn, fadeOut;
        bool plateaus;
    };
    const Case cases[] = {{8000, 267, 24, 100, 100, 100, 0, 0, false}, {44100, 735, 8, 100, 400, 250, 3, 2, false},
                          {48000, 1600, 5, 300, 100, 100, 0, 0, false}, {44100, 1470, 6, 100, -100, 200, 0, 0, false},
                          {22050, 100, 40, 300, 1, 0, 0, 0, true},      {32000, 1067, 6, 100, 100, 0, 2, 2, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.rate << " Hz, frames of " << c.length);
        const std::int64_t total = static_cast<std::int64_t>(c.frames) * c.length;
        Samples source = plugintest::testSignal(total, 2, static_cast<std::uint32_t>(c.length));
        if (c.plateaus)
            for (std::int64_t i = 0; i < 2 * total; ++i) source[i] = static_cast<std::int16_t>((i / 4000) % 2 ? 900 : -300);
        host.setAudio(c.rate, 2, source, std::vector<std::int32_t>(c.frames, c.length));
        for (auto [name, value] : {std::pair{"Quality", c.quality}, {"Effect", c.effect}, {"Gain", c.gain},
                                   {"FadeIn", c.fadeIn}, {"FadeOut", c.fadeOut}})
            host.setTrack(name, value);
        const Samples saved = host.run(RunMode::Save);
        const std::int32_t n = c.quality * c.rate / 5000;
        const std::vector<double> sums = plugintest::firSums(source, 2, n, c.effect, c.gain, c.rate);
        Samples expected(sums.size());
        for (std::int32_t k = 0; k < c.frames; ++k) {
            const plugin::FrameFades f = plugin::computeFades(k, c.frames, c.fadeIn, c.fadeOut);
            for (std::int32_t i = 0; i < c.length; ++i) {
                const double ramp = plugin::rampFactor(f.outStart * f.inStart, f.outEnd * f.inEnd, i, c.length);
                for (int ch = 0; ch < 2; ++ch) {
                    const std::size_t at = 2 * (static_cast<std::size_t>(k) * c.length + i) + ch;
                    expected[at] = plugintest::expectedSample((sums[at] * ramp) * 32768.0);
                }
            }
        }
        EXPECT_EQ(saved, expected);
    }
}

TEST_F(FirPluginTest, KernelIsBuiltAtSaveStartAndKeptWhenFileInfoFails) {
    stereoEdit(3, 267);
    host::startSave(host.session);
    host.setTrack("Gain", 300);
    host.setTrack("Quality", 50);
    const Samples frame1 = host.process(1);
    EXPECT_EQ(frame1, host.frameOf(reference(host.edit.source), 1));  // built with Gain 100, Quality 100
    host.setTrack("Effect", 0);  // gain and fades only, read afresh
    const Samples source1 = host.frameOf(host.edit.source, 1);
    const Samples scaled = host.process(1);
    for (std::size_t i = 0; i < scaled.size(); ++i)
        ASSERT_EQ(scaled[i], plugintest::expectedSample(300.0 * source1[i] * 0.01));
    host.setTrack("Effect", 200);
    EXPECT_EQ(host.process(1), frame1);  // still the kernel of Effect 100

    host.edit.faults.queryFileInfoFails = true;
    host::startSave(host.session);  // no new kernel: the old one stays
    host.edit.faults.queryFileInfoFails = false;
    EXPECT_EQ(host.process(1), frame1);
    host.setTrack("Effect", 50);
    host.setTrack("Gain", 80);
    host::startSave(host.session);  // a second save start replaces it
    EXPECT_EQ(host.process(1), host.frameOf(reference(host.edit.source, N / 2, 50, 80), 1));
}

TEST_F(FirPluginTest, SaveWithoutAKernelAppliesOnlyGainAndFades) {
    stereoEdit(3, 267);
    host.setTrack("Gain", 50);
    for (auto [quality, rate] : {std::pair{0, RATE}, {-100, RATE}, {100, 0}, {100, -RATE}, {-100, -RATE}}) {
        host.setTrack("Quality", quality);
        host.edit.faults.overrideSamplingRate = true;
        host.edit.faults.reportedSamplingRate = rate;
        const Samples saved = host.run(RunMode::Save);
        for (std::size_t i = 0; i < saved.size(); ++i)
            ASSERT_EQ(saved[i], host.edit.source[i] / 2) << "Quality " << quality << ", rate " << rate;
    }
    host.setTrack("Quality", 100);
    host.edit.faults = {};
    host.edit.faults.queryFileInfoFails = true;  // at save start only
    host::startSave(host.session);
    host.edit.faults.queryFileInfoFails = false;
    EXPECT_EQ(host.process(0)[1], host.edit.source[1] / 2);
    EXPECT_TRUE(host.edit.readRequests.empty());
}

}  // namespace
