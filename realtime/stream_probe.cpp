#include "realtime/stream_probe.h"

#include <cmath>

#include "realtime/stream_state.h"

namespace realtime {

namespace {

std::size_t subnormals(const double* values, std::size_t count) {
    std::size_t found = 0;
    for (std::size_t i = 0; i < count; ++i) found += std::fpclassify(values[i]) == FP_SUBNORMAL ? 1 : 0;
    return found;
}

}  // namespace

std::size_t countSubnormalState(const StreamCorrector* corrector) {
    const dsp::IirCorrector& iir = corrector->iir.corrector;
    std::size_t found = subnormals(iir.bassState, dsp::MAX_CHANNELS) + subnormals(iir.highPassState, dsp::MAX_CHANNELS);
    found +=
        subnormals(corrector->dc.previousInput, dsp::MAX_CHANNELS) + subnormals(corrector->dc.state, dsp::MAX_CHANNELS);
    const FirStream& fir = corrector->fir;
    if (corrector->form == CorrectorForm::Fir)
    {
        for (int ch = 0; ch < dsp::MAX_CHANNELS; ++ch) {
            const FirSums& s = fir.sums;
            const double sums[] = {s.forward[ch],  s.box[ch],        s.partial[ch],    s.partialError[ch],
                                   s.inputMax[ch], s.forwardMax[ch], s.backwardMax[ch]};
            found += subnormals(sums, 7);
        }
        found += subnormals(fir.ring.get(), 2 * fir.capacity * dsp::MAX_CHANNELS) +
                 subnormals(fir.backward.get(), (static_cast<std::size_t>(fir.maxHalfLength) + 1) * dsp::MAX_CHANNELS);
    }
    return found;
}

std::uint64_t countExactSums(const StreamCorrector* corrector) {
    return corrector->form == CorrectorForm::Fir ? corrector->fir.exactSums : 0;
}

void setExactFallback(StreamCorrector* corrector, bool enabled) { corrector->fir.exactFallback = enabled; }

bool selectFirVectorPath(StreamCorrector* corrector, dsp::ConvolvePath path) {
    return corrector->form == CorrectorForm::Fir && selectFirVectorPath(corrector->fir, path);
}

}  // namespace realtime
