#include "dsp/iir_corrector.h"

#include <cmath>

namespace dsp {

void configure(IirCorrector& corrector, double sampleRate, double strength) {
    double r = 1.0 / sampleRate;
    corrector.highPassPole = std::exp(-20.0 * r);
    corrector.highPassWeight = 1.0 - corrector.highPassPole;
    corrector.bassPole = std::exp(-50.0 * r);
    setStrength(corrector, strength);
}

void reset(IirCorrector& corrector) {
    for (int channel = 0; channel < MAX_CHANNELS; ++channel) {
        corrector.bassState[channel] = 0.0;
        corrector.highPassState[channel] = 0.0;
    }
}

}  // namespace dsp
