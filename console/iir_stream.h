// The streaming stage of the IIR program: blocks of up to BLOCK_FRAMES
// frames are read, corrected sample by sample and written.
#ifndef QORTA_CONSOLE_IIR_STREAM_H
#define QORTA_CONSOLE_IIR_STREAM_H

#include <cstdint>

#include "console/file_run.h"

// Reads `frameCount` frames of PCM from the input into the run's PCM buffer;
// they are converted to the planes slice by slice while the block is
// corrected. Returns Ok, or CannotRead when the read fails or delivers
// fewer bytes.
FileResult readBlock(FileRun& run, std::int64_t frameCount);

// The stage hooks of the IIR program.
extern const StreamStage IIR_STREAM_STAGE;

#endif
