// The LV2 plug-ins: four descriptors (IIR and FIR, mono and stereo) over the
// streaming correctors. Everything is allocated in instantiate, where the
// sample rate is known; run reads the controls, processes the block (in
// place or not, any length) and writes the latency port.
#include <lv2/core/lv2.h>

#include <cstdint>
#include <new>

#include "hostglue/plugin_kinds.h"
#include "hostglue/stream_run.h"
#include "realtime/stream_corrector.h"

namespace {

using hostglue::PluginKind;
using hostglue::PortLayout;
constexpr int MAX_CH = realtime::STREAM_MAX_CHANNELS;

struct Instance {
    const PluginKind* kind = nullptr;
    PortLayout layout{};
    realtime::StreamCorrector* corrector = nullptr;
    const float* in[MAX_CH] = {nullptr, nullptr};
    float* out[MAX_CH] = {nullptr, nullptr};
    const float* effect = nullptr;
    const float* gain = nullptr;
    const float* quality = nullptr;
    const float* dcRemoval = nullptr;
    float* latency = nullptr;
};

// The kind whose descriptor is `descriptor` (the descriptors are an array in
// the kinds' order). Null for a descriptor that is not ours.
const PluginKind* kindOf(const LV2_Descriptor* descriptor);

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double sampleRate, const char*,
                       const LV2_Feature* const*) {
    const PluginKind* kind = kindOf(descriptor);
    if (!kind) return nullptr;
    Instance* instance = new (std::nothrow) Instance;
    if (!instance) return nullptr;
    instance->kind = kind;
    instance->layout = hostglue::portLayout(*kind);
    instance->corrector = realtime::createStreamCorrector(kind->form, kind->channels, sampleRate);
    if (!instance->corrector) {
        delete instance;
        return nullptr;
    }
    realtime::activateStreamCorrector(instance->corrector);
    return instance;
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    Instance* instance = static_cast<Instance*>(handle);
    const PortLayout& layout = instance->layout;
    const int index = static_cast<int>(port);
    for (int ch = 0; ch < MAX_CH; ++ch) {
        if (index == layout.audioIn[ch]) instance->in[ch] = static_cast<const float*>(data);
        if (index == layout.audioOut[ch]) instance->out[ch] = static_cast<float*>(data);
    }
    if (index == layout.effect) instance->effect = static_cast<const float*>(data);
    if (index == layout.gain) instance->gain = static_cast<const float*>(data);
    if (index == layout.quality) instance->quality = static_cast<const float*>(data);
    if (index == layout.dcRemoval) instance->dcRemoval = static_cast<const float*>(data);
    if (index == layout.latency) instance->latency = static_cast<float*>(data);
}

void activate(LV2_Handle handle) { realtime::activateStreamCorrector(static_cast<Instance*>(handle)->corrector); }

void run(LV2_Handle handle, std::uint32_t frames) {
    Instance* instance = static_cast<Instance*>(handle);
    for (int ch = 0; ch < instance->kind->channels; ++ch)
        if (!instance->in[ch] || !instance->out[ch]) return;
    const realtime::StreamControls controls =
        hostglue::readControls(instance->effect, instance->gain, instance->quality, instance->dcRemoval);
    const int channels = instance->kind->channels;
    const std::uint32_t latency =
        hostglue::runStream(instance->corrector, controls, channels, instance->in, instance->out, frames);
    if (instance->latency) *instance->latency = static_cast<float>(latency);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) {
    Instance* instance = static_cast<Instance*>(handle);
    realtime::destroyStreamCorrector(instance->corrector);
    delete instance;
}

const void* extensionData(const char*) { return nullptr; }

#define QORTA_LV2_DESCRIPTOR(i) \
    {hostglue::PLUGIN_KINDS[i].lv2Uri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData}

const LV2_Descriptor DESCRIPTORS[hostglue::PLUGIN_KIND_COUNT] = {
    QORTA_LV2_DESCRIPTOR(0), QORTA_LV2_DESCRIPTOR(1), QORTA_LV2_DESCRIPTOR(2), QORTA_LV2_DESCRIPTOR(3)};

const PluginKind* kindOf(const LV2_Descriptor* descriptor) {
    for (int i = 0; i < hostglue::PLUGIN_KIND_COUNT; ++i)
        if (descriptor == &DESCRIPTORS[i]) return &hostglue::PLUGIN_KINDS[i];
    return nullptr;
}

}  // namespace

// The library's one export: descriptor `index`, or null past the last.
LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index < static_cast<std::uint32_t>(hostglue::PLUGIN_KIND_COUNT) ? &DESCRIPTORS[index] : nullptr;
}
