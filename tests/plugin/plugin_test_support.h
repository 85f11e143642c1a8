// Shared ground of the plug-in tests: the built plug-in files loaded as
// shared libraries and driven through the simulated host, test signals, reference
// results straight from the correctors of dsp/, and files and programs.
#ifndef QORTA_TESTS_PLUGIN_PLUGIN_TEST_SUPPORT_H
#define QORTA_TESTS_PLUGIN_PLUGIN_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/plugin_loader.h"
#include "tools/host/simulated_edit.h"

namespace plugintest {

using Samples = std::vector<std::int16_t>;

// A loaded plug-in file with a simulated edit and host session around it.
// The same file loads as the same library, so the plug-in state is shared;
// the destructor ends any save run and calls exit.
struct PluginHost {
    explicit PluginHost(const char* path);
    ~PluginHost();

    // Replaces the edit's audio, cut into frames of `lengths` samples.
    void setAudio(std::int32_t rate, std::int32_t channels, Samples samples, const std::vector<std::int32_t>& lengths);
    void setTrack(const char* name, std::int32_t value);
    Samples process(std::int32_t k);  // frame k of the source, rewritten by the plug-in
    Samples run(host::RunMode mode) {
        Samples output;
        host::runEdit(session, mode, &output);
        return output;
    }
    Samples frameOf(const Samples& samples, std::int32_t k) const;

    host::LoadedPlugin plugin;
    host::SimulatedEdit edit;
    host::HostSession session;
};

// Interleaved test audio: a low tone, a higher tone and noise, different
// per channel, with full-scale samples at a few places.
Samples testSignal(std::int64_t frames, int channels, std::uint32_t seed);

// v truncated toward zero and saturated to the 16-bit range.
std::int16_t expectedSample(double v);

// Per-sample results over the whole interleaved signal, each channel from
// zero state or with 0.0 beyond its ends: the IIR corrector's output, and
// the FIR kernel (half-length N, gain in the kernel) convolved by convolveAt.
std::vector<double> iirOutputs(const Samples& samples, int channels, double rate, double strength);
std::vector<double> firSums(const Samples& samples, int channels, std::int32_t n, double effect, double gain,
                            double rate);
// Those results times 32768, truncated and saturated.
Samples toSamples(const std::vector<double>& values);

// A canonical 44-byte-header 16-bit PCM WAV file.
void writeTestWav(const std::string& path, std::uint32_t rate, std::uint16_t channels, const Samples& samples);
// The samples behind the 46-byte header the programs write.
Samples readOutputSamples(const std::string& path);

// Runs a program (arguments[0]) with its arguments and returns its exit
// status, -1 when it did not start or did not exit; standard output and
// then standard error go to `*output`.
int runProgram(const std::vector<std::string>& arguments, std::string* output);

}  // namespace plugintest

#endif
