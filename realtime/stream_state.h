// The state behind the opaque StreamCorrector handle (internal to the
// engine and its tests).
#ifndef QORTA_REALTIME_STREAM_STATE_H
#define QORTA_REALTIME_STREAM_STATE_H

#include <cstdint>

#include "realtime/dc_blocker.h"
#include "realtime/stream_fir.h"
#include "realtime/stream_iir.h"
#include "realtime/stream_controls.h"
#include "realtime/stream_corrector.h"

namespace realtime {

struct StreamCorrector {
    CorrectorForm form = CorrectorForm::Iir;
    int channels = 1;
    double sampleRate = 0.0;
    std::uint32_t glideSamples = 1;  // 10 ms
    ControlValues applied;           // the values of the last call
    StreamControls raw;              // the host's values of the last call, from which `applied` came
    bool fresh = true;               // no block since activation: controls apply at once
    DcBlocker dc;
    IirStream iir;
    FirStream fir;  // holds buffers only for the FIR form
    // One piece's input as the IIR reads it: a copy of the host's samples,
    // each non-finite one as 0.0.
    float input[STREAM_MAX_CHANNELS][STREAM_MAX_BLOCK];
};

}  // namespace realtime

#endif
