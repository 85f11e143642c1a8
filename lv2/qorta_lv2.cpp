// The LV2 plug-ins: four descriptors (IIR and FIR, mono and stereo) over the
// streaming correctors. Everything is allocated in instantiate, where the
// sample rate is known; run reads the controls, processes the block (in
// place or not, any length) and writes the latency port.
#include <lv2/core/lv2.h>

#include <cstdint>

#include "hostglue/plugin_instance.h"
#include "hostglue/plugin_kinds.h"

namespace {

using hostglue::PluginInstance;
using hostglue::PluginKind;

// The kind whose descriptor is `descriptor` (the descriptors are an array in
// the kinds' order). Null for a descriptor that is not ours.
const PluginKind* kindOf(const LV2_Descriptor* descriptor);

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double sampleRate, const char*,
                       const LV2_Feature* const*) {
    const PluginKind* kind = kindOf(descriptor);
    return kind ? hostglue::createPluginInstance(*kind, sampleRate) : nullptr;
}

void connectPort(LV2_Handle handle, std::uint32_t port, void* data) {
    hostglue::connectPluginPort(static_cast<PluginInstance*>(handle), static_cast<long>(port), data);
}

void activate(LV2_Handle handle) { hostglue::activatePluginInstance(static_cast<PluginInstance*>(handle)); }

void run(LV2_Handle handle, std::uint32_t frames) {
    hostglue::runPluginInstance(static_cast<PluginInstance*>(handle), frames);
}

void deactivate(LV2_Handle) {}

void cleanup(LV2_Handle handle) { hostglue::destroyPluginInstance(static_cast<PluginInstance*>(handle)); }

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
