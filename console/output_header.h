// Keeping a cut-off output a true WAV file: when writing or reading fails,
// or the program is interrupted, while samples are streamed, the output is
// cut to its header and the whole frames behind it, and the sizes in the
// header are set to those frames.
#ifndef QORTA_CONSOLE_OUTPUT_HEADER_H
#define QORTA_CONSOLE_OUTPUT_HEADER_H

#include <cstdint>

#include "platform/platform.h"

namespace console {

// Cuts the output at the end of the last whole frame of `frameBytes` bytes
// behind its 46-byte header, and sets the RIFF and data sizes of the header
// to those frames. A file shorter than the header is emptied: it holds no
// part of a header. Changes nothing when `output` is no regular file (a
// pipe, a device); leaves the sizes as they are when they cannot be written.
// Async-signal-safe on POSIX.
void fitOutputToFrames(platform::FileHandle output, std::uint32_t frameBytes);

// Names the output whose samples are being streamed, in frames of
// `frameBytes` bytes; the invalid file names none. An interruption fits
// that output (fitOutputToFrames) before the program ends.
void watchStreamedOutput(platform::FileHandle output, std::uint32_t frameBytes);

// From now on an interruption fits the watched output, restores the
// terminal and ends the program as the interruption itself would
// (platform::handleInterruptions).
void fitOutputOnInterruption();

}  // namespace console

#endif
