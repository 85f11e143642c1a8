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
constexpr int MAX_PORTS = 2 * realtime::STREAM_MAX_CHANNELS + 5;

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

// The LADSPA default hint for `value`, one of those the standard can name
// (0, 1, 100 and 440); 0 (no default) for any other.
LADSPA_PortRangeHintDescriptor defaultHint(float value) {
    if (value == 0.0f) return LADSPA_HINT_DEFAULT_0;
    if (value == 1.0f) return LADSPA_HINT_DEFAULT_1;
    if (value == 100.0f) return LADSPA_HINT_DEFAULT_100;
    if (value == 440.0f) return LADSPA_HINT_DEFAULT_440;
    return 0;
}

// Fills the descriptor of `kind` and its port tables from the kind's port
// descriptions.
void describe(const PluginKind& kind, DescriptorTables& tables) {
    const PortLayout layout = hostglue::portLayout(kind);
    for (int index = 0; index < layout.count; ++index) {
        const hostglue::PortInfo port = hostglue::portInfo(kind, index);
        tables.names[index] = port.ladspaName;
        LADSPA_PortRangeHint& hint = tables.hints[index];
        hint = {0, 0.0f, 0.0f};
        switch (port.type) {
        case hostglue::PortType::AudioIn: tables.ports[index] = LADSPA_PORT_INPUT | LADSPA_PORT_AUDIO; break;
        case hostglue::PortType::AudioOut: tables.ports[index] = LADSPA_PORT_OUTPUT | LADSPA_PORT_AUDIO; break;
        case hostglue::PortType::Latency:
            tables.ports[index] = LADSPA_PORT_OUTPUT | LADSPA_PORT_CONTROL;
            hint.HintDescriptor = LADSPA_HINT_INTEGER;
            break;
        case hostglue::PortType::Control:
            tables.ports[index] = LADSPA_PORT_INPUT | LADSPA_PORT_CONTROL;
            if (port.toggled) {
                hint.HintDescriptor = LADSPA_HINT_TOGGLED | defaultHint(port.defaultValue);
                break;
            }
            hint = {LADSPA_HINT_BOUNDED_BELOW | LADSPA_HINT_BOUNDED_ABOVE | defaultHint(port.defaultValue) |
                        (port.integer ? LADSPA_HINT_INTEGER : 0),
                    port.minimum, port.maximum};
            break;
        }
    }

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
