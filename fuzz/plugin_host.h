// A hostile host for the audio filter plug-ins: it plays a script of
// callbacks (save start, frames, save end, exit, changes of its own
// configuration) read from a fuzz input, answers the plug-in's service
// calls as the script says, and checks what the plug-in promises.
#ifndef QORTA_FUZZ_PLUGIN_HOST_H
#define QORTA_FUZZ_PLUGIN_HOST_H

#include <cstddef>
#include <cstdint>

#include "plugin/filter_records.h"

namespace fuzz {

enum class PluginKind { Iir, Fir };

// The script operations, one byte each (taken modulo their count), followed
// by the values the operation reads.
enum ScriptOp : std::uint8_t {
    OP_SAVE_START = 0,
    OP_FRAME = 1,
    OP_SAVE_END = 2,
    OP_EXIT = 3,
    OP_CONFIGURE = 4,
    OP_TABLE = 5,
    OP_COUNT = 6,
};

// Plays the script `data` against the plug-in whose export is `getTable`.
// Every callback must return 1, and the plug-in must:
// - leave a frame untouched when the file information query fails or is
//   missing, when the record carries no track values, and when the frame
//   has no samples or other than one or two channels;
// - give back a frame unchanged on the preview path with Gain 100 and no
//   fades;
// - ask for neighbouring frames only while it processes a frame, only for
//   frames of the edit other than the current one, and pass every edit
//   handle back unchanged;
// - never write its static filter table.
// Memory safety is left to the sanitizers: every buffer the host hands over
// is exactly as large as the record says. The host writes a neighbouring
// frame of at most as many samples per channel as the current frame (which
// the plug-in must be able to hold before it asks), but the count it
// returns is the script's and may be anything.
//
// At its start the script ends any save run left by the one before (save
// end and exit), so that every script starts from the state at load.
void playPluginScript(GetFilterTableFunction getTable, PluginKind kind, const std::uint8_t* data,
                      std::size_t size);

}  // namespace fuzz

#endif
