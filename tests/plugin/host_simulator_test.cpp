// The host simulator: how it cuts audio into video frames, its command
// line, its display of the information text, its WAV files, and the
// qortahost program run as a user would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/plugin/file_test_support.h"
#include "tests/plugin/plugin_test_support.h"
#include "tools/host/frame_rate.h"
#include "tools/host/host_options.h"
#include "tools/host/shift_jis_text.h"
#include "tools/host/simulated_edit.h"
#include "tools/host/wav_io.h"

namespace {

using host::FrameRate;
using plugintest::runProgram;
using plugintest::ScratchFolder;

FrameRate rateOf(const char* text) {
    FrameRate rate;
    rate.numerator = -1;
    EXPECT_TRUE(host::parseFrameRate(text, &rate)) << text;
    return rate;
}

TEST(FrameRateTest, ParsesWholeDecimalAndRatioRatesInLowestTerms) {
    EXPECT_EQ(rateOf("30").numerator, 30);
    EXPECT_EQ(rateOf("30").denominator, 1);
    EXPECT_EQ(rateOf("29.97").numerator, 2997);
    EXPECT_EQ(rateOf("29.97").denominator, 100);
    EXPECT_EQ(rateOf("30000/1001").numerator, 30000);
    EXPECT_EQ(rateOf("30000/1001").denominator, 1001);
    EXPECT_EQ(rateOf("50/2").numerator, 25);
    EXPECT_EQ(rateOf("50/2").denominator, 1);
    EXPECT_EQ(rateOf("1").numerator, 1);
    EXPECT_EQ(rateOf("1000").numerator, 1000);
    EXPECT_EQ(host::formatFrameRate(rateOf("30000/1001")), "30000/1001");
    EXPECT_EQ(host::formatFrameRate(rateOf("25.0")), "25");
}

TEST(FrameRateTest, RefusesMalformedAndOutOfRangeRates) {
    FrameRate rate;
    for (const char* text : {"", "0", "0.5", "1001", "-30", "30/0", "30/", "/2", "abc", "30fps", "29.9700001",
                             "1.", "99999999999999999999", "3/4"})
        EXPECT_FALSE(host::parseFrameRate(text, &rate)) << text;
}

TEST(FrameRateTest, FrameStartIsTheFlooredExactProduct) {
    EXPECT_EQ(host::frameStartSample(0, 44100, rateOf("30")), 0);
    EXPECT_EQ(host::frameStartSample(7, 44100, rateOf("30")), 7 * 1470);
    // 44100 x 1001 / 30000 = 1471.47 samples per frame.
    const FrameRate ntsc = rateOf("30000/1001");
    for (std::int64_t k : {1, 2, 3, 29, 1000, 107892})
        EXPECT_EQ(host::frameStartSample(k, 44100, ntsc), k * 44100 * 1001 / 30000) << k;
    // Large rates and frame numbers do not overflow.
    EXPECT_EQ(host::frameStartSample(2000000000, 192000, rateOf("1000/999")),
              static_cast<std::int64_t>(2000000000) * 192000 / 1000 * 999);
    EXPECT_EQ(host::frameStartSample(3, INT32_MAX, rateOf("1/1")), 3LL * INT32_MAX);
}

TEST(FrameCuttingTest, FramesCoverTheAudioAndTheLastEndsWithIt) {
    host::SimulatedEdit edit;
    edit.samplingRate = 44100;
    edit.channelCount = 2;
    edit.source.assign(2 * 10000, 0);
    ASSERT_TRUE(host::cutIntoFrames(edit, rateOf("30")));
    ASSERT_EQ(host::frameCount(edit), 7);  // 6 x 1470 = 8820, then 1180 left
    for (std::int32_t k = 0; k < 6; ++k) EXPECT_EQ(host::frameSamples(edit, k), 1470);
    EXPECT_EQ(host::frameSamples(edit, 6), 1180);
    edit.source.assign(2 * 1470 * 3, 0);  // an exact multiple: no empty last frame
    ASSERT_TRUE(host::cutIntoFrames(edit, rateOf("30")));
    EXPECT_EQ(host::frameCount(edit), 3);
    edit.source.clear();
    ASSERT_TRUE(host::cutIntoFrames(edit, rateOf("30")));
    EXPECT_EQ(host::frameCount(edit), 0);
    EXPECT_FALSE(host::cutIntoFrames(edit, std::vector<std::int32_t>{5}));  // lengths must add up
}

host::HostOptions parsed(std::vector<const char*> arguments, int expected = 0) {
    arguments.insert(arguments.begin(), "qortahost");
    host::HostOptions options;
    std::string error;
    EXPECT_EQ(host::parseHostOptions(static_cast<int>(arguments.size()), arguments.data(), &options, &error),
              expected)
        << error;
    if (expected != 0) {
        EXPECT_FALSE(error.empty());
    }
    return options;
}

TEST(HostOptionsTest, ReadsPluginFilesTracksRateAndModes) {
    const host::HostOptions options =
        parsed({"-t", "Gain=80", "p.auf", "--track=FadeIn=-3", "in.wav", "--fps", "25", "out.wav", "-p", "-q"});
    EXPECT_EQ(options.pluginPath, "p.auf");
    EXPECT_EQ(options.inputPath, "in.wav");
    EXPECT_EQ(options.outputPath, "out.wav");
    ASSERT_EQ(options.tracks.size(), 2u);
    EXPECT_EQ(options.tracks[0].name, "Gain");
    EXPECT_EQ(options.tracks[0].value, 80);
    EXPECT_EQ(options.tracks[1].name, "FadeIn");
    EXPECT_EQ(options.tracks[1].value, -3);
    EXPECT_EQ(options.frameRate.numerator, 25);
    EXPECT_TRUE(options.preview);
    EXPECT_TRUE(options.quiet);

    const host::HostOptions plain = parsed({"p.auf"});
    EXPECT_TRUE(plain.inputPath.empty());
    EXPECT_EQ(plain.frameRate.numerator, 30);
    EXPECT_EQ(plain.frameRate.denominator, 1);
    EXPECT_FALSE(plain.preview);
    EXPECT_TRUE(parsed({"--help", "--bogus"}).help);
    EXPECT_EQ(parsed({"--", "-odd.auf"}).pluginPath, "-odd.auf");
}

TEST(HostOptionsTest, RefusesMistakesWithAMessage) {
    parsed({}, -1);
    parsed({"p.auf", "in.wav"}, -1);
    parsed({"p.auf", "a.wav", "b.wav", "c.wav"}, -1);
    parsed({"p.auf", "--bogus"}, -1);
    parsed({"p.auf", "-t"}, -1);
    parsed({"p.auf", "-t", "Gain"}, -1);
    parsed({"p.auf", "-t", "=5"}, -1);
    parsed({"p.auf", "-t", "Gain=5x"}, -1);
    parsed({"p.auf", "-t", "Gain=2147483648"}, -1);
    parsed({"p.auf", "--fps", "0"}, -1);
    parsed({"p.auf", "--preview=yes"}, -1);
}

TEST(ShiftJisTextTest, DecodesTheInformationTextForDisplay) {
    const char text[] = "PC-QORTA/PCI\x92\xe1\x89\xb9\x91\x9d\x8b\xad IIR-0.01 by \x83\x4a\x83\x8b\x83\x68\x83\x8b";
    std::string utf8;
    ASSERT_TRUE(host::shiftJisToUtf8(text, &utf8));
    EXPECT_EQ(utf8, "PC-QORTA/PCI低音増強 IIR-0.01 by カルドル");
    EXPECT_EQ(host::displayShiftJis(text), utf8);
    // A lead byte without its trail byte is not Shift-JIS: shown escaped.
    EXPECT_FALSE(host::shiftJisToUtf8("ab\x83", &utf8));
    EXPECT_EQ(host::displayShiftJis("ab\x83"), "ab\\x83");
}

TEST(WavIoTest, RoundTripsSamplesAndRefusesWhatItCannotUse) {
    ScratchFolder scratch;
    const std::vector<std::int16_t> samples = {0, -1, 32767, -32768, 1234, -4321};
    plugintest::writeTestWav(scratch.path("in.wav"), 22050, 2, samples);
    platform::FileHandle input = platform::openInputFile(scratch.path("in.wav").c_str());
    host::WavAudio audio;
    std::string error;
    ASSERT_EQ(host::readWav16(input, &audio, &error), 0) << error;
    EXPECT_EQ(audio.samplingRate, 22050);
    EXPECT_EQ(audio.channelCount, 2);
    EXPECT_EQ(audio.samples, samples);
    ASSERT_EQ(host::writeWav16(scratch.path("out.wav").c_str(), input, audio, &error), 0) << error;
    EXPECT_EQ(plugintest::readWavSamples(scratch.path("out.wav")), samples);
    EXPECT_EQ(plugintest::readBytes(scratch.path("out.wav")).size(), 46u + 12u);
    // The input itself is never overwritten.
    EXPECT_EQ(host::writeWav16(scratch.path("in.wav").c_str(), input, audio, &error), -1);
    EXPECT_EQ(plugintest::readWavSamples(scratch.path("in.wav")), samples);
    platform::closeFile(input);

    plugintest::writeTestWav(scratch.path("three.wav"), 8000, 3, {1, 2, 3});
    input = platform::openInputFile(scratch.path("three.wav").c_str());
    EXPECT_EQ(host::readWav16(input, &audio, &error), -1);
    platform::closeFile(input);
    std::vector<unsigned char> cut = plugintest::readBytes(scratch.path("in.wav"));
    cut.resize(cut.size() - 4);  // the data chunk ends early
    FILE* file = std::fopen(scratch.path("cut.wav").c_str(), "wb");
    std::fwrite(cut.data(), 1, cut.size(), file);
    std::fclose(file);
    input = platform::openInputFile(scratch.path("cut.wav").c_str());
    EXPECT_EQ(host::readWav16(input, &audio, &error), -1);
    EXPECT_EQ(error, "the data chunk ends early");
    platform::closeFile(input);
}

TEST(QortahostProgramTest, DescribesThePluginWithDecodedTextAndTrackBars) {
    std::string output;
    EXPECT_EQ(runProgram({plugintest::hostProgramPath(), plugintest::firPluginPath(), "-t", "gain=80"}, &output), 0);
    EXPECT_NE(output.find("QORTA-Bass(FIR)"), std::string::npos) << output;
    EXPECT_NE(output.find("PC-QORTA/PCI低音増強 FIR-0.01 by カルドル"), std::string::npos) << output;
    EXPECT_NE(output.find("Quality            100         100"), std::string::npos) << output;
    EXPECT_NE(output.find("Gain               100          80"), std::string::npos) << output;
}

TEST(QortahostProgramTest, ReportsUsageMistakesAndUnusableFiles) {
    ScratchFolder scratch;
    std::string output;
    EXPECT_EQ(runProgram({plugintest::hostProgramPath(), "--help"}, &output), 0);
    EXPECT_EQ(output.rfind("Usage: qortahost", 0), 0u) << output;
    EXPECT_EQ(runProgram({plugintest::hostProgramPath()}, &output), 1);
    EXPECT_EQ(runProgram({plugintest::hostProgramPath(), plugintest::iirPluginPath(), "-t", "Quality=5"}, &output), 1);
    EXPECT_NE(output.find("Effect Gain FadeIn FadeOut"), std::string::npos) << output;
    EXPECT_EQ(runProgram({plugintest::hostProgramPath(), scratch.path("none.auf")}, &output), 2);
    EXPECT_EQ(runProgram({plugintest::hostProgramPath(), plugintest::iirPluginPath(), scratch.path("none.wav"),
                          scratch.path("out.wav")},
                         &output),
              2);
}

TEST(QortahostProgramTest, PreviewAppliesGainAndFadesOnly) {
    ScratchFolder scratch;
    const std::vector<std::int16_t> samples = plugintest::testSignal(4410, 2, 3);
    plugintest::writeTestWav(scratch.path("in.wav"), 44100, 2, samples);
    std::string output;
    ASSERT_EQ(runProgram({plugintest::hostProgramPath(), "-q", "--preview", "-t", "Gain=50",
                          plugintest::iirPluginPath(), scratch.path("in.wav"), scratch.path("out.wav")},
                         &output),
              0)
        << output;
    EXPECT_NE(output.find("previewed 3 video frames at 30 fps"), std::string::npos) << output;
    const std::vector<std::int16_t> result = plugintest::readWavSamples(scratch.path("out.wav"));
    ASSERT_EQ(result.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(result[i], samples[i] / 2) << i;
}

}  // namespace
