// Optional DC removal in front of either corrector: a one-pole high-pass
//   y[n] = (x[n] - x[n - 1]) + p y[n - 1],   p = exp(-2 pi f_c / rate),
// with its corner f_c at 2 Hz. It takes a constant offset away completely
// (time constant 80 ms) and a slowly drifting one mostly, which the FIR
// corrector would otherwise pass about 30 times larger and the IIR one as a
// transient. Measured with sines through the stream (bench_realtime, 8 kHz,
// default controls), in dB:
//
//   frequency        0.5 Hz   1 Hz    2 Hz    5 Hz   10 Hz   20 Hz
//   DC removal       -12.30  -6.98   -3.00   -0.64   -0.16   -0.04
//   FIR, off          29.50  29.50   29.47   29.32   28.75   26.48
//   FIR, on           17.20  22.51   26.47   28.68   28.58   26.45
//   IIR, off          12.09  17.75   22.54   25.37   23.76   19.58
//   IIR, on           -0.21  10.77   19.54   24.73   23.60   19.54
#ifndef QORTA_REALTIME_DC_BLOCKER_H
#define QORTA_REALTIME_DC_BLOCKER_H

#include "dsp/channels.h"
#include "realtime/state_floor.h"

namespace realtime {

constexpr double DC_CORNER_HZ = 2.0;

struct DcBlocker {
    double pole = 0.0;                                     // p
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
