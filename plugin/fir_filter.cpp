#include "plugin/fir_filter.h"

#include <algorithm>
#include <cstdint>

#include "dsp/fir_corrector.h"
#include "dsp/fir_fast.h"
#include "dsp/pcm_scale.h"
#include "plugin/fir_window.h"
#include "plugin/frame_envelope.h"
#include "plugin/host_calls.h"

namespace plugin {
namespace {

// Output samples convolved per channel at a time, into buffers on the stack.
constexpr std::int32_t RUN_SAMPLES = 512;

// The kernel's sums for `count` samples of one channel from window position
// `centre` on, ramps[j] being the envelope of sample j. With the fast form,
// the samples whose 16-bit value the fast sum leaves open are computed
// exactly: (sum x ramp) x 32768 is evaluated at both ends of the error
// bound, and only where both truncate to the same integer is that integer
// certain (see dsp/fir_fast.h).
void channelSums(const FirState& state, const double* window, std::ptrdiff_t centre, std::int32_t count,
                 const double* ramps, double* sums) {
    const dsp::FirCorrector corrector = {state.halfLength, state.kernel};
    const auto length = static_cast<std::size_t>(count);
    if (!state.fastUsable) {
        dsp::convolveRun(corrector, window, centre, length, sums);
        return;
    }
    dsp::fastConvolveRun(state.fast, window, centre, length, sums, nullptr);
    const double bound = state.fast.errorBound;
    double low[RUN_SAMPLES], high[RUN_SAMPLES];
    for (std::size_t j = 0; j < length; ++j) {
        low[j] = ((sums[j] - bound) * ramps[j]) * dsp::PCM16_OUT;
        high[j] = ((sums[j] + bound) * ramps[j]) * dsp::PCM16_OUT;
    }
    dsp::settleRun(corrector, window, centre, length, low, high, sums);
}

void correctFrame(FirState& state, const FilterTable& filter, FrameAudioRecord& frame, double startFactor,
                  double endFactor) {
    gatherWindows(state, filter.hostServices, frame);
    const std::int32_t n = frame.sampleCount;
    const int channels = frame.channelCount;
    double sums[dsp::MAX_CHANNELS][RUN_SAMPLES];
    double ramps[RUN_SAMPLES];
    for (std::int64_t first = 0; first < n; first += RUN_SAMPLES) {
        const auto count = static_cast<std::int32_t>(std::min<std::int64_t>(RUN_SAMPLES, n - first));
        for (std::int32_t j = 0; j < count; ++j)
            ramps[j] = rampFactor(startFactor, endFactor, static_cast<std::int32_t>(first + j), n);
        for (int ch = 0; ch < channels; ++ch)
            channelSums(state, state.channelWindow[ch], static_cast<std::ptrdiff_t>(state.halfLength + first), count,
                        ramps, sums[ch]);
        for (std::int32_t j = 0; j < count; ++j) {
            std::int16_t* sample = frame.audio + (first + j) * channels;
            for (int ch = 0; ch < channels; ++ch)
                sample[ch] = dsp::saturatePcm16(sums[ch][j] * ramps[j] * dsp::PCM16_OUT);
        }
    }
}

// Gain and fades only: v = ((gain x x) x ramp) x 0.01, with a ramp of the
// fades alone. The IIR preview folds gain and 0.01 into its ramp and
// computes v = x x ramp; the two orders round differently, and each
// plug-in keeps its own.
void previewFrame(FrameAudioRecord& frame, double gain, double startFactor, double endFactor) {
    const std::int32_t n = frame.sampleCount;
    const int channels = frame.channelCount;
    for (std::int32_t i = 0; i < n; ++i) {
        const double ramp = rampFactor(startFactor, endFactor, i, n);
        std::int16_t* sample = frame.audio + static_cast<std::int64_t>(i) * channels;
        for (int ch = 0; ch < channels; ++ch) sample[ch] = dsp::saturatePcm16(gain * sample[ch] * ramp * 0.01);
    }
}

}  // namespace

void startFirSave(FirState& state, const FilterTable& filter, void* editHandle, AllocateFunction allocate) {
    FileInfoRecord info = {};
    if (!queryFileInfo(filter, editHandle, &info) || filter.trackValues == nullptr) return;
    const std::int32_t* track = filter.trackValues;
    buildFirState(state, track[FIR_TRACK_QUALITY], track[FIR_TRACK_EFFECT], track[FIR_TRACK_GAIN],
                  info.samplingRate, allocate);
}

void processFirFrame(FirState& state, const FilterTable& filter, FrameAudioRecord& frame) {
    FileInfoRecord info = {};
    if (!queryFileInfo(filter, frame.editHandle, &info)) return;
    const std::int32_t* track = filter.trackValues;
    if (track == nullptr || !channelsSupported(frame) || frame.sampleCount <= 0 || frame.audio == nullptr) return;

    const FrameFades fades =
        computeFades(frame.frame, frame.frameCount, track[FIR_TRACK_FADE_IN], track[FIR_TRACK_FADE_OUT]);
    const double startFactor = fades.outStart * fades.inStart;
    const double endFactor = fades.outEnd * fades.inEnd;
    if (state.halfLength != 0 && track[FIR_TRACK_EFFECT] != 0) {
        if (frame.sampleCount <= state.capacity) correctFrame(state, filter, frame, startFactor, endFactor);
        return;
    }
    previewFrame(frame, static_cast<double>(track[FIR_TRACK_GAIN]), startFactor, endFactor);
}

}  // namespace plugin
