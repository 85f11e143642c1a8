// The four real-time plug-ins every host standard offers, and the port
// layout they share: which corrector, how many channels, and where each port
// sits. The LV2 descriptions and the LADSPA descriptors follow this order,
// so LADSPA hosts that name controls by position (c0, c1, ... or 0, 1, ...)
// see Effect, Gain, [Quality,] DC removal in that order.
#ifndef QORTA_HOSTGLUE_PLUGIN_KINDS_H
#define QORTA_HOSTGLUE_PLUGIN_KINDS_H

#include <cstdint>

#include "realtime/stream_corrector.h"

namespace hostglue {

struct PluginKind {
    realtime::CorrectorForm form;
    int channels;             // 1 or 2
    const char* lv2Uri;       // stable: hosts store it in their sessions
    unsigned long ladspaId;   // stable, below 0x1000000
    const char* ladspaLabel;  // stable, no white space
    const char* name;         // shown to users
};

constexpr int PLUGIN_KIND_COUNT = 4;

// IIR mono, IIR stereo, FIR mono, FIR stereo, in this order (the LV2
// descriptor index and the LADSPA descriptor index). The LADSPA IDs lie far
// above the small numbers most plug-in collections took; each label names
// its corrector and channel count.
inline constexpr PluginKind PLUGIN_KINDS[PLUGIN_KIND_COUNT] = {
    {realtime::CorrectorForm::Iir, 1, "urn:qorta:iir-mono", 7306201, "qortaiir_mono",
     "qorta IIR bass corrector (mono)"},
    {realtime::CorrectorForm::Iir, 2, "urn:qorta:iir-stereo", 7306202, "qortaiir_stereo",
     "qorta IIR bass corrector (stereo)"},
    {realtime::CorrectorForm::Fir, 1, "urn:qorta:fir-mono", 7306203, "qortafir_mono",
     "qorta FIR bass corrector (mono)"},
    {realtime::CorrectorForm::Fir, 2, "urn:qorta:fir-stereo", 7306204, "qortafir_stereo",
     "qorta FIR bass corrector (stereo)"},
};

// Port indices of one plug-in kind. Audio ports come first (inputs, then
// outputs, left before right), then the input controls, then the latency
// output of the FIR kinds. A port the kind lacks has index -1.
struct PortLayout {
    int audioIn[realtime::STREAM_MAX_CHANNELS];
    int audioOut[realtime::STREAM_MAX_CHANNELS];
    int effect;
    int gain;
    int quality;    // FIR only
    int dcRemoval;
    int latency;    // FIR only
    int count;      // number of ports
};

// The layout for `kind`. No failure path.
PortLayout portLayout(const PluginKind& kind);

// The description of one port as both standards give it to hosts: the LV2
// description (lv2/qorta.ttl, written from this at build time) and the
// LADSPA descriptors are made from it.
enum class PortType { AudioIn, AudioOut, Control, Latency };
struct PortInfo {
    PortType type;
    int channel;             // audio ports: 0 (mono or left) or 1 (right); -1 for the others
    const char* symbol;      // LV2 symbol, stable: hosts store it
    const char* name;        // LV2 name
    const char* ladspaName;  // LADSPA port name
    float minimum, maximum, defaultValue;  // controls; the latency port has a range but no default
    bool integer, toggled;
    const char* unit;  // LV2 unit (units:pc, units:frame) or null
};

// The largest latency any kind reports: quality 300 at 1,000,000 Hz.
constexpr float LATENCY_MAX = 60000.0f;

// Port `index` (0 .. portLayout(kind).count - 1) of `kind`; an index out of
// range gives a port of type Control with null names.
PortInfo portInfo(const PluginKind& kind, int index);

// The rdfs:comment of the kind's LV2 description.
const char* kindComment(const PluginKind& kind);

}  // namespace hostglue

#endif
