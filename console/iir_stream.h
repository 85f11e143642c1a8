// The streaming stage of the IIR program: blocks of up to BLOCK_FRAMES
// frames are read, corrected sample by sample and written.
#ifndef QORTA_CONSOLE_IIR_STREAM_H
#define QORTA_CONSOLE_IIR_STREAM_H

#include "console/file_run.h"

namespace console {

// The stage hooks of the IIR program.
extern const StreamStage IIR_STREAM_STAGE;

}  // namespace console

#endif
