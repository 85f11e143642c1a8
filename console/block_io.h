// Block reads and writes of the per-file driver, through the run's PCM buffer.
#ifndef QORTA_CONSOLE_BLOCK_IO_H
#define QORTA_CONSOLE_BLOCK_IO_H

#include <cstdint>

#include "console/file_run.h"

namespace console {

// Reads exactly `count` bytes from the input into the run's PCM buffer
// (which holds at least `count` bytes).
// Returns Ok, or CannotRead when the read fails or delivers fewer bytes.
FileResult readPcm(FileRun& run, std::uint32_t count);

// Writes the first `count` bytes of the run's PCM buffer at the output's
// current position.
// Returns Ok, or CannotWrite when the write fails or writes fewer bytes.
FileResult writePcm(FileRun& run, std::uint32_t count);

// Converts frames 0 .. frameCount - 1 of the output planes to PCM with
// saturation and clip accounting, and writes them at the output's current
// position.
// Returns Ok, or CannotWrite as writePcm.
FileResult writeBlock(FileRun& run, std::int64_t frameCount);

}  // namespace console

#endif
