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


PortInfo portInfo(const PluginKind& kind, int index) {
    const PortLayout layout = portLayout(kind);
    const bool stereo = kind.channels == 2;
    for (int ch = 0; ch < kind.channels; ++ch) {
        if (index == layout.audioIn[ch])
            return {PortType::AudioIn, ch, stereo ? (ch == 0 ? "in_left" : "in_right") : "in",
                    stereo ? (ch == 0 ? "In Left" : "In Right") : "In",
                    stereo ? (ch == 0 ? "Input L" : "Input R") : "Input", 0, 0, 0, false, false, nullptr};
        if (index == layout.audioOut[ch])
            return {PortType::AudioOut, ch, stereo ? (ch == 0 ? "out_left" : "out_right") : "out",
                    stereo ? (ch == 0 ? "Out Left" : "Out Right") : "Out",
                    stereo ? (ch == 0 ? "Output L" : "Output R") : "Output", 0, 0, 0, false, false, nullptr};
    }
    if (index == layout.effect)
        return {PortType::Control, -1, "effect", "Effect", "Effect (%)", realtime::EFFECT_MIN, realtime::EFFECT_MAX,
                realtime::EFFECT_DEFAULT, false, false, "pc"};
    if (index == layout.gain)
        return {PortType::Control, -1, "gain", "Gain", "Gain (%)", realtime::GAIN_MIN, realtime::GAIN_MAX,
                realtime::GAIN_DEFAULT, false, false, "pc"};
    if (index == layout.quality)
        return {PortType::Control, -1, "quality", "Quality", "Quality", realtime::QUALITY_MIN, realtime::QUALITY_MAX,
                realtime::QUALITY_DEFAULT, true, false, nullptr};
    if (index == layout.dcRemoval)
        return {PortType::Control, -1, "dc_removal", "DC removal", "DC removal", 0, 1, realtime::DC_REMOVAL_DEFAULT,
                false, true, nullptr};
    if (index == layout.latency)
        return {PortType::Latency, -1, "latency", "Latency", "latency", 0, LATENCY_MAX, 0, true, false, "frame"};
    return {PortType::Control, -1, nullptr, nullptr, nullptr, 0, 0, 0, false, false, nullptr};
}

const char* kindComment(const PluginKind& kind) {
    return kind.form == realtime::CorrectorForm::Fir
               ? "Linear-phase bass corrector; delays by quality x rate / 5000 frames, reported as latency."
               : "Recursive bass corrector, two one-pole filters per channel; no latency.";
}

}  // namespace hostglue
