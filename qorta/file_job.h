// One input/output pair of a batch: open, correct into a temporary file,
// carry the metadata, flush and rename into place.
#ifndef QORTA_QORTA_FILE_JOB_H
#define QORTA_QORTA_FILE_JOB_H

#include <atomic>
#include <cstdint>
#include <string>

#include "qorta/correct_file.h"
#include "qorta/settings.h"

namespace qorta {

struct JobSpec {
    std::string input;       // path, or "-" for standard input (already copied: see stdinCopy)
    std::string output;      // path, or "-" for standard output
    std::string inputShown;  // the name the report and messages give the input
    int format = 0;          // --format, 0 = the input's
    bool overwrite = false;
    std::string outputRoot;  // an existing -o DIR below which missing sub-folders of `output` are made
};

struct JobResult {
    bool written = false;
    std::string error;  // what went wrong, without the "qorta: FILE: " in front
    FileStats stats;
    double seconds = 0.0;
};

// The output format for an input of `inputFormat` and --format `format`
// (0 = keep) with `frames` frames of `channels` channels: a WAV output
// that would pass 4 GiB becomes RF64.
int outputFormatFor(int inputFormat, int format, std::int64_t frames, int channels);

// Runs one pair. `progress` is raised as the passes go, towards `*total`,
// set once the input is open (either may be null).
JobResult runJob(const JobSpec& job, const Settings& settings, std::atomic<std::int64_t>* progress,
                 std::atomic<std::int64_t>* total);

}  // namespace qorta

#endif
