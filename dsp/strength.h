// The bass boost strength both correctors derive from the effect setting.
#ifndef QORTA_DSP_STRENGTH_H
#define QORTA_DSP_STRENGTH_H

namespace dsp {

// The gain of the bass boost at 0 Hz for `effect` (percent): effect x 0.25.
inline double strengthFromEffect(double effect) { return effect * 0.25; }

}  // namespace dsp

#endif
