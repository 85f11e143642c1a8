// What makes a console program out of the shared command line and driver:
// the texts it prints, whether it takes "-q", and its streaming stage.
#ifndef QORTA_CONSOLE_CONSOLE_PROGRAM_H
#define QORTA_CONSOLE_CONSOLE_PROGRAM_H

#include "console/corrector_settings.h"
#include "console/file_run.h"

namespace console {

struct ConsoleProgram {
    const char* banner;  // first line of every run
    const char* usage;   // printed as a format string ("%%" prints "%")
    bool hasQualityOption;
    void (*printSettings)(const CorrectorSettings& settings);
    const StreamStage* stage;
};

// The program entry: prints the banner, reads the options and names of
// `argv` (argv[0] is the program's own name), picks the batch mode and
// processes every input/output pair in turn. Always returns 0, the exit
// status of the program.
int runConsoleProgram(const ConsoleProgram& program, int argc, char** argv);

// `value` rounded to the nearest whole number, halves away from zero (99.5
// shows 100, -2.5 shows -3), as the settings line shows effect and gain;
// values beyond the int range show as its nearest end, NaN as 0.
int roundForDisplay(double value);

}  // namespace console

#endif
