#include "tests/plugin/plugin_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "dsp/fir_corrector.h"
#include "dsp/iir_corrector.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

namespace plugintest {

PluginHost::PluginHost(const char* path) {
    std::string error;
    if (host::loadPlugin(path, &plugin, &error) != 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
    }
    host::openSession(session, *plugin.table, edit);
}

PluginHost::~PluginHost() {
    host::endSave(session);
    host::exitPlugin(session);
    host::unloadPlugin(&plugin);
}

void PluginHost::setAudio(std::int32_t rate, std::int32_t channels, Samples samples,
                          const std::vector<std::int32_t>& lengths) {
    edit.samplingRate = rate;
    edit.channelCount = channels;
    edit.source = std::move(samples);
    edit.faults = host::HostFaults{};
    edit.readRequests.clear();
    ASSERT_TRUE(host::cutIntoFrames(edit, lengths));
}

void PluginHost::setTrack(const char* name, std::int32_t value) {
    const int index = host::findTrack(session, name);
    ASSERT_GE(index, 0) << name;
    session.trackValues[index] = value;
}

Samples PluginHost::process(std::int32_t k) {
    Samples audio = frameOf(edit.source, k);
    EXPECT_EQ(host::processFrame(session, k, audio.data()), 1);
    return audio;
}

Samples PluginHost::frameOf(const Samples& samples, std::int32_t k) const {
    const auto first = samples.begin() + host::frameStart(edit, k) * edit.channelCount;
    return Samples(first, first + host::frameSamples(edit, k) * edit.channelCount);
}

Samples testSignal(std::int64_t frames, int channels, std::uint32_t seed) {
    Samples samples(static_cast<std::size_t>(frames * channels));
    std::uint32_t noise = seed * 2654435761u + 1;
    for (std::size_t j = 0; j < samples.size(); ++j) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(j / channels);
        const int ch = static_cast<int>(j % channels);
        samples[j] = static_cast<std::int16_t>(std::lround(700.0 * std::sin(t * (0.013 + 0.004 * ch)) +
                                                           5000.0 * std::sin(t * (0.31 + 0.05 * ch) + seed) +
                                                           static_cast<double>((noise >> 20) % 4096) - 2048.0));
    }
    for (std::size_t j = samples.size() / 3; j < samples.size() / 3 + 4 && j < samples.size(); ++j)
        samples[j] = j % 2 == 0 ? 32767 : -32768;
    return samples;
}

std::int16_t expectedSample(double v) {
    const double t = std::trunc(v);
    return static_cast<std::int16_t>(t > 32767.0 ? 32767.0 : t < -32768.0 ? -32768.0 : t);
}

std::vector<double> iirOutputs(const Samples& samples, int channels, double rate, double strength) {
    dsp::IirCorrector corrector;
    dsp::reset(corrector);
    dsp::configure(corrector, rate, strength);
    std::vector<double> out;
    for (std::size_t j = 0; j < samples.size(); ++j)
        out.push_back(dsp::process(corrector, static_cast<int>(j % channels), samples[j] / 32768.0));
    return out;
}

std::vector<double> firSums(const Samples& samples, int channels, std::int32_t n, double effect, double gain,
                            double rate) {
    std::vector<double> kernel(2 * static_cast<std::size_t>(n) + 1);
    const dsp::FirCorrector corrector = {n, kernel.data()};
    dsp::fillKernel(corrector, effect, gain, rate);
    const std::size_t frames = samples.size() / channels;
    std::vector<double> out(samples.size());
    for (int ch = 0; ch < channels; ++ch) {
        std::vector<double> padded(frames + 2 * static_cast<std::size_t>(n), 0.0);
        for (std::size_t i = 0; i < frames; ++i) padded[n + i] = samples[i * channels + ch] / 32768.0;
        for (std::size_t i = 0; i < frames; ++i) out[i * channels + ch] = dsp::convolveAt(corrector, padded.data(), n + i);
    }
    return out;
}

Samples toSamples(const std::vector<double>& values) {
    Samples out;
    for (double v : values) out.push_back(expectedSample(v * 32768.0));
    return out;
}

void writeTestWav(const std::string& path, std::uint32_t rate, std::uint16_t channels, const Samples& samples) {
    EXPECT_TRUE(testsupport::writeBytes(path, testsupport::pcmWav(channels, rate, 16, testsupport::pcm16(samples))));
}

Samples readOutputSamples(const std::string& path) {
    const testsupport::Bytes bytes = testsupport::fileBytes(path);
    Samples samples;
    for (std::size_t i = 46; i + 1 < bytes.size(); i += 2)
        samples.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return samples;
}

int runProgram(const std::vector<std::string>& arguments, std::string* output) {
    const testsupport::RunResult run = testsupport::runProgram(
        arguments.front(), std::vector<std::string>(arguments.begin() + 1, arguments.end()), testsupport::RunOptions());
    *output = run.out + run.err;
    return run.exited ? run.exitStatus : -1;
}

}  // namespace plugintest
