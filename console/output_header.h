// Keeping the header of a cut-off output true: when writing fails or the
// program is interrupted while samples are streamed, the sizes in the
// output header are set to the frames the file really holds.
#ifndef QORTA_CONSOLE_OUTPUT_HEADER_H
#define QORTA_CONSOLE_OUTPUT_HEADER_H

#include <cstdint>

#include "platform/platform.h"

namespace console {

// Sets the RIFF and data sizes of the 46-byte header at the start of
// `output` to the whole frames of `frameBytes` bytes that follow the header
// in the file. Changes nothing when `output` is no regular file (a pipe, a
// device) or is shorter than the header, or when the header cannot be
// written. Async-signal-safe on POSIX.
void fitHeaderToFrames(platform::FileHandle output, std::uint32_t frameBytes);

// Names the output whose samples are being streamed, in frames of
// `frameBytes` bytes; the invalid file names none. An interruption fits
// that output's header before the program ends.
void watchStreamedOutput(platform::FileHandle output, std::uint32_t frameBytes);

// From now on an interruption fits the watched output's header, restores the
// terminal and ends the program as the interruption itself would.
void fitOutputOnInterruption();

}  // namespace console

#endif
