#include "plugin/iir_filter.h"

#include "dsp/pcm_scale.h"
#include "plugin/frame_envelope.h"
#include "plugin/host_calls.h"

namespace plugin {

void startIirSave(IirFilterState& state) {
    dsp::reset(state.corrector);
    state.saving = 1;
}

void endIirSave(IirFilterState& state) { state.saving = 0; }

std::int64_t iirStrength(std::int32_t effect) { return static_cast<std::int64_t>(effect) * 25 / 100; }

void processIirFrame(IirFilterState& state, const FilterTable& filter, FrameAudioRecord& frame) {
    FileInfoRecord info = {};
    if (!queryFileInfo(filter, frame.editHandle, &info)) return;
    const std::int32_t* track = filter.trackValues;
    const std::int32_t n = frame.sampleCount;
    if (track == nullptr || !channelsSupported(frame) || n <= 0 || frame.audio == nullptr) return;

    const FrameFades fades =
        computeFades(frame.frame, frame.frameCount, track[IIR_TRACK_FADE_IN], track[IIR_TRACK_FADE_OUT]);
    const double gain = track[IIR_TRACK_GAIN];
    const double startFactor = gain * fades.outStart * fades.inStart * 0.01;
    const double endFactor = gain * fades.outEnd * fades.inEnd * 0.01;
    const std::int32_t effect = track[IIR_TRACK_EFFECT];
    const int channels = frame.channelCount;
    std::int16_t* audio = frame.audio;

    if (state.saving != 0 && effect != 0 && info.samplingRate > 0) {
        dsp::IirCorrector& corrector = state.corrector;
        dsp::configure(corrector, info.samplingRate, static_cast<double>(iirStrength(effect)));
        for (std::int32_t i = 0; i < n; ++i) {
            const double ramp = rampFactor(startFactor, endFactor, i, n);
            std::int16_t* sample = audio + static_cast<std::int64_t>(i) * channels;
            for (int ch = 0; ch < channels; ++ch) {
                const double u = dsp::process(corrector, ch, sample[ch] * dsp::PCM16_IN);
                sample[ch] = dsp::saturatePcm16(u * ramp * dsp::PCM16_OUT);
            }
        }
        return;
    }
    // Preview: gain and fades only. The ramp already holds gain x fades x
    // 0.01, so each sample takes one product, v = x x ramp. The FIR preview
    // computes ((gain x x) x ramp) x 0.01 with a fades-only ramp instead;
    // the two orders round differently, and each plug-in keeps its own.
    for (std::int32_t i = 0; i < n; ++i) {
        const double ramp = rampFactor(startFactor, endFactor, i, n);
        std::int16_t* sample = audio + static_cast<std::int64_t>(i) * channels;
        for (int ch = 0; ch < channels; ++ch) sample[ch] = dsp::saturatePcm16(sample[ch] * ramp);
    }
}

}  // namespace plugin
