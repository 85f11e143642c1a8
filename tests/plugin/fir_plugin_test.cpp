// qortafir.auf loaded with dlopen and driven through the simulated host:
// preview envelope, the kernel's life cycle over save runs, and the window
// gathered from neighbouring frames, checked against a whole-signal
// convolution with the reference form.
#include <gtest/gtest.h>

#include <vector>

#include "tests/plugin/plugin_test_support.h"

namespace {

using host::RunMode;
using plugintest::channelOf;
using plugintest::evenFrames;
using plugintest::firReference;
using plugintest::PluginHost;
using plugintest::slice;
using plugintest::testSignal;

constexpr std::int32_t RATE = 8000;
constexpr std::int32_t N = 160;      // Quality 100 at 8 kHz: 20 ms
constexpr std::int32_t FRAME = 267;  // about 30 video frames per second
constexpr std::int32_t SHORT = 50;   // frames shorter than N

struct FirPluginTest : ::testing::Test {
    PluginHost host{plugintest::firPluginPath()};

    void stereoEdit(std::int32_t frames, std::int32_t length) {
        host.setAudio(RATE, 2, testSignal(static_cast<std::int64_t>(frames) * length, 2, 11),
                      evenFrames(frames, length));
    }

    void constantEdit(std::int32_t frames, std::int16_t value) {
        host.setAudio(RATE, 1, std::vector<std::int16_t>(static_cast<std::size_t>(frames) * FRAME, value),
                      evenFrames(frames, FRAME));
    }

    // Both channels of `source` convolved whole with the reference form.
    static std::vector<std::int16_t> reference(const std::vector<std::int16_t>& source, std::int32_t halfLength,
                                               double effect = 100, double gain = 100) {
        const std::vector<std::int16_t> left = firReference(channelOf(source, 2, 0), halfLength, effect, gain, RATE);
        const std::vector<std::int16_t> right = firReference(channelOf(source, 2, 1), halfLength, effect, gain, RATE);
        std::vector<std::int16_t> both;
        for (std::size_t i = 0; i < left.size(); ++i) {
            both.push_back(left[i]);
            both.push_back(right[i]);
        }
        return both;
    }

    std::vector<std::int16_t> frameOf(const std::vector<std::int16_t>& samples, std::int32_t k) const {
        return slice(samples, host.edit.frameStarts[k] * 2, host::frameSamples(host.edit, k) * 2);
    }
};

TEST_F(FirPluginTest, PreviewAtUnitGainReturnsEverySampleUnchanged) {
    stereoEdit(5, FRAME);
    EXPECT_EQ(host.run(RunMode::Preview), host.edit.source);
    EXPECT_TRUE(host.edit.readRequests.empty());
}

TEST_F(FirPluginTest, PreviewAppliesGainPerSampleWithSaturationAndTruncation) {
    host.setAudio(RATE, 2, {30000, -30000, 19, -19, 32767, -32768}, {3});
    host.setTrack("Gain", 200);
    EXPECT_EQ(host.process(0), (std::vector<std::int16_t>{32767, -32768, 38, -38, 32767, -32768}));
    host.setTrack("Gain", 10);  // ((10 x 19) x 1.0) x 0.01 = 1.9
    EXPECT_EQ(host.process(0), (std::vector<std::int16_t>{3000, -3000, 1, -1, 3276, -3276}));
    // ((29 x 100) x 1.0) x 0.01 = 29.000000000000004, where the sample times
    // 0.29 would give 28.999999999999996.
    host.setAudio(RATE, 1, {100, -100}, {2});
    host.setTrack("Gain", 29);
    EXPECT_EQ(host.process(0), (std::vector<std::int16_t>{29, -29}));
}

TEST_F(FirPluginTest, FadesRunAcrossFramesWithoutGainInTheFactors) {
    constantEdit(12, 10000);
    host.setTrack("FadeIn", 10);
    host.setTrack("FadeOut", 10);
    const std::vector<std::int16_t> first = host.process(0);
    EXPECT_EQ(first[0], 0);
    EXPECT_LT(first.back(), 1000);
    EXPECT_EQ(host.process(1)[0], 1000);  // frame 0 ends at 1/10
    const std::vector<std::int16_t> last = host.process(11);
    EXPECT_EQ(last[0], 1000);  // outStart 1/10, the fade-in long past
    EXPECT_EQ(last.back(), 3);   // (1/10) / 267 of 10000, truncated
}

TEST_F(FirPluginTest, SaveRunMatchesTheWholeSignalConvolution) {
    stereoEdit(6, FRAME);
    const std::vector<std::int16_t> saved = host.run(RunMode::Save);
    EXPECT_NE(saved, host.edit.source);
    // Context before frame 0 and after the last frame is 0.0, as beyond the
    // ends of the whole signal.
    EXPECT_EQ(saved, reference(host.edit.source, N));
}

TEST_F(FirPluginTest, SaveRunAppliesTheFadesButNotTheGainToTheSums) {
    host.setAudio(RATE, 1, testSignal(12 * FRAME, 1, 4), evenFrames(12, FRAME));
    host.setTrack("FadeIn", 3);
    host.setTrack("FadeOut", 3);
    host.setTrack("Gain", 150);  // inside the kernel
    const std::vector<std::int16_t> saved = host.run(RunMode::Save);
    const std::vector<double> sums = plugintest::firSums(host.edit.source, N, 100, 150, RATE);
    const auto at = [&](std::int32_t k, std::int32_t i) { return static_cast<std::size_t>(k) * FRAME + i; };
    EXPECT_EQ(saved[at(0, 0)], 0);
    EXPECT_EQ(saved[at(1, 0)], plugintest::expectedSample(sums[at(1, 0)] * (1.0 / 3) * 32768.0));
    for (std::int32_t i = 0; i < FRAME; ++i)
        EXPECT_EQ(saved[at(5, i)], plugintest::expectedSample(sums[at(5, i)] * 32768.0)) << i;
    EXPECT_EQ(saved[at(11, FRAME - 1)], plugintest::expectedSample(sums[at(11, FRAME - 1)] * (1.0 / 3 / FRAME) * 32768.0));
}

TEST_F(FirPluginTest, ContextLongerThanAFrameComesFromSeveralFramesNearestFirst) {
    stereoEdit(12, SHORT);
    const std::vector<std::int16_t> saved = host.run(RunMode::Save);
    EXPECT_EQ(saved, reference(host.edit.source, N));

    host.edit.readRequests.clear();
    host::startSave(host.session);
    host.process(6);
    EXPECT_EQ(host.edit.readRequests, (std::vector<std::int32_t>{5, 4, 3, 2, 7, 8, 9, 10}));
    host.edit.readRequests.clear();
    host.process(0);  // nothing before the first frame is asked for
    EXPECT_EQ(host.edit.readRequests, (std::vector<std::int32_t>{1, 2, 3, 4}));
    host.edit.readRequests.clear();
    host.process(11);  // nor after the last
    EXPECT_EQ(host.edit.readRequests, (std::vector<std::int32_t>{10, 9, 8, 7}));
}

TEST_F(FirPluginTest, UnreadableNeighbourEndsThatSideOfTheWindowWithZeros) {
    stereoEdit(12, SHORT);
    host::startSave(host.session);
    host.edit.faults.unreadableFrames = {5};
    const std::vector<std::int16_t> frame6 = host.process(6);
    EXPECT_EQ(host.edit.readRequests, (std::vector<std::int32_t>{5, 7, 8, 9, 10}));
    std::vector<std::int16_t> blanked = host.edit.source;
    std::fill(blanked.begin(), blanked.begin() + 6 * SHORT * 2, 0);
    EXPECT_EQ(frame6, frameOf(reference(blanked, N), 6));

    host.edit.readRequests.clear();
    host.edit.faults.unreadableFrames = {8};
    const std::vector<std::int16_t> frame6b = host.process(6);
    EXPECT_EQ(host.edit.readRequests, (std::vector<std::int32_t>{5, 4, 3, 2, 7, 8}));
    blanked = host.edit.source;
    std::fill(blanked.begin() + 8 * SHORT * 2, blanked.end(), 0);
    EXPECT_EQ(frame6b, frameOf(reference(blanked, N), 6));
}

TEST_F(FirPluginTest, FramesLongerThanOneSecondAreNotUsed) {
    // Mono at 1 kHz: N = 20, capacity 1000 samples per frame. A mild
    // effect keeps the boosted samples inside the 16-bit range.
    std::vector<std::int16_t> source = testSignal(30 + 1001 + 30 + 30, 1, 5);
    host.setAudio(1000, 1, source, {30, 1001, 30, 30});
    host.setTrack("Effect", 10);
    host::startSave(host.session);
    EXPECT_EQ(host.process(1), slice(source, 30, 1001));  // current frame too long: untouched
    host.edit.readRequests.clear();
    const std::vector<std::int16_t> frame2 = host.process(2);
    EXPECT_EQ(host.edit.readRequests, (std::vector<std::int32_t>{1, 3}));  // frame 0 not asked for
    std::vector<std::int16_t> blanked = source;
    std::fill(blanked.begin(), blanked.begin() + 1031, 0);
    EXPECT_EQ(frame2, slice(firReference(blanked, 20, 10, 100, 1000), 1031, 30));
}

TEST_F(FirPluginTest, KernelIsFixedAtSaveStartWhileEffectIsReadEveryFrame) {
    stereoEdit(3, FRAME);
    host::startSave(host.session);
    host.setTrack("Gain", 300);
    host.setTrack("Quality", 10);
    const std::vector<std::int16_t> frame1 = host.process(1);
    EXPECT_EQ(frame1, frameOf(reference(host.edit.source, N), 1));
    host.setTrack("Effect", 0);  // preview path: Gain 300 applied per sample
    const std::vector<std::int16_t> preview = host.process(1);
    const std::vector<std::int16_t> source1 = frameOf(host.edit.source, 1);
    for (std::size_t i = 0; i < preview.size(); ++i)
        EXPECT_EQ(preview[i], plugintest::expectedSample(300.0 * source1[i] * 0.01)) << i;
    host.setTrack("Effect", 50);  // back on, with the kernel of Effect 100
    EXPECT_EQ(host.process(1), frame1);
}

TEST_F(FirPluginTest, SecondSaveStartReplacesTheKernel) {
    stereoEdit(4, FRAME);
    host::startSave(host.session);
    host.setTrack("Quality", 50);
    host.setTrack("Effect", 200);
    host.setTrack("Gain", 80);
    EXPECT_EQ(host.run(RunMode::Save), reference(host.edit.source, N / 2, 200, 80));
}

TEST_F(FirPluginTest, FailedFileInfoKeepsAnEarlierKernelAndLeavesFramesUntouched) {
    stereoEdit(4, FRAME);
    host::startSave(host.session);  // Quality 100
    host.setTrack("Quality", 300);
    host.edit.faults.queryFileInfoFails = true;
    host::startSave(host.session);  // no new kernel
    EXPECT_EQ(host.process(2), frameOf(host.edit.source, 2));  // untouched, even on the save path
    host.edit.faults.queryFileInfoFails = false;
    EXPECT_EQ(host.process(2), frameOf(reference(host.edit.source, N), 2));

    // Without an earlier kernel the run applies gain and fades only.
    host::endSave(host.session);
    host.edit.faults.queryFileInfoFails = true;
    host::startSave(host.session);
    host.edit.faults.queryFileInfoFails = false;
    host.setTrack("Gain", 50);
    const std::vector<std::int16_t> frame2 = host.process(2);
    const std::vector<std::int16_t> source2 = frameOf(host.edit.source, 2);
    for (std::size_t i = 0; i < frame2.size(); ++i) EXPECT_EQ(frame2[i], source2[i] / 2) << i;
}

TEST_F(FirPluginTest, NoKernelForQualityBelowOneTapOrNegativeOrWithoutARate) {
    stereoEdit(3, FRAME);
    host.setTrack("Gain", 50);
    struct Case {
        std::int32_t quality;
        bool overrideRate;
        std::int32_t rate;
    };
    for (const Case& c : {Case{0, false, 0}, Case{-100, false, 0}, Case{100, true, 0}, Case{100, true, -8000},
                          Case{-100, true, -8000}}) {
        host.setTrack("Quality", c.quality);
        host.edit.faults.overrideSamplingRate = c.overrideRate;
        host.edit.faults.reportedSamplingRate = c.rate;
        const std::vector<std::int16_t> saved = host.run(RunMode::Save);
        for (std::size_t i = 0; i < saved.size(); ++i)
            ASSERT_EQ(saved[i], host.edit.source[i] / 2) << "Quality " << c.quality << " rate " << c.rate;
        EXPECT_TRUE(host.edit.readRequests.empty());
    }
}

TEST_F(FirPluginTest, SavesAreIndependentOfAPreviewBetweenThem) {
    stereoEdit(4, FRAME);
    const std::vector<std::int16_t> first = host.run(RunMode::Save);
    EXPECT_EQ(host.run(RunMode::Preview), host.edit.source);
    EXPECT_EQ(host.run(RunMode::Save), first);
}

TEST_F(FirPluginTest, FramesOutsideTheDataModelAreLeftAlone) {
    stereoEdit(2, FRAME);
    host::startSave(host.session);
    std::vector<std::int16_t> audio = {1000, 2000, 3000, 4000, 5000, 6000};
    const std::vector<std::int16_t> before = audio;
    FrameAudioRecord frame = {};
    frame.frameCount = 2;
    frame.audio = audio.data();
    frame.editHandle = &host.edit;
    for (std::int32_t channels : {0, 3}) {
        frame.channelCount = channels;
        frame.sampleCount = 2;
        EXPECT_EQ(host.processRecord(frame), 1);
    }
    frame.channelCount = 2;
    frame.sampleCount = 0;
    EXPECT_EQ(host.processRecord(frame), 1);
    EXPECT_EQ(audio, before);
    EXPECT_TRUE(host.edit.readRequests.empty());
}

TEST_F(FirPluginTest, SaveEndAndExitFreeTheKernelAndMayComeAnyTime) {
    stereoEdit(2, FRAME);
    EXPECT_EQ(host::endSave(host.session), 1);
    EXPECT_EQ(host::exitPlugin(host.session), 1);
    EXPECT_EQ(host::exitPlugin(host.session), 1);
    EXPECT_EQ(host::startSave(host.session), 1);
    EXPECT_EQ(host::endSave(host.session), 1);
    EXPECT_EQ(host::endSave(host.session), 1);
    EXPECT_EQ(host.process(0), frameOf(host.edit.source, 0));  // no kernel: preview
    EXPECT_EQ(host::startSave(host.session), 1);
    EXPECT_EQ(host::exitPlugin(host.session), 1);
    EXPECT_EQ(host.process(0), frameOf(host.edit.source, 0));
}

}  // namespace
