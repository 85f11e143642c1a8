// The plug-ins and the console programs compute the same correction. For a
// 16-bit file whose channels each have a mean of exactly 0 the console
// programs remove no DC offset; with Effect 100, Gain 100, no fades and the
// default Quality a whole save run through qortahost then performs the
// console program's operations one for one, however the frames are cut,
// and both write the same file byte for byte.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/plugin/plugin_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

using plugintest::Samples;

// The second half is the first half negated in reverse order, so every
// channel sums to exactly 0. A loud bass makes the correction saturate.
Samples zeroMeanSignal(std::int64_t frames, int channels, double rate) {
    Samples samples(static_cast<std::size_t>(frames * channels), 0);
    std::uint32_t noise = 12345;
    for (std::int64_t i = 0; i < frames / 2; ++i) {
        for (int ch = 0; ch < channels; ++ch) {
            noise = noise * 1664525u + 1013904223u;
            const double t = static_cast<double>(i) / rate;
            const auto value = static_cast<std::int16_t>(
                std::lround(9000.0 * std::sin(2 * M_PI * (55.0 + 10.0 * ch) * t) +
                            4000.0 * std::sin(2 * M_PI * (440.0 + 110.0 * ch) * t) + (noise >> 19) - 4096.0));
            samples[i * channels + ch] = value;
            samples[(frames - 1 - i) * channels + ch] = static_cast<std::int16_t>(-value);
        }
    }
    return samples;
}

void expectSameOutput(const char* program, const char* plugin, std::uint32_t rate, std::uint16_t channels,
                      std::int64_t frames, const char* fps) {
    SCOPED_TRACE(std::string(program) + " at " + std::to_string(rate) + " Hz, " + fps + " fps");
    testsupport::TempDir scratch;
    const Samples samples = zeroMeanSignal(frames, channels, rate);
    for (int ch = 0; ch < channels; ++ch) {
        std::int64_t sum = 0;
        for (std::size_t i = static_cast<std::size_t>(ch); i < samples.size(); i += channels) sum += samples[i];
        ASSERT_EQ(sum, 0);
    }
    const std::string input = scratch.file("input.wav");
    plugintest::writeTestWav(input, rate, channels, samples);
    std::string output;
    ASSERT_EQ(plugintest::runProgram({program, "-y", "-n", input, scratch.file("console.wav")}, &output), 0);
    ASSERT_EQ(plugintest::runProgram({QORTAHOST_PATH, "-q", "--fps", fps, plugin, input, scratch.file("plugin.wav")},
                                     &output),
              0)
        << output;
    const testsupport::Bytes console = testsupport::fileBytes(scratch.file("console.wav"));
    ASSERT_EQ(console.size(), 46 + samples.size() * 2) << output;
    EXPECT_TRUE(console == testsupport::fileBytes(scratch.file("plugin.wav")));
    const Samples corrected = plugintest::readOutputSamples(scratch.file("plugin.wav"));
    EXPECT_NE(corrected, samples);
    EXPECT_NE(std::find(corrected.begin(), corrected.end(), 32767), corrected.end());  // saturated in places
}

TEST(ConsoleCrossCheckTest, IirPluginSaveMatchesQortaiir) {
    expectSameOutput(QORTAIIR_PATH, QORTAIIR_AUF_PATH, 44100, 2, 66150, "30");
    expectSameOutput(QORTAIIR_PATH, QORTAIIR_AUF_PATH, 22050, 1, 30001, "30000/1001");
}

TEST(ConsoleCrossCheckTest, FirPluginSaveMatchesQortafir) {
    expectSameOutput(QORTAFIR_PATH, QORTAFIR_AUF_PATH, 44100, 2, 66150, "30");
    expectSameOutput(QORTAFIR_PATH, QORTAFIR_AUF_PATH, 22050, 1, 30001, "29.97");
    expectSameOutput(QORTAFIR_PATH, QORTAFIR_AUF_PATH, 48000, 2, 48000, "60");
}

}  // namespace
