// The user's settings of a console run, filled from the command line before
// the first file is processed and unchanged afterwards.
#ifndef QORTA_CONSOLE_CORRECTOR_SETTINGS_H
#define QORTA_CONSOLE_CORRECTOR_SETTINGS_H

#include <cstdint>

namespace console {

struct CorrectorSettings {
    double effect = 100.0;        // strength of the bass correction, percent ("-e")
    double gain = 100.0;          // output gain, percent ("-g")
    std::int32_t fadeIn = 0;      // fade-in length in ms, 0 = none ("-i")
    std::int32_t fadeOut = 0;     // fade-out length in ms, 0 = none ("-o")
    std::int32_t quality = 100;   // FIR kernel length control, FIR program only ("-q")
    bool overwrite = false;       // replace an existing output without asking ("-y")
    bool showProgress = true;     // print the progress percentage ("-n" clears it)
};

}  // namespace console

#endif
