// Block reads and writes of the per-file driver.
#ifndef QORTA_CONSOLE_BLOCK_IO_H
#define QORTA_CONSOLE_BLOCK_IO_H

#include <cstdint>

#include "console/file_run.h"

namespace console {

// Reads exactly `count` bytes from the input into the run's PCM buffer
// (which holds at least `count` bytes).
// Returns Ok, or CannotRead when the read fails or delivers fewer bytes.
FileResult readPcm(FileRun& run, std::uint32_t count);

// Writes `count` bytes of `pcm` at the output's current position.
// Returns Ok, or CannotWrite when the write fails or writes fewer bytes.
FileResult writePcm(FileRun& run, const unsigned char* pcm, std::uint32_t count);

}  // namespace console

#endif
