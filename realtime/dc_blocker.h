// Optional DC removal in front of either corrector: a one-pole high-pass
//   y[n] = (x[n] - x[n - 1]) + p y[n - 1],   p = exp(-2 pi f_c / rate),
// with its corner f_c at 2 Hz. It takes a constant offset away completely
// (time constant 80 ms) and a slowly drifting one mostly, which the FIR
// corrector would otherwise pass about 30 times larger and the IIR one as a
// transient. Its own response, measured with sines through the stream
// (bench_realtime prints it): 0.5 Hz -12.3 dB, 1 Hz -7.0 dB, 2 Hz -3.0 dB,
// 5 Hz -0.64 dB, 10 Hz -0.17 dB, 20 Hz -0.04 dB.
#ifndef QORTA_REALTIME_DC_BLOCKER_H
#define QORTA_REALTIME_DC_BLOCKER_H

#include "dsp/channels.h"
#include "realtime/state_floor.h"

namespace realtime {

constexpr double DC_CORNER_HZ = 2.0;

struct DcBlocker {
    double pole = 0.0;                                  // p
    double previousInput[dsp::MAX_CHANNELS] = {0.0, 0.0};  // x[n - 1]
    double state[dsp::MAX_CHANNELS] = {0.0, 0.0};          // y[n - 1]
};

// Sets the pole for `sampleRate` (> 0) and clears both channels.
void configureDcBlocker(DcBlocker& blocker, double sampleRate);

// Runs `x` of `channel` through the high-pass and returns y[n]; a result
// below STATE_FLOOR in magnitude (or NaN) is returned and kept as 0.0.
inline double removeDc(DcBlocker& blocker, int channel, double x) {
    double y = (x - blocker.previousInput[channel]) + blocker.pole * blocker.state[channel];
    flushTiny(y);
    blocker.previousInput[channel] = x;
    blocker.state[channel] = y;
    return y;
}

}  // namespace realtime

#endif
