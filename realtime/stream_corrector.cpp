#include "realtime/stream_corrector.h"

#include <cfloat>
#include <cmath>
#include <cstring>
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

namespace {

// The controls are compared as bytes: four floats, no padding.
static_assert(sizeof(StreamControls) == 4 * sizeof(float), "StreamControls holds four floats");

// Runs one piece of at most STREAM_MAX_BLOCK frames through the form's
// processing. A non-finite input sample enters as 0.0, so that no state
// ever holds one, and every input frame is read before the output frame of
// the same index is written, so that any connection of the host's buffers
// (in place, crossed, shared inputs) gives the same samples. The FIR reads
// the host's samples itself, as it stores them in its delay line; it writes
// outputs only after it has read the inputs of the same frames. The IIR,
// which writes each output as it reads the next input, reads a copy made
// first. Afterwards every output beyond the float range is set to the
// largest finite float of its sign, and every output below the smallest
// normal float (or not a number) to 0.0.
inline void processPiece(StreamCorrector* corrector, const float* const* in, float* const* out, std::uint32_t frames) {
    const int channels = corrector->channels;
    const bool dcRemoval = corrector->applied.dcRemoval;
    if (corrector->form == CorrectorForm::Iir) {
        const float* copy[STREAM_MAX_CHANNELS];
        for (int ch = 0; ch < channels; ++ch) {
            const float* from = in[ch];
            float* to = corrector->input[ch];
            for (std::uint32_t i = 0; i < frames; ++i) to[i] = finiteOrZero(from[i]);
            copy[ch] = to;
        }
        processIirStream(corrector->iir, corrector->dc, dcRemoval, channels, copy, out, frames);
    } else {
        corrector->fir.functions.process(corrector->fir, corrector->dc, dcRemoval, channels, in, out, frames);
    }
    for (int ch = 0; ch < channels; ++ch) {
        float* samples = out[ch];
        for (std::uint32_t i = 0; i < frames; ++i) {
            const float y = samples[i], magnitude = std::fabs(y);
            const float bounded = magnitude <= FLT_MAX ? y : std::copysign(FLT_MAX, y);
            samples[i] = magnitude >= FLT_MIN ? bounded : 0.0f;  // also a NaN, which compares false
        }
    }
}

}  // namespace

void processStream(StreamCorrector* corrector, const StreamControls& controls, const float* const* in,
                   float* const* out, std::uint64_t frames) {
    // Controls bit for bit those of the last call give the same values, which
    // the correctors hold already (the usual case: hosts pass the same values
    // call after call); only new ones are made safe and applied.
    if (corrector->fresh || std::memcmp(&controls, &corrector->raw, sizeof controls) != 0) {
        const ControlValues values = sanitizeControls(controls);
        const bool atOnce = corrector->fresh;
        corrector->fresh = false;
        corrector->raw = controls;
        corrector->applied = values;
        if (corrector->form == CorrectorForm::Iir)
            setIirControls(corrector->iir, values, atOnce, corrector->glideSamples);
        else
            setFirControls(corrector->fir, values, atOnce, corrector->glideSamples);
    }
    if (frames <= STREAM_MAX_BLOCK) return processPiece(corrector, in, out, static_cast<std::uint32_t>(frames));
    for (std::uint64_t done = 0; done < frames;) {
        const std::uint64_t left = frames - done;
        const auto piece = static_cast<std::uint32_t>(left < STREAM_MAX_BLOCK ? left : STREAM_MAX_BLOCK);
        const float* pieceIn[STREAM_MAX_CHANNELS];
        float* pieceOut[STREAM_MAX_CHANNELS];
        for (int ch = 0; ch < corrector->channels; ++ch) {
            pieceIn[ch] = in[ch] + done;
            pieceOut[ch] = out[ch] + done;
        }
        processPiece(corrector, pieceIn, pieceOut, piece);
        done += piece;
    }
}

std::uint32_t streamLatency(const StreamCorrector* corrector) {
    if (corrector->form == CorrectorForm::Iir) return 0;
    return static_cast<std::uint32_t>(corrector->fir.halfLength);
}

}  // namespace realtime
