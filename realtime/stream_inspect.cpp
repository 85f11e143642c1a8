#include "realtime/stream_inspect.h"

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
    found += subnormals(corrector->dc.previousInput, dsp::MAX_CHANNELS) + subnormals(corrector->dc.state, dsp::MAX_CHANNELS);
    return found;
}

}  // namespace realtime
