// The streaming stage of the FIR program: every output frame is the FIR
// kernel centred on the input frame, computed over a sliding window per
// channel that is refilled by halves.
#ifndef QORTA_CONSOLE_FIR_STREAM_H
#define QORTA_CONSOLE_FIR_STREAM_H

#include <cstdint>

#include "console/file_run.h"

namespace console {

// Frames in half a window: the unit of every refill and every full write.
constexpr std::int64_t HALF_BLOCK_FRAMES = BLOCK_FRAMES / 2;

// The largest kernel half-length whose taps all stay inside the window.
constexpr std::uint32_t MAX_FIR_HALF_LENGTH = static_cast<std::uint32_t>(BLOCK_FRAMES / 4);

// Slides every input window down by HALF_BLOCK_FRAMES and fills the upper
// half with the next frames of the data chunk, at most HALF_BLOCK_FRAMES of
// them and none when `*remainingBytes` is 0; the rest of the upper half is
// cleared to 0.0, and the bytes read are taken off `*remainingBytes`.
// Returns Ok, or CannotRead when the read fails or delivers fewer bytes.
FileResult readWindowBlock(FileRun& run, std::uint32_t* remainingBytes);

// The stage hooks of the FIR program.
extern const StreamStage FIR_STREAM_STAGE;

}  // namespace console

#endif
