// The end-to-end fixture of qortafir: the shared program run with the FIR
// program's texts and reference model.
#ifndef QORTA_TESTS_CONSOLE_E2E_FIR_FIXTURE_H
#define QORTA_TESTS_CONSOLE_E2E_FIR_FIXTURE_H

#include <cmath>
#include <cstdio>

#include "tests/console/e2e_program_run.h"
#include "tests/support/fir_reference_model.h"

namespace e2e {

class QortafirRun : public ProgramRun {
protected:
    QortafirRun() : ProgramRun(QORTAFIR_PATH) {}

    // The banner and the settings line of a run with these display values.
    static std::string head(int quality = 100, int effect = 100, int gain = 100, int fadeIn = 0, int fadeOut = 0) {
        return std::string(testsupport::FIR_BANNER) +
               testsupport::firSettingsLine(quality, effect, gain, fadeIn, fadeOut);
    }
    // The same for a run with these settings, shown as the program rounds them.
    static std::string head(const ReferenceSettings& s) {
        return head(s.quality, static_cast<int>(std::lround(s.effect)), static_cast<int>(std::lround(s.gain)), s.fadeIn,
                    s.fadeOut);
    }
    static std::string usage() { return std::string(testsupport::FIR_BANNER) + testsupport::FIR_USAGE; }
    static std::string usageWithError() {
        return std::string(testsupport::FIR_BANNER) + testsupport::ILLEGAL_NAMES_LINE + testsupport::FIR_USAGE;
    }

    // Runs "qortafir [options] in.wav out.wav" on `input` and expects the
    // model's text and output file for `s`; the options must say what `s`
    // says. Returns the model's result.
    ReferenceResult expectProcessed(const Bytes& input, const ReferenceSettings& s,
                                    const std::vector<std::string>& options, bool showProgress = true) {
        put("in.wav", input);
        std::remove(path("out.wav").c_str());
        const ReferenceResult expected = testsupport::firReferenceRun(input, s);
        std::vector<std::string> args = options;
        args.push_back("in.wav");
        args.push_back("out.wav");
        expectRun(args, head(s) + pairLines("in.wav", "out.wav") +
                            testsupport::expectedFileText("in.wav", expected, showProgress));
        expectOutput("out.wav", expected);
        return expected;
    }
};

inline ReferenceResult firModel(const Bytes& file, const ReferenceSettings& settings = ReferenceSettings()) {
    return testsupport::firReferenceRun(file, settings);
}

inline ReferenceSettings firSettings(int quality, double effect = 100.0, double gain = 100.0, int fadeIn = 0,
                                     int fadeOut = 0) {
    ReferenceSettings s;
    s.quality = quality;
    s.effect = effect;
    s.gain = gain;
    s.fadeIn = fadeIn;
    s.fadeOut = fadeOut;
    return s;
}

// The command-line options that give `s`.
inline std::vector<std::string> firOptions(const ReferenceSettings& s) {
    char effect[40], gain[40];
    std::snprintf(effect, sizeof effect, "%.17g", s.effect);
    std::snprintf(gain, sizeof gain, "%.17g", s.gain);
    return {"-q", std::to_string(s.quality), "-e", effect, "-g", gain, "-i", std::to_string(s.fadeIn),
            "-o", std::to_string(s.fadeOut)};
}

}  // namespace e2e

#endif
