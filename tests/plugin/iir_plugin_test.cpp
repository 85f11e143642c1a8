// qortaiir.auf loaded with dlopen and driven through the simulated host:
// preview envelope, fades, saturation, truncation, and the IIR correction
// carried across the frames of a save run.
#include <gtest/gtest.h>

#include <vector>

#include "tests/plugin/plugin_test_support.h"

namespace {

using host::RunMode;
using plugintest::channelOf;
using plugintest::evenFrames;
using plugintest::iirReference;
using plugintest::PluginHost;
using plugintest::slice;
using plugintest::testSignal;

constexpr std::int32_t RATE = 8000;
constexpr std::int32_t FRAME = 267;  // about 30 video frames per second at 8 kHz

struct IirPluginTest : ::testing::Test {
    PluginHost host{plugintest::iirPluginPath()};

    // A stereo edit of `frames` frames of FRAME samples of the test signal.
    void stereoEdit(std::int32_t frames) {
        host.setAudio(RATE, 2, testSignal(static_cast<std::int64_t>(frames) * FRAME, 2, 7), evenFrames(frames, FRAME));
    }

    // A mono edit holding `value` in every sample.
    void constantEdit(std::int32_t frames, std::int16_t value) {
        host.setAudio(RATE, 1, std::vector<std::int16_t>(static_cast<std::size_t>(frames) * FRAME, value),
                      evenFrames(frames, FRAME));
    }

    // Both channels of the whole edit through the reference corrector.
    std::vector<std::int16_t> reference(double strength) {
        const std::vector<std::int16_t> left = iirReference(channelOf(host.edit.source, 2, 0), RATE, strength);
        const std::vector<std::int16_t> right = iirReference(channelOf(host.edit.source, 2, 1), RATE, strength);
        std::vector<std::int16_t> both;
        for (std::size_t i = 0; i < left.size(); ++i) {
            both.push_back(left[i]);
            both.push_back(right[i]);
        }
        return both;
    }
};

TEST_F(IirPluginTest, PreviewAtUnitGainReturnsEverySampleUnchanged) {
    stereoEdit(6);
    EXPECT_EQ(host.run(RunMode::Preview), host.edit.source);
    // The same after a save run has ended.
    host.run(RunMode::Save);
    EXPECT_EQ(host.run(RunMode::Preview), host.edit.source);
}

TEST_F(IirPluginTest, FadeInStartsAtSilenceAndTheNextFrameContinuesTheRamp) {
    constantEdit(12, 10000);
    host.setTrack("FadeIn", 10);
    const std::vector<std::int16_t> first = host.process(0);
    EXPECT_EQ(first[0], 0);
    for (std::size_t i = 1; i < first.size(); ++i) EXPECT_GT(first[i], first[i - 1]);
    EXPECT_LT(first.back(), 1000);
    // Frame 1 starts at the end value of frame 0: Gain x 0.01 / 10.
    EXPECT_EQ(host.process(1)[0], 1000);
    EXPECT_EQ(host.process(9).back(), 9996);  // 10000 x (0.9 + 266) / 267, truncated
    EXPECT_EQ(host.process(10), std::vector<std::int16_t>(FRAME, 10000));
}

TEST_F(IirPluginTest, FadeOutEndsTheLastFrameTowardSilence) {
    constantEdit(12, 10000);
    host.setTrack("FadeOut", 10);
    const std::vector<std::int16_t> last = host.process(11);
    EXPECT_EQ(last[0], 1000);  // outStart = 1/10
    for (std::size_t i = 1; i < last.size(); ++i) EXPECT_LE(last[i], last[i - 1]);
    EXPECT_EQ(last.back(), 3);  // 10000 x (1/267) x 0.1 = 3.7..., truncated
    EXPECT_EQ(host.process(10)[0], 2000);
    EXPECT_EQ(host.process(1), std::vector<std::int16_t>(FRAME, 10000));
}

TEST_F(IirPluginTest, GainSaturatesAndResultsTruncateTowardZero) {
    host.setAudio(RATE, 2, {30000, -30000, 19, -19, 32767, -32768, 16384, -16385}, {4});
    host.setTrack("Gain", 200);
    EXPECT_EQ(host.process(0), (std::vector<std::int16_t>{32767, -32768, 38, -38, 32767, -32768, 32767, -32768}));
    host.setTrack("Gain", 10);  // 19 x 0.1 = 1.9
    EXPECT_EQ(host.process(0), (std::vector<std::int16_t>{3000, -3000, 1, -1, 3276, -3276, 1638, -1638}));
}

TEST_F(IirPluginTest, GainIsPartOfTheEnvelopeFactor) {
    // 100 x (29 x 0.01) = 28.999999999999996: the sample times the factor.
    host.setAudio(RATE, 1, {100, -100}, {2});
    host.setTrack("Gain", 29);
    EXPECT_EQ(host.process(0), (std::vector<std::int16_t>{28, -28}));
}

TEST_F(IirPluginTest, SaveRunCorrectsEachChannelWithStateCarriedAcrossFrames) {
    stereoEdit(8);
    const std::vector<std::int16_t> saved = host.run(RunMode::Save);
    EXPECT_NE(saved, host.edit.source);
    EXPECT_EQ(saved, reference(25.0));
    // The same audio as one frame gives the same result: frame boundaries
    // change nothing.
    ASSERT_TRUE(host::cutIntoFrames(host.edit, std::vector<std::int32_t>{8 * FRAME}));
    EXPECT_EQ(host.run(RunMode::Save), saved);
}

TEST_F(IirPluginTest, SaveRunAppliesTheFadesToTheCorrectedSamples) {
    host.setAudio(RATE, 1, testSignal(12 * FRAME, 1, 9), evenFrames(12, FRAME));
    host.setTrack("FadeIn", 3);
    host.setTrack("FadeOut", 3);
    host.setTrack("Gain", 150);
    const std::vector<std::int16_t> saved = host.run(RunMode::Save);
    const std::vector<double> u = plugintest::iirOutputs(host.edit.source, RATE, 25.0);
    const auto at = [&](std::int32_t k, std::int32_t i) { return static_cast<std::size_t>(k) * FRAME + i; };
    EXPECT_EQ(saved[at(0, 0)], 0);
    // Frame 1 starts at Gain x 0.01 / 3, frame 5 is at full gain, and the
    // last sample is (1/3 of the gain) / n.
    const double third = 150.0 * (1.0 / 3) * 0.01;
    EXPECT_EQ(saved[at(1, 0)], plugintest::expectedSample(u[at(1, 0)] * third * 32768.0));
    for (std::int32_t i = 0; i < FRAME; ++i)
        EXPECT_EQ(saved[at(5, i)], plugintest::expectedSample(u[at(5, i)] * 1.5 * 32768.0)) << i;
    EXPECT_EQ(saved[at(11, FRAME - 1)],
              plugintest::expectedSample(u[at(11, FRAME - 1)] * (third / FRAME) * 32768.0));
}

TEST_F(IirPluginTest, MonoSaveRunUsesChannelZero) {
    host.setAudio(RATE, 1, testSignal(5 * FRAME, 1, 3), evenFrames(5, FRAME));
    EXPECT_EQ(host.run(RunMode::Save), iirReference(host.edit.source, RATE, 25.0));
}

TEST_F(IirPluginTest, StrengthIsEffectTimes25Over100InIntegers) {
    stereoEdit(4);
    host.setTrack("Effect", 10);  // strength 2, not 2.5
    const std::vector<std::int16_t> effect10 = host.run(RunMode::Save);
    EXPECT_EQ(effect10, reference(2.0));
    EXPECT_NE(effect10, reference(2.5));
    for (std::int32_t effect : {1, 3}) {  // strength 0: the high-pass alone, still the save path
        host.setTrack("Effect", effect);
        EXPECT_EQ(host.run(RunMode::Save), reference(0.0)) << "Effect " << effect;
    }
    host.setTrack("Effect", 4);
    EXPECT_EQ(host.run(RunMode::Save), reference(1.0));
    host.setTrack("Effect", -100);  // a bass cut
    EXPECT_EQ(host.run(RunMode::Save), reference(-25.0));
}

TEST_F(IirPluginTest, EffectZeroInASaveOnlyScalesAndLeavesTheStateAlone) {
    stereoEdit(3);
    host::startSave(host.session);
    const std::vector<std::int16_t> frame0 = host.process(0);
    host.setTrack("Effect", 0);
    host.setTrack("Gain", 50);
    const std::vector<std::int16_t> frame1 = host.process(1);
    host.setTrack("Effect", 100);
    host.setTrack("Gain", 100);
    const std::vector<std::int16_t> frame2 = host.process(2);
    host::endSave(host.session);

    for (std::size_t i = 0; i < frame1.size(); ++i)
        EXPECT_EQ(frame1[i], host.edit.source[2 * FRAME + i] / 2) << i;
    // Frame 2 continues from the state frame 0 left: as if frame 1 had
    // never reached the corrector.
    std::vector<std::int16_t> without1 = slice(host.edit.source, 0, 2 * FRAME);
    const std::vector<std::int16_t> tail = slice(host.edit.source, 4 * FRAME, 2 * FRAME);
    without1.insert(without1.end(), tail.begin(), tail.end());
    host.setAudio(RATE, 2, without1, evenFrames(2, FRAME));
    const std::vector<std::int16_t> expected = reference(25.0);
    EXPECT_EQ(frame0, slice(expected, 0, 2 * FRAME));
    EXPECT_EQ(frame2, slice(expected, 2 * FRAME, 2 * FRAME));
}

TEST_F(IirPluginTest, EverySaveStartResetsTheState) {
    stereoEdit(4);
    const std::vector<std::int16_t> first = host.run(RunMode::Save);
    EXPECT_EQ(host.run(RunMode::Preview), host.edit.source);  // a preview in between
    EXPECT_EQ(host.run(RunMode::Save), first);
    // Two save starts in a row: the second resets what the first run left.
    host::startSave(host.session);
    host.process(0);
    host.process(1);
    EXPECT_EQ(host.run(RunMode::Save), first);
}

TEST_F(IirPluginTest, FailedFileInfoLeavesTheFrameUntouchedAndTheStateAlone) {
    stereoEdit(2);
    host.setTrack("Gain", 200);
    host.setTrack("FadeIn", 5);
    host.edit.faults.queryFileInfoFails = true;
    EXPECT_EQ(host.process(0), slice(host.edit.source, 0, 2 * FRAME));
    host::startSave(host.session);
    EXPECT_EQ(host.process(0), slice(host.edit.source, 0, 2 * FRAME));
    EXPECT_EQ(host.edit.fileInfoQueries, 2);
    // The corrector did not run: frame 1 is corrected from zero state.
    host.edit.faults.queryFileInfoFails = false;
    host.setTrack("Gain", 100);
    host.setTrack("FadeIn", 0);
    const std::vector<std::int16_t> frame1 = host.process(1);
    host.setAudio(RATE, 2, slice(host.edit.source, 2 * FRAME, 2 * FRAME), {FRAME});
    EXPECT_EQ(frame1, reference(25.0));
}

TEST_F(IirPluginTest, NonPositiveSamplingRateTakesThePreviewPathForThatFrame) {
    stereoEdit(2);
    host::startSave(host.session);
    host.setTrack("Gain", 50);
    host.edit.faults.overrideSamplingRate = true;
    for (std::int32_t rate : {0, -44100}) {
        host.edit.faults.reportedSamplingRate = rate;
        const std::vector<std::int16_t> frame0 = host.process(0);
        for (std::size_t i = 0; i < frame0.size(); ++i) EXPECT_EQ(frame0[i], host.edit.source[i] / 2) << i;
    }
    host.edit.faults.overrideSamplingRate = false;
    host.setTrack("Gain", 100);
    const std::vector<std::int16_t> frame0 = host.process(0);
    EXPECT_EQ(frame0, slice(reference(25.0), 0, 2 * FRAME));  // still from zero state
}

TEST_F(IirPluginTest, FramesOutsideTheDataModelAreLeftAlone) {
    stereoEdit(1);
    host.setTrack("Gain", 200);
    host::startSave(host.session);
    std::vector<std::int16_t> audio = {1000, 2000, 3000, 4000, 5000, 6000};
    const std::vector<std::int16_t> before = audio;
    FrameAudioRecord frame = {};
    frame.frameCount = 1;
    frame.audio = audio.data();
    frame.editHandle = &host.edit;
    for (std::int32_t channels : {0, 3, -1}) {
        frame.channelCount = channels;
        frame.sampleCount = 2;
        EXPECT_EQ(host.processRecord(frame), 1);
    }
    frame.channelCount = 2;
    for (std::int32_t count : {0, -5}) {
        frame.sampleCount = count;
        EXPECT_EQ(host.processRecord(frame), 1);
    }
    EXPECT_EQ(audio, before);
}

TEST_F(IirPluginTest, SaveEndAndExitWithoutASaveAreHarmless) {
    stereoEdit(2);
    EXPECT_EQ(host::endSave(host.session), 1);
    EXPECT_EQ(host::endSave(host.session), 1);
    EXPECT_EQ(host::exitPlugin(host.session), 1);
    EXPECT_EQ(host::exitPlugin(host.session), 1);
    EXPECT_EQ(host.process(0), slice(host.edit.source, 0, 2 * FRAME));  // preview
    EXPECT_EQ(host::startSave(host.session), 1);
    EXPECT_EQ(host.process(0), slice(reference(25.0), 0, 2 * FRAME));
}

}  // namespace
