// One instance of a real-time plug-in as both host standards see it: the
// streaming corrector of its kind and the buffers the host connected to its
// ports. The LV2 and LADSPA entry points forward to these functions.
#ifndef QORTA_HOSTGLUE_PLUGIN_INSTANCE_H
#define QORTA_HOSTGLUE_PLUGIN_INSTANCE_H

#include <cstdint>

#include "hostglue/plugin_kinds.h"
#include "realtime/stream_corrector.h"

namespace hostglue {

struct PluginInstance {
    const PluginKind* kind = nullptr;
    PortLayout layout{};
    realtime::StreamCorrector* corrector = nullptr;
    const float* in[realtime::STREAM_MAX_CHANNELS] = {nullptr, nullptr};
    float* out[realtime::STREAM_MAX_CHANNELS] = {nullptr, nullptr};
    const float* effect = nullptr;  // control ports; a port left unconnected keeps its default
    const float* gain = nullptr;
    const float* quality = nullptr;
    const float* dcRemoval = nullptr;
    float* latency = nullptr;  // output control port of the FIR kinds
};

// Creates an instance of `kind` at `sampleRate` with everything it will
// need allocated, and activates it (hosts that never call activate still
// start from a cleared state). Returns null when the rate is out of range
// or memory cannot be had.
PluginInstance* createPluginInstance(const PluginKind& kind, double sampleRate);

// Connects port `index` of the kind's layout to `data`; an index the kind
// does not have is ignored.
void connectPluginPort(PluginInstance* instance, long index, void* data);

// Starts afresh, as after creation.
void activatePluginInstance(PluginInstance* instance);

// Processes `frames` frames (any count) from the input ports to the output
// ports (the same buffers or separate ones) with the controls the ports
// hold now, then writes the latency port. Does nothing while an audio port
// of the kind is unconnected. With 0 frames the controls are still taken,
// so that the latency follows them. Allocates nothing.
void runPluginInstance(PluginInstance* instance, std::uint64_t frames);

// Frees the instance; null is allowed.
void destroyPluginInstance(PluginInstance* instance);

}  // namespace hostglue

#endif
