// Shared ground of the plug-in tests: the built plug-in files loaded with
// dlopen and driven through the simulated host, test signals, and reference
// results computed straight from the correctors of dsp/.
#ifndef QORTA_TESTS_PLUGIN_PLUGIN_TEST_SUPPORT_H
#define QORTA_TESTS_PLUGIN_PLUGIN_TEST_SUPPORT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/host/plugin_loader.h"
#include "tools/host/simulated_edit.h"

namespace plugintest {

// Paths of the built files, given by the build.
const char* iirPluginPath();
const char* firPluginPath();

// A loaded plug-in file with a simulated edit and host session around it.
// Loading the same file again yields the same library and so the same
// process-wide plug-in state; the destructor ends any save run and calls the
// exit callback, so every test starts from a plug-in outside a save run.
struct PluginHost {
    explicit PluginHost(const char* path);
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Replaces the edit's audio and cuts it into frames of `lengths`
    // samples per channel; resets the request log and the faults.
    void setAudio(std::int32_t rate, std::int32_t channels, std::vector<std::int16_t> samples,
                  const std::vector<std::int32_t>& lengths);

    void setTrack(const char* name, std::int32_t value);

    // Frame k of the edit's source, processed by the plug-in in a buffer of
    // its own; returns the rewritten samples.
    std::vector<std::int16_t> process(std::int32_t k);

    // Processes a frame record built by the caller.
    std::int32_t processRecord(FrameAudioRecord& frame);

    // The whole edit as a save run or a preview.
    std::vector<std::int16_t> run(host::RunMode mode);

    host::LoadedPlugin plugin;
    host::SimulatedEdit edit;
    host::HostSession session;
};

// `frames` frames of `channels` channels: a loud low tone plus a softer
// higher tone and a deterministic noise, different in each channel, with
// full-scale samples (-32768, 32767) at a few places.
std::vector<std::int16_t> testSignal(std::int64_t frames, int channels, std::uint32_t seed);

// `count` lengths of `length` each.
std::vector<std::int32_t> evenFrames(std::int32_t count, std::int32_t length);

// v truncated toward zero and saturated to the 16-bit range.
std::int16_t expectedSample(double v);

// Channel `channel` of interleaved `samples`.
std::vector<std::int16_t> channelOf(const std::vector<std::int16_t>& samples, int channels, int channel);

// The corrector's output for every sample of a whole channel, in one pass
// from zero state: process(x x 2^-15).
std::vector<double> iirOutputs(const std::vector<std::int16_t>& channel, double rate, double strength);

// The IIR save path over a whole channel with gain 100 and no fades:
// trunc(process(x x 2^-15) x 32768), saturated.
std::vector<std::int16_t> iirReference(const std::vector<std::int16_t>& channel, double rate, double strength);

// The kernel of half-length N for (effect, gain, rate) convolved with
// convolveAt at every sample of a whole channel, 0.0 beyond both ends.
std::vector<double> firSums(const std::vector<std::int16_t>& channel, std::int32_t halfLength, double effect,
                            double gain, double rate);

// The FIR save path over a whole channel without fades: the sums of
// firSums times 32768, truncated and saturated.
std::vector<std::int16_t> firReference(const std::vector<std::int16_t>& channel, std::int32_t halfLength,
                                       double effect, double gain, double rate);

// Sample positions first .. first + count - 1 of `samples`.
std::vector<std::int16_t> slice(const std::vector<std::int16_t>& samples, std::int64_t first, std::int64_t count);

}  // namespace plugintest

#endif
