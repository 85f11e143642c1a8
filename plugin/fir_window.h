// The FIR plug-in's window for one video frame: the frame's own samples with
// N samples of context on each side, gathered from the neighbouring frames
// through the host.
#ifndef QORTA_PLUGIN_FIR_WINDOW_H
#define QORTA_PLUGIN_FIR_WINDOW_H

#include "plugin/filter_records.h"
#include "plugin/fir_state.h"

namespace plugin {

// Fills positions 0 .. 2N + n - 1 of the window of every channel of `frame`
// (n = frame.sampleCount, 1 .. state.capacity; one or two channels; N =
// state.halfLength > 0). Position N + t holds the sample at offset t from
// the frame's first sample, times 2^-15, for t from -N to n + N - 1.
//
// The past context is read from frames frame - 1, frame - 2, ... and the
// future context from frames frame + 1, frame + 2, ... (up to the last frame
// of the edit), nearest first, each through `readFrameAudio` into
// `neighbourAudio`; neighbouring frames are taken to have the frame's
// channel count. A side stops reading at the edge of the edit, at a frame
// the host reports no audio for (a count of 0 or less), and at a frame
// whose count exceeds state.capacity; its remaining positions become 0.0.
// A missing service table or read service gives 0.0 context on both sides.
void gatherWindows(FirState& state, const HostServices* services, const FrameAudioRecord& frame);

}  // namespace plugin

#endif
