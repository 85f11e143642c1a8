// The LADSPA plug-ins: four descriptors (IIR and FIR, mono and stereo) over
// the streaming correctors, in one library. Everything is allocated in
// instantiate, where the sample rate is known; run reads the controls,
// processes the block (in place or not, any length) and writes the output
// control port named "latency", which hosts read to compensate the delay.
#include <ladspa.h>

#include <cstdint>
#include <new>

#include "hostglue/plugin_kinds.h"
#include "hostglue/stream_run.h"
#include "realtime/stream_corrector.h"

namespace {

using hostglue::PluginKind;
using hostglue::PortLayout;
constexpr int MAX_CH = realtime::STREAM_MAX_CHANNELS;
constexpr int MAX_PORTS = 2 * MAX_CH + 5;

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

// One descriptor with the port tables it points into.
struct DescriptorTables {
    LADSPA_Descriptor descriptor{};
    LADSPA_PortDescriptor ports[MAX_PORTS] = {};
    const char* names[MAX_PORTS] = {};
    LADSPA_PortRangeHint hints[MAX_PORTS] = {};
};

const PluginKind* kindOf(const LADSPA_Descriptor* descriptor) {
    for (int i = 0; i < hostglue::PLUGIN_KIND_COUNT; ++i)
        if (descriptor->UniqueID == hostglue::PLUGIN_KINDS[i].ladspaId) return &hostglue::PLUGIN_KINDS[i];
    return nullptr;
}

LADSPA_Handle instantiate(const LADSPA_Descriptor* descriptor, unsigned long sampleRate) {
    const PluginKind* kind = kindOf(descriptor);
    if (!kind) return nullptr;
    Instance* instance = new (std::nothrow) Instance;
    if (!instance) return nullptr;
    instance->kind = kind;
    instance->layout = hostglue::portLayout(*kind);
    instance->corrector =
        realtime::createStreamCorrector(kind->form, kind->channels, static_cast<double>(sampleRate));
    if (!instance->corrector) {
        delete instance;
        return nullptr;
    }
    // Hosts that never call activate still start from a cleared state.
    realtime::activateStreamCorrector(instance->corrector);
    return instance;
}

void connectPort(LADSPA_Handle handle, unsigned long port, LADSPA_Data* data) {
    Instance* instance = static_cast<Instance*>(handle);
    const PortLayout& layout = instance->layout;
    const long index = static_cast<long>(port);
    for (int ch = 0; ch < MAX_CH; ++ch) {
        if (index == layout.audioIn[ch]) instance->in[ch] = data;
        if (index == layout.audioOut[ch]) instance->out[ch] = data;
    }
    if (index == layout.effect) instance->effect = data;
    if (index == layout.gain) instance->gain = data;
    if (index == layout.quality) instance->quality = data;
    if (index == layout.dcRemoval) instance->dcRemoval = data;
    if (index == layout.latency) instance->latency = data;
}

void activate(LADSPA_Handle handle) { realtime::activateStreamCorrector(static_cast<Instance*>(handle)->corrector); }

void run(LADSPA_Handle handle, unsigned long frames) {
    Instance* instance = static_cast<Instance*>(handle);
    for (int ch = 0; ch < instance->kind->channels; ++ch)
        if (!instance->in[ch] || !instance->out[ch]) return;
    const realtime::StreamControls controls =
        hostglue::readControls(instance->effect, instance->gain, instance->quality, instance->dcRemoval);
    const int channels = instance->kind->channels;
    const std::uint32_t latency =
        hostglue::runStream(instance->corrector, controls, channels, instance->in, instance->out, frames);
    if (instance->latency) *instance->latency = static_cast<LADSPA_Data>(latency);
}

void cleanup(LADSPA_Handle handle) {
    Instance* instance = static_cast<Instance*>(handle);
    realtime::destroyStreamCorrector(instance->corrector);
    delete instance;
}

// Sets port `index` of `tables` when the kind has it (index >= 0).
void describePort(DescriptorTables& tables, int index, LADSPA_PortDescriptor type, const char* name,
                  LADSPA_PortRangeHintDescriptor hint, float lower, float upper) {
    if (index < 0) return;
    tables.ports[index] = type;
    tables.names[index] = name;
    tables.hints[index] = {hint, lower, upper};
}

// Fills the descriptor of `kind` and its port tables.
void describe(const PluginKind& kind, DescriptorTables& tables) {
    const PortLayout layout = hostglue::portLayout(kind);
    const bool stereo = kind.channels == 2;
    const char* inNames[MAX_CH] = {stereo ? "Input L" : "Input", "Input R"};
    const char* outNames[MAX_CH] = {stereo ? "Output L" : "Output", "Output R"};
    for (int ch = 0; ch < kind.channels; ++ch) {
        describePort(tables, layout.audioIn[ch], LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO, inNames[ch], 0, 0, 0);
        describePort(tables, layout.audioOut[ch], LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO, outNames[ch], 0, 0, 0);
    }
    const int control = LADSPA_PORT_INPUT | LADSPA_PORT_CONTROL;
    const int bounded = LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE;
    describePort(tables, layout.effect, control, "Effect (%)", bounded | LADSPA_HINT_DEFAULT_100,
                 realtime::EFFECT_MIN, realtime::EFFECT_MAX);
    describePort(tables, layout.gain, control, "Gain (%)", bounded | LADSPA_HINT_DEFAULT_100,
                 realtime::GAIN_MIN, realtime::GAIN_MAX);
    describePort(tables, layout.quality, control, "Quality", bounded | LADSPA_HINT_INTEGER | LADSPA_HINT_DEFAULT_100,
                 realtime::QUALITY_MIN, realtime::QUALITY_MAX);
    describePort(tables, layout.dcRemoval, control, "DC removal", LADSPA_HINT_TOGGLED | LADSPA_HINT_DEFAULT_1, 0, 0);
    describePort(tables, layout.latency, LADSPA_PORT_OUTPUT | LADSPA_PORT_CONTROL, "latency", LADSPA_HINT_INTEGER, 0,
                 0);

    LADSPA_Descriptor& d = tables.descriptor;
    d.UniqueID = kind.ladspaId;
    d.Label = kind.ladspaLabel;
    d.Properties = LADSPA_PROPERTY_HARD_RT_CAPABLE;
    d.Name = kind.name;
    d.Maker = "qorta";
    d.Copyright = "None";
    d.PortCount = static_cast<unsigned long>(layout.count);
    d.PortDescriptors = tables.ports;
    d.PortNames = tables.names;
    d.PortRangeHints = tables.hints;
    d.instantiate = instantiate;
    d.connect_port = connectPort;
    d.activate = activate;
    d.run = run;
    d.cleanup = cleanup;
}

struct AllDescriptors {
    DescriptorTables tables[hostglue::PLUGIN_KIND_COUNT];
    AllDescriptors() {
        for (int i = 0; i < hostglue::PLUGIN_KIND_COUNT; ++i) describe(hostglue::PLUGIN_KINDS[i], tables[i]);
    }
};

}  // namespace

// The library's one export: descriptor `index`, or null past the last.
extern "C" __attribute__((visibility("default"))) const LADSPA_Descriptor* ladspa_descriptor(unsigned long index) {
    static const AllDescriptors all;  // built on the first call, thread-safe
    return index < static_cast<unsigned long>(hostglue::PLUGIN_KIND_COUNT) ? &all.tables[index].descriptor : nullptr;
}
