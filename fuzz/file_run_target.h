// A whole console file run on a fuzz input: the bytes become the input file
// of processFile, with one of the two programs' streaming stages, and the
// outcome is checked against an independent model of that program.
#ifndef QORTA_FUZZ_FILE_RUN_TARGET_H
#define QORTA_FUZZ_FILE_RUN_TARGET_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "console/corrector_settings.h"

namespace fuzz {

enum class Program { Iir, Fir };

// The settings of every fuzzed run: default effect, gain and quality, short
// fades (so the envelope code runs), -y and progress shown.
console::CorrectorSettings fileRunSettings();

// What the model expects of a run.
struct ExpectedRun {
    int result = -1;                    // processFile's result
    std::string text;                   // what it prints, "elapse M:SS" for the elapsed time
    bool hasOutput = false;             // whether an output file exists afterwards
    std::vector<std::uint8_t> output;   // its bytes, when it exists
};

// The model of `program` for the input file `input`, at `inputPath`, run
// with `settings`: the test suite's reference model of that program, with
// this build's block size for the progress shown and for the longest FIR
// kernel the window holds.
ExpectedRun expectedRun(Program program, const std::string& inputPath, const std::vector<std::uint8_t>& input,
                        const console::CorrectorSettings& settings);

// Writes `data` as the input file, runs processFile into a fresh output
// path, and checks the result and everything printed, that the input is
// byte-identical afterwards, and that the output file exists exactly when
// the model says, with the model's bytes.
void runFileTarget(Program program, const std::uint8_t* data, std::size_t size);

}  // namespace fuzz

#endif
