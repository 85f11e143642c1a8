// What both plug-ins share: the preview envelope of gain and fades,
// saturation and truncation, frames they leave alone, and callbacks that
// may come in any order.
#include <gtest/gtest.h>

#include "tests/plugin/plugin_test_support.h"

namespace {

using plugintest::Samples;

struct Plugin {
    const char* name;
    const char* path;
    std::int16_t gain29Of100;  // where the two envelopes round differently
};

void PrintTo(const Plugin& plugin, std::ostream* out) { *out << plugin.name; }

class PreviewTest : public ::testing::TestWithParam<Plugin> {
protected:
    plugintest::PluginHost host{GetParam().path};
};

TEST_P(PreviewTest, UnitGainReturnsEverySampleUnchanged) {
    host.setAudio(8000, 2, plugintest::testSignal(5 * 267, 2, 1), std::vector<std::int32_t>(5, 267));
    EXPECT_EQ(host.run(host::RunMode::Preview), host.edit.source);
    EXPECT_TRUE(host.edit.readRequests.empty());
}

TEST_P(PreviewTest, GainSaturatesAndResultsTruncateTowardZero) {
    host.setAudio(8000, 2, {30000, -30000, 19, -19, 32767, -32768, 16384, -16385}, {4});
    host.setTrack("Gain", 200);
    EXPECT_EQ(host.process(0), (Samples{32767, -32768, 38, -38, 32767, -32768, 32767, -32768}));
    host.setTrack("Gain", 10);  // 19 x 10 % = 1.9
    EXPECT_EQ(host.process(0), (Samples{3000, -3000, 1, -1, 3276, -3276, 1638, -1638}));
    // The IIR plug-in multiplies the sample by 0.29 (28.999999999999996),
    // the FIR plug-in 29 x 100 by 0.01 (29.000000000000004).
    host.setTrack("Gain", 29);
    host.setAudio(8000, 1, {100, -100}, {2});
    EXPECT_EQ(host.process(0), (Samples{GetParam().gain29Of100, static_cast<std::int16_t>(-GetParam().gain29Of100)}));
}

TEST_P(PreviewTest, FadesRampWithinAFrameAndTheNextFrameContinues) {
    host.setAudio(8000, 1, Samples(12 * 267, 10000), std::vector<std::int32_t>(12, 267));
    host.setTrack("FadeIn", 10);
    host.setTrack("FadeOut", 10);
    const Samples first = host.process(0);
    EXPECT_EQ(first[0], 0);
    EXPECT_EQ(first.back(), 996);         // 266 / 267 of 1/10
    EXPECT_EQ(host.process(1)[0], 1000);  // 1/10, where frame 0 was heading
    const Samples last = host.process(11);
    EXPECT_EQ(last[0], 1000);  // 1/10 of the fade-out left
    EXPECT_EQ(last.back(), 3);  // 1 / 267 of that
}

TEST_P(PreviewTest, FramesTheHostCannotDescribeOrOutsideTheModelStayUntouched) {
    host.setAudio(8000, 2, plugintest::testSignal(200, 2, 2), {100, 100});
    host.setTrack("Gain", 200);
    host::startSave(host.session);
    host.edit.faults.queryFileInfoFails = true;
    EXPECT_EQ(host.process(1), host.frameOf(host.edit.source, 1));
    host.edit.faults.queryFileInfoFails = false;

    Samples audio = {1000, 2000, 3000, 4000, 5000, 6000};
    FrameAudioRecord frame = {};
    frame.frameCount = 1;
    frame.audio = audio.data();
    frame.editHandle = &host.edit;
    for (auto [channels, count] : {std::pair{0, 2}, {3, 2}, {-1, 2}, {2, 0}, {2, -5}}) {
        frame.channelCount = channels;
        frame.sampleCount = count;
        EXPECT_EQ(host.session.record.processCallback(&host.session.record, &frame), 1);
    }
    EXPECT_EQ(audio, (Samples{1000, 2000, 3000, 4000, 5000, 6000}));
    EXPECT_TRUE(host.edit.readRequests.empty());
}

TEST_P(PreviewTest, SaveEndAndExitMayComeWithoutASaveAndTwice) {
    host.setAudio(8000, 2, plugintest::testSignal(100, 2, 3), {100});
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(host::endSave(host.session), 1);
        EXPECT_EQ(host::exitPlugin(host.session), 1);
    }
    EXPECT_EQ(host.process(0), host.edit.source);
    EXPECT_EQ(host::startSave(host.session), 1);
    EXPECT_NE(host.process(0), host.edit.source);
    EXPECT_EQ(host::endSave(host.session), 1);
    EXPECT_EQ(host.process(0), host.edit.source);
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, PreviewTest,
                         ::testing::Values(Plugin{"Iir", QORTAIIR_AUF_PATH, 28}, Plugin{"Fir", QORTAFIR_AUF_PATH, 29}),
                         [](const ::testing::TestParamInfo<Plugin>& info) { return std::string(info.param.name); });

}  // namespace
