// qortaiir.auf in a save run: the corrector state carried across frames and
// reset at every save start, the integer strength, and the paths on which
// the state stands still.
#include <gtest/gtest.h>

#include "tests/plugin/plugin_test_support.h"

namespace {

using host::RunMode;
using plugintest::iirOutputs;
using plugintest::Samples;
using plugintest::toSamples;

constexpr std::int32_t FRAME = 267;

struct IirPluginTest : ::testing::Test {
    plugintest::PluginHost host{QORTAIIR_AUF_PATH};

    void stereoEdit(std::int32_t frames) {
        host.setAudio(8000, 2, plugintest::testSignal(frames * FRAME, 2, 7), std::vector<std::int32_t>(frames, FRAME));
    }
    Samples reference(double strength, const Samples& source) { return toSamples(iirOutputs(source, 2, 8000, strength)); }
    Samples reference(double strength) { return reference(strength, host.edit.source); }
};

TEST_F(IirPluginTest, SaveRunsCorrectEachChannelAcrossFramesFromZeroState) {
    stereoEdit(8);
    const Samples saved = host.run(RunMode::Save);
    EXPECT_NE(saved, host.edit.source);
    EXPECT_EQ(saved, reference(25.0));
    EXPECT_EQ(host.run(RunMode::Preview), host.edit.source);  // a preview in between
    EXPECT_EQ(host.run(RunMode::Save), saved);                // starts from zero again
    host::startSave(host.session);                            // two save starts in a row
    host.process(0);
    EXPECT_EQ(host.run(RunMode::Save), saved);
    ASSERT_TRUE(host::cutIntoFrames(host.edit, std::vector<std::int32_t>{8 * FRAME}));
    EXPECT_EQ(host.run(RunMode::Save), saved);  // frame boundaries change nothing
}

TEST_F(IirPluginTest, StrengthIsEffectTimes25Over100InIntegers) {
    stereoEdit(3);
    for (auto [effect, strength] : {std::pair{10, 2.0}, {1, 0.0}, {3, 0.0}, {4, 1.0}, {-100, -25.0}}) {
        host.setTrack("Effect", effect);
        EXPECT_EQ(host.run(RunMode::Save), reference(strength)) << "Effect " << effect;
    }
    EXPECT_NE(reference(2.0), reference(2.5));
}

TEST_F(IirPluginTest, FadesAndGainScaleTheCorrectedSamples) {
    stereoEdit(12);
    host.setTrack("FadeIn", 3);
    host.setTrack("FadeOut", 3);
    host.setTrack("Gain", 150);
    const Samples saved = host.run(RunMode::Save);
    const std::vector<double> u = iirOutputs(host.edit.source, 2, 8000, 25.0);
    const double third = 150.0 * (1.0 / 3) * 0.01;
    EXPECT_EQ(saved[0], 0);
    // Frame 1 starts where the ramp of frame 0 was heading: Gain x 0.01 / 3.
    EXPECT_EQ(saved[2 * FRAME], plugintest::expectedSample(u[2 * FRAME] * (FRAME * third / FRAME) * 32768.0));
    for (std::size_t j = 10 * FRAME; j < 12 * FRAME; ++j)  // frame 5: full gain
        ASSERT_EQ(saved[j], plugintest::expectedSample(u[j] * 1.5 * 32768.0)) << j;
    const std::size_t last = saved.size() - 1;
    EXPECT_EQ(saved[last], plugintest::expectedSample(u[last] * (third / FRAME) * 32768.0));
}

TEST_F(IirPluginTest, StateStandsStillWithoutFileInfoRateOrEffect) {
    stereoEdit(5);
    host::startSave(host.session);
    const Samples frame0 = host.process(0);
    host.edit.faults.queryFileInfoFails = true;  // untouched
    EXPECT_EQ(host.process(1), host.frameOf(host.edit.source, 1));
    host.edit.faults = {};
    host.edit.faults.overrideSamplingRate = true;  // rate 0 or less: gain and fades only
    host.setTrack("Gain", 50);
    for (std::int32_t rate : {0, -8000}) {
        host.edit.faults.reportedSamplingRate = rate;
        const Samples frame2 = host.process(2);
        const Samples source2 = host.frameOf(host.edit.source, 2);
        for (std::size_t i = 0; i < frame2.size(); ++i) ASSERT_EQ(frame2[i], source2[i] / 2) << i;
    }
    host.edit.faults = {};
    host.setTrack("Effect", 0);  // likewise
    const Samples frame3 = host.process(3);
    const Samples source3 = host.frameOf(host.edit.source, 3);
    for (std::size_t i = 0; i < frame3.size(); ++i) ASSERT_EQ(frame3[i], source3[i] / 2) << i;
    host.setTrack("Effect", 100);
    host.setTrack("Gain", 100);
    const Samples frame4 = host.process(4);

    // Frame 4 continues from the state that frame 0 left.
    Samples joined = host.frameOf(host.edit.source, 0);
    const Samples source4 = host.frameOf(host.edit.source, 4);
    joined.insert(joined.end(), source4.begin(), source4.end());
    const Samples expected = reference(25.0, joined);
    EXPECT_EQ(frame0, Samples(expected.begin(), expected.begin() + 2 * FRAME));
    EXPECT_EQ(frame4, Samples(expected.begin() + 2 * FRAME, expected.end()));
}

TEST_F(IirPluginTest, MonoUsesChannelZero) {
    host.setAudio(8000, 1, plugintest::testSignal(5 * FRAME, 1, 3), std::vector<std::int32_t>(5, FRAME));
    EXPECT_EQ(host.run(RunMode::Save), toSamples(iirOutputs(host.edit.source, 1, 8000, 25.0)));
}

}  // namespace
