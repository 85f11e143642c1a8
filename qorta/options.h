// The command line of qorta, in the usual GNU style.
#ifndef QORTA_QORTA_OPTIONS_H
#define QORTA_QORTA_OPTIONS_H

#include <string>
#include <vector>

#include "qorta/settings.h"

namespace qorta {

struct Options {
    Settings settings;
    std::vector<std::string> inputs;
    std::string output;       // -o, empty = beside each input
    std::string formatName;   // --format, empty = the input's
    std::string jsonPath;     // --json, empty = none, "-" = standard output
    bool recursive = false;
    bool overwrite = false;
    bool quiet = false;
    int jobs = 0;             // 0 = one per core
    bool help = false;
    bool version = false;
};

// Parses argv. Returns "" or what is wrong with the command line.
std::string parseOptions(int argc, char** argv, Options* options);

// The --help text.
const char* usageText();

}  // namespace qorta

#endif
