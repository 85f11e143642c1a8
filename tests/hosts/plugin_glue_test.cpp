// The built LV2 and LADSPA libraries driven as a host drives them (dlopen,
// descriptor, instantiate, connect, activate, run): host blocks longer than
// the engine takes, in place and not, the latency port after every run, and
// both standards giving the same samples.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <ladspa.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "hostglue/plugin_kinds.h"

namespace {

using hostglue::PLUGIN_KINDS;
using Planes = std::vector<std::vector<float>>;
constexpr double RATE = 44100.0;

// One plug-in instance of either standard behind the same calls.
struct Instance {
    std::function<void(int, float*)> connect;
    std::function<void()> activate;
    std::function<void(unsigned long)> run;
    std::function<void()> cleanup;
};

void* openLibrary(const char* path) {
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    EXPECT_NE(library, nullptr) << dlerror();
    return library;
}

Instance ladspaInstance(int kind) {
    static void* library = openLibrary(QORTA_LADSPA_LIBRARY);
    auto descriptorOf = reinterpret_cast<LADSPA_Descriptor_Function>(dlsym(library, "ladspa_descriptor"));
    const LADSPA_Descriptor* d = descriptorOf(static_cast<unsigned long>(kind));
    EXPECT_EQ(d->UniqueID, PLUGIN_KINDS[kind].ladspaId);
    LADSPA_Handle handle = d->instantiate(d, static_cast<unsigned long>(RATE));
    return {[=](int port, float* data) { d->connect_port(handle, static_cast<unsigned long>(port), data); },
            [=] { d->activate(handle); }, [=](unsigned long frames) { d->run(handle, frames); },
            [=] { d->cleanup(handle); }};
}

Instance lv2Instance(int kind) {
    static void* library = openLibrary(QORTA_LV2_LIBRARY);
    auto descriptorOf = reinterpret_cast<LV2_Descriptor_Function>(dlsym(library, "lv2_descriptor"));
    const LV2_Descriptor* d = descriptorOf(static_cast<std::uint32_t>(kind));
    EXPECT_STREQ(d->URI, PLUGIN_KINDS[kind].lv2Uri);
    const LV2_Feature* none[] = {nullptr};
    LV2_Handle handle = d->instantiate(d, RATE, "", none);
    return {[=](int port, float* data) { d->connect_port(handle, static_cast<std::uint32_t>(port), data); },
            [=] { d->activate(handle); },
            [=](unsigned long frames) { d->run(handle, static_cast<std::uint32_t>(frames)); },
            [=] { d->cleanup(handle); }};
}

// How the host connects the audio buffers: separate inputs and outputs, each
// output on its own input, or (stereo) each output on the other channel's
// input.
enum class Wiring { Separate, InPlace, Crossed };

// Runs `input` through a fresh instance in host blocks of `block` frames,
// with effect 150, gain 90, quality 50 and DC removal on. `latencies`
// receives the latency port after each run.
Planes runPlugin(Instance instance, int kind, const Planes& input, std::size_t block, Wiring wiring,
                 std::vector<float>* latencies) {
    const hostglue::PortLayout layout = hostglue::portLayout(PLUGIN_KINDS[kind]);
    float effect = 150, gain = 90, quality = 50, dc = 1, latency = -1;
    Planes output = input, scratch = input;
    const std::size_t last = input.size() - 1;
    if (wiring == Wiring::Crossed) std::reverse(output.begin(), output.end());  // input ch in output[last - ch]
    instance.connect(layout.effect, &effect);
    instance.connect(layout.gain, &gain);
    instance.connect(layout.dcRemoval, &dc);
    if (layout.quality >= 0) instance.connect(layout.quality, &quality);
    if (layout.latency >= 0) instance.connect(layout.latency, &latency);
    instance.activate();
    for (std::size_t done = 0; done < input[0].size(); done += block) {
        const std::size_t frames = std::min(block, input[0].size() - done);
        for (std::size_t ch = 0; ch < input.size(); ++ch) {
            float* in = wiring == Wiring::Separate  ? scratch[ch].data() + done
                        : wiring == Wiring::InPlace ? output[ch].data() + done
                                                    : output[last - ch].data() + done;
            instance.connect(layout.audioIn[ch], in);
            instance.connect(layout.audioOut[ch], output[ch].data() + done);
        }
        instance.run(frames);
        latencies->push_back(latency);
    }
    quality = 100;  // a run of no frames still reports the latency of the new quality
    instance.run(0);
    latencies->push_back(latency);
    instance.cleanup();
    return output;
}

class PluginGlue : public ::testing::TestWithParam<int> {};

TEST_P(PluginGlue, LongHostBlocksInPlaceMatchShortSeparateBlocksInBothStandards) {
    const int kind = GetParam();
    const bool fir = PLUGIN_KINDS[kind].form == realtime::CorrectorForm::Fir;
    Planes input(static_cast<std::size_t>(PLUGIN_KINDS[kind].channels), std::vector<float>(20000));
    for (std::size_t ch = 0; ch < input.size(); ++ch)
        for (std::size_t i = 0; i < input[ch].size(); ++i)
            input[ch][i] = static_cast<float>(0.3 * std::sin(0.002 * i * (ch + 1)) + 0.05 * std::sin(0.3 * i) + 0.01);

    std::vector<float> longLatencies, shortLatencies, lv2Latencies;
    // 20000 frames in one host block: the glue cuts it into engine pieces.
    const Planes whole = runPlugin(ladspaInstance(kind), kind, input, 20000, Wiring::InPlace, &longLatencies);
    const Planes pieces = runPlugin(ladspaInstance(kind), kind, input, 1000, Wiring::Separate, &shortLatencies);
    const Planes lv2 = runPlugin(lv2Instance(kind), kind, input, 20000, Wiring::InPlace, &lv2Latencies);
    EXPECT_EQ(whole, pieces);
    EXPECT_EQ(whole, lv2);
    EXPECT_NE(whole, input);

    const float expected = fir ? 50 * RATE / 5000 : -1;  // no latency port on the IIR: left as it was
    EXPECT_EQ(longLatencies.front(), expected);
    EXPECT_EQ(shortLatencies.front(), expected);
    EXPECT_EQ(lv2Latencies.back(), fir ? 100 * RATE / 5000 : -1);
    EXPECT_EQ(longLatencies.back(), lv2Latencies.back());
}

// A careless host: stereo buffers connected crosswise, and an infinity and
// a NaN among the samples. The output is that of separate buffers with
// zeros in their place, in both standards, and the stream goes on as before
// (one infinity used to leave every later IIR output not a number).
TEST_P(PluginGlue, CrossedBuffersAndNonFiniteSamplesInBothStandards) {
    const int kind = GetParam();
    Planes input(static_cast<std::size_t>(PLUGIN_KINDS[kind].channels), std::vector<float>(30000));
    for (std::size_t ch = 0; ch < input.size(); ++ch)
        for (std::size_t i = 0; i < input[ch].size(); ++i)
            input[ch][i] = ch == 1 ? 0.0f : static_cast<float>(0.4 * std::sin(0.003 * i) + 0.05 * std::sin(0.7 * i));
    Planes hostile = input;
    hostile[0][1000] = std::numeric_limits<float>::infinity();
    hostile[input.size() - 1][2000] = std::numeric_limits<float>::quiet_NaN();
    input[0][1000] = input[input.size() - 1][2000] = 0.0f;
    std::vector<float> latencies;
    const Planes expected = runPlugin(ladspaInstance(kind), kind, input, 512, Wiring::Separate, &latencies);
    EXPECT_EQ(expected, runPlugin(ladspaInstance(kind), kind, hostile, 512, Wiring::Crossed, &latencies));
    EXPECT_EQ(expected, runPlugin(lv2Instance(kind), kind, hostile, 4000, Wiring::Crossed, &latencies));
}

INSTANTIATE_TEST_SUITE_P(Kinds, PluginGlue, ::testing::Values(0, 1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(PLUGIN_KINDS[info.param].ladspaLabel);
                         });

}  // namespace
