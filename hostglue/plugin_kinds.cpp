#include "hostglue/plugin_kinds.h"

namespace hostglue {

PortLayout portLayout(const PluginKind& kind) {
    PortLayout layout{};
    int next = 0;
    for (int ch = 0; ch < realtime::STREAM_MAX_CHANNELS; ++ch) layout.audioIn[ch] = ch < kind.channels ? next++ : -1;
    for (int ch = 0; ch < realtime::STREAM_MAX_CHANNELS; ++ch) layout.audioOut[ch] = ch < kind.channels ? next++ : -1;
    const bool fir = kind.form == realtime::CorrectorForm::Fir;
    layout.effect = next++;
    layout.gain = next++;
    layout.quality = fir ? next++ : -1;
    layout.dcRemoval = next++;
    layout.latency = fir ? next++ : -1;
    layout.count = next;
    return layout;
}

}  // namespace hostglue
