#include "hostglue/plugin_instance.h"

#include <algorithm>
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
    const realtime::StreamControls controls = readControls(*instance);
    std::uint64_t done = 0;
    do {
        const auto piece =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(frames - done, realtime::STREAM_MAX_BLOCK));
        const float* pieceIn[realtime::STREAM_MAX_CHANNELS] = {nullptr, nullptr};
        float* pieceOut[realtime::STREAM_MAX_CHANNELS] = {nullptr, nullptr};
        for (int ch = 0; ch < channels; ++ch) {
            pieceIn[ch] = instance->in[ch] + done;
            pieceOut[ch] = instance->out[ch] + done;
        }
        realtime::processStream(instance->corrector, controls, pieceIn, pieceOut, piece);
        done += piece;
    } while (done < frames);
    if (instance->latency) *instance->latency = static_cast<float>(realtime::streamLatency(instance->corrector));
}

void destroyPluginInstance(PluginInstance* instance) {
    if (!instance) return;
    realtime::destroyStreamCorrector(instance->corrector);
    delete instance;
}

}  // namespace hostglue
