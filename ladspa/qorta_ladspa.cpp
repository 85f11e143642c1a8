// The LADSPA plug-ins: four descriptors (IIR and FIR, mono and stereo) over
// the streaming correctors, in one library. Everything is allocated in
// instantiate, where the sample rate is known; run reads the controls,
// processes the block (in place or not, any length) and writes the output
// control port named "latency", which hosts read to compensate the delay.
#include <ladspa.h>

#include "hostglue/plugin_instance.h"
#include "hostglue/plugin_kinds.h"
#include "realtime/stream_corrector.h"

namespace {

using hostglue::PluginInstance;
using hostglue::PluginKind;
using hostglue::PortLayout;
constexpr int MAX_CH = realtime::STREAM_MAX_CHANNELS;
constexpr int MAX_PORTS = 2 * MAX_CH + 5;

// One descriptor with the port tables it points into.
struct DescriptorTables {
    LADSPA_Descriptor descriptor{};
    LADSPA_PortDescriptor ports[MAX_PORTS] = {};
    const char* names[MAX_PORTS] = {};
    LADSPA_PortRangeHint hints[MAX_PORTS] = {};
};

LADSPA_Handle instantiate(const LADSPA_Descriptor* descriptor, unsigned long sampleRate) {
    for (const PluginKind& kind : hostglue::PLUGIN_KINDS)
        if (descriptor->UniqueID == kind.ladspaId)
            return hostglue::createPluginInstance(kind, static_cast<double>(sampleRate));
    return nullptr;
}

void connectPort(LADSPA_Handle handle, unsigned long port, LADSPA_Data* data) {
    hostglue::connectPluginPort(static_cast<PluginInstance*>(handle), static_cast<long>(port), data);
}

void activate(LADSPA_Handle handle) { hostglue::activatePluginInstance(static_cast<PluginInstance*>(handle)); }

void run(LADSPA_Handle handle, unsigned long frames) {
    hostglue::runPluginInstance(static_cast<PluginInstance*>(handle), frames);
}

void cleanup(LADSPA_Handle handle) { hostglue::destroyPluginInstance(static_cast<PluginInstance*>(handle)); }

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
