// The plug-ins and the console programs compute the same correction. For a
// 16-bit file whose channels each have a mean of exactly 0 the console
// programs remove no DC offset; with Effect 100, Gain 100, no fades and the
// default Quality, a whole save run through qortahost then performs the
// console program's operations one for one, frame cutting notwithstanding,
// and both write the same file byte for byte.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/plugin/file_test_support.h"
#include "tests/plugin/plugin_test_support.h"

namespace {

using plugintest::readBytes;
using plugintest::runProgram;
using plugintest::ScratchFolder;

// `frames` frames whose second half is the first half negated in reverse
// order, so every channel sums to exactly 0. A loud bass tone makes the
// correction saturate in places; a melody and noise fill the rest.
std::vector<std::int16_t> zeroMeanSignal(std::int64_t frames, int channels, double rate) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames * channels));
    const std::int64_t half = frames / 2;
    std::uint32_t noise = 12345;
    for (std::int64_t i = 0; i < half; ++i) {
        for (int ch = 0; ch < channels; ++ch) {
            noise = noise * 1664525u + 1013904223u;
            const double t = static_cast<double>(i) / rate;
            const double bass = 9000.0 * std::sin(2 * M_PI * (55.0 + 10.0 * ch) * t);
            const double melody = 4000.0 * std::sin(2 * M_PI * (440.0 + 110.0 * ch) * t);
            const double hiss = static_cast<double>(static_cast<std::int32_t>(noise >> 19) - 4096);
            const auto value = static_cast<std::int16_t>(std::lround(bass + melody + hiss));
            samples[i * channels + ch] = value;
            samples[(frames - 1 - i) * channels + ch] = static_cast<std::int16_t>(-value);
        }
    }
    return samples;  // an odd middle frame stays 0
}

void expectZeroMeans(const std::vector<std::int16_t>& samples, int channels) {
    for (int ch = 0; ch < channels; ++ch) {
        std::int64_t sum = 0;
        for (std::size_t i = static_cast<std::size_t>(ch); i < samples.size(); i += channels) sum += samples[i];
        ASSERT_EQ(sum, 0) << "channel " << ch;
    }
}

struct Case {
    std::uint32_t rate;
    std::uint16_t channels;
    std::int64_t frames;
    const char* fps;
};

// Runs the console program and a save through qortahost on the same file
// and compares the two outputs.
void expectSameOutput(const char* program, const char* plugin, const Case& c) {
    ScratchFolder scratch;
    const std::vector<std::int16_t> samples = zeroMeanSignal(c.frames, c.channels, c.rate);
    expectZeroMeans(samples, c.channels);
    const std::string input = scratch.path("input.wav");
    plugintest::writeTestWav(input, c.rate, c.channels, samples);
    std::string output;
    ASSERT_EQ(runProgram({program, "-y", "-n", input, scratch.path("console.wav")}, &output), 0) << output;
    ASSERT_EQ(runProgram({plugintest::hostProgramPath(), "-q", "--fps", c.fps, plugin, input,
                          scratch.path("plugin.wav")},
                         &output),
              0)
        << output;
    const std::vector<unsigned char> console = readBytes(scratch.path("console.wav"));
    const std::vector<unsigned char> plugged = readBytes(scratch.path("plugin.wav"));
    ASSERT_EQ(console.size(), 46 + samples.size() * 2);
    EXPECT_TRUE(console == plugged) << program << " and " << plugin << " differ at " << c.rate << " Hz, "
                                    << c.channels << " channels, " << c.fps << " fps";
    // The comparison is not trivial: the audio was changed, and saturated.
    const std::vector<std::int16_t> corrected = plugintest::readWavSamples(scratch.path("plugin.wav"));
    EXPECT_NE(corrected, samples);
    EXPECT_NE(std::find(corrected.begin(), corrected.end(), 32767), corrected.end());
}

TEST(ConsoleCrossCheckTest, IirPluginSaveMatchesQortaiir) {
    for (const Case& c : {Case{44100, 2, 66150, "30"}, Case{22050, 1, 30001, "30000/1001"},
                          Case{48000, 2, 48000, "24"}})
        expectSameOutput(plugintest::iirProgramPath(), plugintest::iirPluginPath(), c);
}

TEST(ConsoleCrossCheckTest, FirPluginSaveMatchesQortafir) {
    for (const Case& c : {Case{44100, 2, 66150, "30"}, Case{22050, 1, 30001, "29.97"},
                          Case{48000, 2, 48000, "60"}})
        expectSameOutput(plugintest::firProgramPath(), plugintest::firPluginPath(), c);
}

}  // namespace
