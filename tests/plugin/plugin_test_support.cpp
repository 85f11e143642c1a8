#include "tests/plugin/plugin_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "dsp/fir_corrector.h"
#include "dsp/iir_corrector.h"

namespace plugintest {

const char* iirPluginPath() { return QORTAIIR_AUF_PATH; }
const char* firPluginPath() { return QORTAFIR_AUF_PATH; }

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

void PluginHost::setAudio(std::int32_t rate, std::int32_t channels, std::vector<std::int16_t> samples,
                          const std::vector<std::int32_t>& lengths) {
    edit.samplingRate = rate;
    edit.channelCount = channels;
    edit.source = std::move(samples);
    edit.faults = host::HostFaults{};
    edit.readRequests.clear();
    edit.fileInfoQueries = 0;
    ASSERT_TRUE(host::cutIntoFrames(edit, lengths));
}

void PluginHost::setTrack(const char* name, std::int32_t value) {
    const int index = host::findTrack(session, name);
    ASSERT_GE(index, 0) << name;
    session.trackValues[index] = value;
}

std::vector<std::int16_t> PluginHost::process(std::int32_t k) {
    const std::int64_t first = edit.frameStarts[k] * edit.channelCount;
    std::vector<std::int16_t> audio(edit.source.begin() + first,
                                    edit.source.begin() + first + host::frameSamples(edit, k) * edit.channelCount);
    EXPECT_EQ(host::processFrame(session, k, audio.data()), 1);
    return audio;
}

std::int32_t PluginHost::processRecord(FrameAudioRecord& frame) {
    return session.record.processCallback(&session.record, &frame);
}

std::vector<std::int16_t> PluginHost::run(host::RunMode mode) {
    std::vector<std::int16_t> output;
    host::runEdit(session, mode, &output);
    return output;
}

std::vector<std::int16_t> testSignal(std::int64_t frames, int channels, std::uint32_t seed) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames * channels));
    std::uint32_t noise = seed * 2654435761u + 1;
    for (std::int64_t i = 0; i < frames; ++i) {
        for (int ch = 0; ch < channels; ++ch) {
            noise = noise * 1664525u + 1013904223u;
            const double t = static_cast<double>(i);
            const double low = 700.0 * std::sin(t * (0.013 + 0.004 * ch));
            const double high = 5000.0 * std::sin(t * (0.31 + 0.05 * ch) + seed);
            const double hiss = static_cast<double>(static_cast<std::int32_t>(noise >> 20) - 2048);
            samples[i * channels + ch] = static_cast<std::int16_t>(std::lround(low + high + hiss));
        }
    }
    for (std::int64_t i = frames / 3; i < frames && i < frames / 3 + 3; ++i) {
        samples[i * channels] = 32767;
        samples[i * channels + channels - 1] = -32768;
    }
    return samples;
}

std::vector<std::int32_t> evenFrames(std::int32_t count, std::int32_t length) {
    return std::vector<std::int32_t>(static_cast<std::size_t>(count), length);
}

std::int16_t expectedSample(double v) {
    const double t = std::trunc(v);
    if (t > 32767.0) return 32767;
    if (t < -32768.0) return -32768;
    return static_cast<std::int16_t>(t);
}

std::vector<std::int16_t> channelOf(const std::vector<std::int16_t>& samples, int channels, int channel) {
    std::vector<std::int16_t> one;
    for (std::size_t i = static_cast<std::size_t>(channel); i < samples.size(); i += channels) one.push_back(samples[i]);
    return one;
}

std::vector<double> iirOutputs(const std::vector<std::int16_t>& channel, double rate, double strength) {
    dsp::IirCorrector corrector;
    dsp::reset(corrector);
    dsp::configure(corrector, rate, strength);
    std::vector<double> out;
    for (std::int16_t x : channel) out.push_back(dsp::process(corrector, 0, x / 32768.0));
    return out;
}

std::vector<std::int16_t> iirReference(const std::vector<std::int16_t>& channel, double rate, double strength) {
    std::vector<std::int16_t> out;
    for (double u : iirOutputs(channel, rate, strength)) out.push_back(expectedSample(u * 32768.0));
    return out;
}

std::vector<double> firSums(const std::vector<std::int16_t>& channel, std::int32_t halfLength, double effect,
                            double gain, double rate) {
    std::vector<double> kernel(2 * static_cast<std::size_t>(halfLength) + 1);
    const dsp::FirCorrector corrector = {halfLength, kernel.data()};
    dsp::fillKernel(corrector, effect, gain, rate);
    std::vector<double> padded(channel.size() + 2 * static_cast<std::size_t>(halfLength), 0.0);
    for (std::size_t i = 0; i < channel.size(); ++i) padded[halfLength + i] = channel[i] / 32768.0;
    std::vector<double> sums;
    for (std::size_t i = 0; i < channel.size(); ++i)
        sums.push_back(dsp::convolveAt(corrector, padded.data(), halfLength + i));
    return sums;
}

std::vector<std::int16_t> firReference(const std::vector<std::int16_t>& channel, std::int32_t halfLength,
                                       double effect, double gain, double rate) {
    std::vector<std::int16_t> out;
    for (double sum : firSums(channel, halfLength, effect, gain, rate)) out.push_back(expectedSample(sum * 32768.0));
    return out;
}

std::vector<std::int16_t> slice(const std::vector<std::int16_t>& samples, std::int64_t first, std::int64_t count) {
    return std::vector<std::int16_t>(samples.begin() + first, samples.begin() + first + count);
}

}  // namespace plugintest
