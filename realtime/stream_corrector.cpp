#include "realtime/stream_corrector.h"

#include <cmath>
#include <new>

#include "realtime/stream_state.h"

namespace realtime {

StreamCorrector* createStreamCorrector(CorrectorForm form, int channels, double sampleRate) {
    if (form != CorrectorForm::Iir && form != CorrectorForm::Fir) return nullptr;
    if (channels < 1 || channels > STREAM_MAX_CHANNELS) return nullptr;
    if (!(sampleRate >= 1.0 && sampleRate <= 1e6)) return nullptr;  // also refuses NaN
    auto* corrector = new (std::nothrow) StreamCorrector;
    if (corrector == nullptr) return nullptr;
    corrector->form = form;
    corrector->channels = channels;
    corrector->sampleRate = sampleRate;
    corrector->glideSamples = glideLength(sampleRate);
    if (form == CorrectorForm::Fir && !allocateFirStream(corrector->fir, sampleRate)) {
        delete corrector;
        return nullptr;
    }
    activateStreamCorrector(corrector);
    return corrector;
}

void destroyStreamCorrector(StreamCorrector* corrector) {
    if (corrector == nullptr) return;
    delete corrector;
}

void activateStreamCorrector(StreamCorrector* corrector) {
    corrector->fresh = true;
    configureDcBlocker(corrector->dc, corrector->sampleRate);
    if (corrector->form == CorrectorForm::Iir)
        startIirStream(corrector->iir, corrector->sampleRate, corrector->applied);
    else
        startFirStream(corrector->fir, corrector->applied);
}

void processStream(StreamCorrector* corrector, const StreamControls& controls, const float* const* in,
                   float* const* out, std::uint32_t frames) {
    const ControlValues values = sanitizeControls(controls);
    const bool atOnce = corrector->fresh;
    corrector->fresh = false;
    corrector->applied = values;
    const bool iir = corrector->form == CorrectorForm::Iir;
    if (iir)
        setIirControls(corrector->iir, values, atOnce, corrector->glideSamples);
    else
        setFirControls(corrector->fir, values, atOnce, corrector->glideSamples);
    // Longer blocks than promised are served in pieces rather than refused.
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t piece = frames - done < STREAM_MAX_BLOCK ? frames - done : STREAM_MAX_BLOCK;
        const float* pieceIn[STREAM_MAX_CHANNELS];
        float* pieceOut[STREAM_MAX_CHANNELS];
        for (int ch = 0; ch < corrector->channels; ++ch) {
            pieceIn[ch] = in[ch] + done;
            pieceOut[ch] = out[ch] + done;
        }
        if (iir)
            processIirStream(corrector->iir, corrector->dc, values.dcRemoval, corrector->channels, pieceIn, pieceOut,
                             piece);
        else
            processFirStream(corrector->fir, corrector->dc, values.dcRemoval, corrector->channels, pieceIn, pieceOut,
                             piece);
        done += piece;
    }
}

std::uint32_t streamLatency(const StreamCorrector* corrector) {
    if (corrector->form == CorrectorForm::Iir) return 0;
    return static_cast<std::uint32_t>(corrector->fir.halfLength);
}

}  // namespace realtime
