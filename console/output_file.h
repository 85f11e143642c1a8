// Creating the output file of a run, with the overwrite question.
#ifndef QORTA_CONSOLE_OUTPUT_FILE_H
#define QORTA_CONSOLE_OUTPUT_FILE_H

#include "console/file_run.h"

namespace console {

// Creates `outputPath` as the run's output. Without the overwrite setting an
// existing file is replaced only when the user answers y to the question,
// which is asked again for any other key. An output that names the input
// file itself, or any other input of the batch, is never opened for
// writing.
// Returns
//   Ok                 run.output is open at the start of an empty file;
//   Declined           the user answered n, or no answer could be read;
//   CannotOpenToWrite  the file could not be created.
FileResult createOutput(FileRun& run, const char* outputPath);

}  // namespace console

#endif
