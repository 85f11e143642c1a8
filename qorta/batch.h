// The pairs of a batch: the inputs named on the command line and found in
// folders, each with its output path, and the refusals decided before any
// file is corrected (an output that is an input, two inputs with one
// output, an existing output without --overwrite).
#ifndef QORTA_QORTA_BATCH_H
#define QORTA_QORTA_BATCH_H

#include <string>
#include <vector>

namespace qorta {

struct PlannedPair {
    std::string input;   // as found: the argument, or folder/relative path
    std::string output;  // "-" for standard output
    std::string refusal; // non-empty: not processed, for this reason
    std::string outputRoot;  // -o DIR when the output mirrors a sub-folder below it, else empty
};

struct BatchRequest {
    std::vector<std::string> arguments;  // files, folders, "-"
    std::string output;                  // -o, empty = beside each input
    bool recursive = false;
    bool overwrite = false;
    std::string extension;  // the output extension for --format, empty = the input's
};

// The pairs in input order: arguments in the order given, the files of a
// folder sorted by name (sub-folders' files after the folder's own with
// -r). `*problem` gets a command-line fault (no inputs, -o FILE for
// several inputs), the pairs are then empty.
std::vector<PlannedPair> planBatch(const BatchRequest& request, std::string* problem);

// True when `name` has an extension of an audio file that folders are
// searched for.
bool audioFileName(const std::string& name);

// NAME_b.EXT for `path` (EXT replaced by `extension` when not empty).
std::string besideName(const std::string& path, const std::string& extension);

}  // namespace qorta

#endif
