#include "realtime/stream_iir.h"

#include "dsp/strength.h"
#include "realtime/state_floor.h"

namespace realtime {

void startIirStream(IirStream& stream, double sampleRate, const ControlValues& values) {
    stream.sampleRate = sampleRate;
    const double strength = dsp::strengthFromEffect(values.effect);
    dsp::configure(stream.corrector, sampleRate, strength);
    dsp::reset(stream.corrector);
    jumpTo(stream.strength, strength);
    jumpTo(stream.outputScale, values.gain * 0.01);
}

void setIirControls(IirStream& stream, const ControlValues& values, bool atOnce, std::uint32_t glideSamples) {
    const double strength = dsp::strengthFromEffect(values.effect);
    const double scale = values.gain * 0.01;
    if (atOnce) {
        jumpTo(stream.strength, strength);
        jumpTo(stream.outputScale, scale);
        dsp::setStrength(stream.corrector, strength);
        return;
    }
    if (strength != stream.strength.target) glideTo(stream.strength, strength, glideSamples);
    if (scale != stream.outputScale.target) glideTo(stream.outputScale, scale, glideSamples);
}

namespace {

// One frame through every channel at the present coefficients.
inline void processFrame(IirStream& stream, DcBlocker& dc, bool dcRemoval, int channels, const float* const* in,
                         float* const* out, std::uint32_t i, double scale) {
    dsp::IirCorrector& corrector = stream.corrector;
    for (int ch = 0; ch < channels; ++ch) {
        const double x = in[ch][i];
        // The DC filter runs also while it is switched off, so that switching
        // it on finds it settled.
        const double withoutDc = removeDc(dc, ch, x);
        const double y = dsp::process(corrector, ch, dcRemoval ? withoutDc : x);
        flushTiny(corrector.bassState[ch]);
        flushTiny(corrector.highPassState[ch]);
        out[ch][i] = toOutput(y * scale);
    }
}

}  // namespace

void processIirStream(IirStream& stream, DcBlocker& dc, bool dcRemoval, int channels, const float* const* in,
                      float* const* out, std::uint32_t frames) {
    std::uint32_t i = 0;
    // While a glide runs, the bass gain and the output scale move every frame.
    for (; i < frames && (gliding(stream.strength) || gliding(stream.outputScale)); ++i) {
        dsp::setStrength(stream.corrector, advance(stream.strength));
        processFrame(stream, dc, dcRemoval, channels, in, out, i, advance(stream.outputScale));
    }
    const double scale = stream.outputScale.value;
    for (; i < frames; ++i) processFrame(stream, dc, dcRemoval, channels, in, out, i, scale);
}

}  // namespace realtime
