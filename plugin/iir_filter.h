// The IIR plug-in's private state and the work behind its callbacks: the
// save-run life cycle and the per-frame processing. The callbacks bind these
// to one process-wide state.
#ifndef QORTA_PLUGIN_IIR_FILTER_H
#define QORTA_PLUGIN_IIR_FILTER_H

#include <cstdint>

#include "dsp/iir_corrector.h"
#include "plugin/filter_records.h"

namespace plugin {

// Positions of the IIR plug-in's track bars in the host's track values.
enum IirTrack : int {
    IIR_TRACK_EFFECT = 0,
    IIR_TRACK_GAIN = 1,
    IIR_TRACK_FADE_IN = 2,
    IIR_TRACK_FADE_OUT = 3,
    IIR_TRACK_COUNT = 4,
};

struct IirFilterState {
    std::int32_t saving = 0;    // 1 inside a save run, otherwise 0
    dsp::IirCorrector corrector;  // state of channels 0 and 1, carried across frames
};

// Starts a save run: resets the corrector state of both channels and enters
// the saving state, from either state.
void startIirSave(IirFilterState& state);

// Ends a save run; the corrector state stays as it is.
void endIirSave(IirFilterState& state);

// The strength of the bass branch for track value `effect` in percent:
// (effect x 25) / 100 truncated toward zero, so 100 gives 25 and 10 gives 2.
// Computed wide enough that no track value overflows.
std::int64_t iirStrength(std::int32_t effect);

// Rewrites the audio of `frame` in place, using the track values and host
// services of `filter`. Leaves the frame untouched when the host cannot give
// the file information, when `filter` has no track values, or when the
// frame has no samples or other than one or two channels. Inside a save run
// with Effect not 0 and a positive sampling rate, every sample goes through
// the corrector (advancing its state) and then the envelope; otherwise only
// the envelope (gain and fades) is applied.
void processIirFrame(IirFilterState& state, const FilterTable& filter, FrameAudioRecord& frame);

}  // namespace plugin

#endif
