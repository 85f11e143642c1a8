// The work behind the FIR plug-in's callbacks: building the kernel at save
// start and the per-frame processing. The callbacks bind these to one
// process-wide state.
#ifndef QORTA_PLUGIN_FIR_FILTER_H
#define QORTA_PLUGIN_FIR_FILTER_H

#include "plugin/filter_records.h"
#include "plugin/fir_state.h"

namespace plugin {

// Positions of the FIR plug-in's track bars in the host's track values.
enum FirTrack : int {
    FIR_TRACK_QUALITY = 0,
    FIR_TRACK_EFFECT = 1,
    FIR_TRACK_GAIN = 2,
    FIR_TRACK_FADE_IN = 3,
    FIR_TRACK_FADE_OUT = 4,
    FIR_TRACK_COUNT = 5,
};

// Starts a save run of the edit `editHandle`: asks the host for the file
// information and rebuilds `state` (buildFirState with `allocate`) for the
// sampling rate and the current Quality, Effect and Gain. When the host
// cannot give the file information, or `filter` has no track values,
// `state` stays as it was, an earlier kernel included.
void startFirSave(FirState& state, const FilterTable& filter, void* editHandle, AllocateFunction allocate);

// Rewrites the audio of `frame` in place, using the track values and host
// services of `filter`. Leaves the frame untouched when the host cannot give
// the file information, when `filter` has no track values, or when the
// frame has no samples or other than one or two channels. With a kernel in
// use and Effect not 0, every sample is the kernel convolved over the
// frame's window (context from the neighbouring frames, see gatherWindows)
// times the fades; a frame with more samples per channel than the state's
// capacity is then left untouched. Otherwise only gain and fades apply.
void processFirFrame(FirState& state, const FilterTable& filter, FrameAudioRecord& frame);

}  // namespace plugin

#endif
