// The settings of one qorta run, filled from the command line and the same
// for every file of the batch.
#ifndef QORTA_QORTA_SETTINGS_H
#define QORTA_QORTA_SETTINGS_H

#include <cstdint>

namespace qorta {

enum class CorrectorKind { Fir, Iir };

struct Settings {
    CorrectorKind corrector = CorrectorKind::Fir;
    double effect = 100.0;       // strength of the bass correction, percent
    double gain = 100.0;         // output gain, percent
    std::int32_t fadeIn = 0;     // fade-in length in ms, 0 = none
    std::int32_t fadeOut = 0;    // fade-out length in ms, 0 = none
    std::int32_t quality = 100;  // FIR kernel length control, 0 .. 300
    bool peakSet = false;        // --peak given: scale the output to peakDb dBFS
    double peakDb = 0.0;
};

}  // namespace qorta

#endif
