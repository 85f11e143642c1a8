#include "hostglue/plugin_instance.h"

#include <new>

namespace hostglue {

namespace {

// The controls for one call, as the ports hold them.
realtime::StreamControls readControls(const PluginInstance& instance) {
    realtime::StreamControls controls;
    if (instance.effect) controls.effect = *instance.effect;
    if (instance.gain) controls.gain = *instance.gain;
    if (instance.quality) controls.quality = *instance.quality;
    if (instance.dcRemoval) controls.dcRemoval = *instance.dcRemoval;
    return controls;
}

}  // namespace

PluginInstance* createPluginInstance(const PluginKind& kind, double sampleRate) {
    auto* instance = new (std::nothrow) PluginInstance;
    if (!instance) return nullptr;
    instance->kind = &kind;
    instance->layout = portLayout(kind);
    instance->corrector = realtime::createStreamCorrector(kind.form, kind.channels, sampleRate);
    if (!instance->corrector) {
        delete instance;
        return nullptr;
    }
    realtime::activateStreamCorrector(instance->corrector);
    return instance;
}

void connectPluginPort(PluginInstance* instance, long index, void* data) {
    const PortLayout& layout = instance->layout;
    for (int ch = 0; ch < realtime::STREAM_MAX_CHANNELS; ++ch) {
        if (index == layout.audioIn[ch]) instance->in[ch] = static_cast<const float*>(data);
        if (index == layout.audioOut[ch]) instance->out[ch] = static_cast<float*>(data);
    }
    if (index == layout.effect) instance->effect = static_cast<const float*>(data);
    if (index == layout.gain) instance->gain = static_cast<const float*>(data);
    if (index == layout.quality) instance->quality = static_cast<const float*>(data);
    if (index == layout.dcRemoval) instance->dcRemoval = static_cast<const float*>(data);
    if (index == layout.latency) instance->latency = static_cast<float*>(data);
}

void activatePluginInstance(PluginInstance* instance) { realtime::activateStreamCorrector(instance->corrector); }

void runPluginInstance(PluginInstance* instance, std::uint64_t frames) {
    const int channels = instance->kind->channels;
    for (int ch = 0; ch < channels; ++ch)
        if (!instance->in[ch] || !instance->out[ch]) return;
    realtime::processStream(instance->corrector, readControls(*instance), instance->in, instance->out, frames);
    if (instance->latency) *instance->latency = static_cast<float>(realtime::streamLatency(instance->corrector));
}

void destroyPluginInstance(PluginInstance* instance) {
    if (!instance) return;
    realtime::destroyStreamCorrector(instance->corrector);
    delete instance;
}

}  // namespace hostglue
