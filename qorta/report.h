// The report of a batch: a table for people and the same as JSON, files in
// input order. Neither depends on how many files ran at once, except for
// the time each took.
#ifndef QORTA_QORTA_REPORT_H
#define QORTA_QORTA_REPORT_H

#include <string>
#include <vector>

#include "qorta/file_job.h"

namespace qorta {

struct ReportEntry {
    std::string input;   // as the user named it
    std::string output;
    JobResult result;    // result.error holds the refusal for a pair not processed
};

// The --peak value suggested for an output that clipped: the highest tenth
// of a dB that avoids clipping at any integer width (full scale minus one
// step is at most -0.07 dBFS), 0 for float outputs.
double suggestedPeak(const FileStats& stats);

std::string reportTable(const std::vector<ReportEntry>& entries);
std::string reportJson(const std::vector<ReportEntry>& entries);

}  // namespace qorta

#endif
