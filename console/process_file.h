// The per-file driver shared by both console programs.
#ifndef QORTA_CONSOLE_PROCESS_FILE_H
#define QORTA_CONSOLE_PROCESS_FILE_H

#include "console/corrector_settings.h"
#include "console/file_run.h"

namespace console {

// Corrects the WAV file `inputPath` into `outputPath` with `settings`,
// streaming the samples through `stage`, and prints the file's messages, a failure as fileResultMessage gives it.
// Returns -1 when the input cannot be opened or its header is refused
// (not RIFF WAVE PCM, not 8 or 16 bits, not 1 or 2 channels, a sample rate
// below 10 Hz, or refused by the stage); returns 0 in every other case:
// success, a later failure (reported by its message), or an overwrite the
// user declined. Everything the call allocated or opened is released; an
// output file, once created, stays: one abandoned by a failure keeps its
// header and the whole frames written, the header telling those frames
// (fitOutputToFrames). `batchInputs` holds the inputs of the whole batch,
// none of which is opened for writing. Standard output is flushed before
// the file's work starts, and again after its wav info line.
int processFile(const StreamStage& stage, const CorrectorSettings& settings, const char* inputPath,
                const char* outputPath, const BatchInputs& batchInputs = BatchInputs());

}  // namespace console

#endif
