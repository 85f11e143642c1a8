// The recursive bass corrector: per channel, a one-pole low-pass boost added
// to the signal, followed by a one-pole high-pass that removes DC and
// sub-sonic content. Pure computation on doubles, 1.0 = full scale.
#ifndef QORTA_DSP_IIR_CORRECTOR_H
#define QORTA_DSP_IIR_CORRECTOR_H

#include "dsp/channels.h"

namespace dsp {

struct IirCorrector {
    double bassPole = 0.0;         // exp(-50 / sampleRate): 20 ms time constant
    double bassGain = 0.0;         // strength x (1 - bassPole)
    double highPassPole = 0.0;     // exp(-20 / sampleRate): 50 ms time constant
    double highPassWeight = 0.0;   // 1 - highPassPole
    double bassState[MAX_CHANNELS] = {0.0, 0.0};      // bass branch value of the previous sample
    double highPassState[MAX_CHANNELS] = {0.0, 0.0};  // smoother output of the previous sample
};

// Computes the coefficients for `sampleRate` (> 0, samples per second) and
// `strength` (gain of the bass branch at 0 Hz). Leaves the state alone.
void configure(IirCorrector& corrector, double sampleRate, double strength);

// Sets the bass branch's gain for `strength` at the pole `configure` has
// computed: bassGain = strength x (1 - bassPole). Leaves the rest alone.
inline void setStrength(IirCorrector& corrector, double strength) {
    corrector.bassGain = strength * (1.0 - corrector.bassPole);
}

// Sets the state of both channels to 0.0.
void reset(IirCorrector& corrector);

// Runs sample `x` of `channel` (0 or 1) through the corrector, advances that
// channel's state and returns the corrected sample.
//
// With p_b = bassPole, g_b = bassGain, p_h = highPassPole, 1 - p_h =
// highPassWeight, s0 = bassState and s1 = highPassState of the channel (the
// previous sample's v and m), each sample takes these steps in this order:
//   v = 0.5 x + p_b s0              one-pole low-pass of half the input
//   B = g_b s0 + g_b v              bass boost: the mean of v and the previous v, times 2 g_b
//   w = x + B                       the signal with the boost added
//   m = p_h s1 + (1 - p_h) w        one-pole smoother of w
//   y = w - m                       the high-pass: w without its smoothed part
// and v and m become the new s0 and s1. As transfer functions:
//   B(z) / X(z) = (g_b / 2) (1 + z^-1) / (1 - p_b z^-1)     (g_b / (1 - p_b) = strength at 0 Hz)
//   Y(z) / W(z) = p_h (1 - z^-1) / (1 - p_h z^-1)           (0 at 0 Hz)
//   H(z) = Y(z) / X(z) = (1 + B(z) / X(z)) x p_h (1 - z^-1) / (1 - p_h z^-1)
inline double process(IirCorrector& corrector, int channel, double x) {
    double s0 = corrector.bassState[channel];
    double s1 = corrector.highPassState[channel];
    double v = 0.5 * x + corrector.bassPole * s0;
    double boost = corrector.bassGain * s0 + corrector.bassGain * v;
    corrector.bassState[channel] = v;
    double w = x + boost;
    double m = corrector.highPassPole * s1 + corrector.highPassWeight * w;
    corrector.highPassState[channel] = m;
    return w - m;
}

}  // namespace dsp

#endif
