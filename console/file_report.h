// The console lines of one file run: wav info, progress and closing report.
#ifndef QORTA_CONSOLE_FILE_REPORT_H
#define QORTA_CONSOLE_FILE_REPORT_H

#include <cstdint>

#include "console/file_run.h"

namespace console {

// Prints the format and the duration (to hundredths of a second, with the
// sample rate truncated to whole tens of hertz).
void printWavInfo(const FileRun& run);

// Prints `percent` with one decimal and returns the cursor to the start of
// the line, so that the next progress text overwrites it.
void showProgress(double percent);

// Prints the line break behind the progress, the clip warning when a sample
// was clipped, and the time elapsed since `startTick`.
void printClosingReport(const FileRun& run, std::uint32_t startTick);

}  // namespace console

#endif
