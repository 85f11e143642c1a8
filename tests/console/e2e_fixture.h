// The end-to-end fixture of qortaiir: the shared program run with the IIR
// program's texts and reference model.
#ifndef QORTA_TESTS_CONSOLE_E2E_FIXTURE_H
#define QORTA_TESTS_CONSOLE_E2E_FIXTURE_H

#include <cmath>

#include "tests/console/e2e_program_run.h"

namespace e2e {

class QortaiirRun : public ProgramRun {
protected:
    QortaiirRun() : ProgramRun(QORTAIIR_PATH) {}

    // The banner and the settings line of a run with these display values.
    static std::string head(int effect = 100, int gain = 100, int fadeIn = 0, int fadeOut = 0) {
        return std::string(testsupport::IIR_BANNER) + testsupport::iirSettingsLine(effect, gain, fadeIn, fadeOut);
    }
    // The same for a run with these settings, shown as the program rounds them.
    static std::string head(const ReferenceSettings& s) {
        return head(static_cast<int>(std::lround(s.effect)), static_cast<int>(std::lround(s.gain)), s.fadeIn,
                    s.fadeOut);
    }
    static std::string usageWithError() {
        return std::string(testsupport::IIR_BANNER) + testsupport::ILLEGAL_NAMES_LINE + testsupport::IIR_USAGE;
    }
};

inline ReferenceResult model(const Bytes& file, const ReferenceSettings& settings = ReferenceSettings()) {
    return testsupport::referenceRun(file, settings);
}

inline ReferenceSettings settings(double effect, double gain = 100.0, int fadeIn = 0, int fadeOut = 0) {
    ReferenceSettings s;
    s.effect = effect;
    s.gain = gain;
    s.fadeIn = fadeIn;
    s.fadeOut = fadeOut;
    return s;
}

}  // namespace e2e

#endif
