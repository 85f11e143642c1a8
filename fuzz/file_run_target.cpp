#include "fuzz/file_run_target.h"

#include <cstdio>
#include <string>

#include <unistd.h>

#include "console/file_run.h"
#include "console/fir_stream.h"
#include "console/iir_stream.h"
#include "console/process_file.h"
#include "dsp/fir_corrector.h"
#include "fuzz/check.h"
#include "fuzz/scratch_dir.h"
#include "tests/support/fir_reference_model.h"
#include "tests/support/reference_input.h"
#include "tests/support/reference_model.h"

using namespace console;

namespace fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::ReferenceOutcome;
using testsupport::ReferenceResult;

// The progress values shown before every block (IIR) or window refill (FIR)
// of a file of `total` frames with this build's BLOCK_FRAMES: the IIR
// program reads blocks of BLOCK_FRAMES frames (one block, showing 0.0, for
// an empty file); the FIR program refills before frame 0, a quarter window
// later and then every half window, while frames remain.
std::vector<double> progressValues(Program program, std::int64_t total) {
    std::vector<double> values;
    if (program == Program::Iir) {
        if (total == 0) return {0.0};
        for (std::int64_t done = 0; done < total; done += BLOCK_FRAMES)
            values.push_back(static_cast<double>(done) * 100.0 / static_cast<double>(total));
        return values;
    }
    for (std::int64_t n = 0; n < total; n += n == 0 ? BLOCK_FRAMES / 4 : BLOCK_FRAMES / 2)
        values.push_back(static_cast<double>(n) * 100.0 / static_cast<double>(total));
    return values;
}

// `text` with the time of its "elapse M:SS" line, if it ends in one,
// replaced by "M:SS".
std::string withoutElapsedTime(const std::string& text) {
    const std::size_t line = text.rfind("elapse ");
    if (line == std::string::npos || text.back() != '\n') return text;
    const std::string time = text.substr(line + 7, text.size() - line - 8);
    const std::size_t colon = time.find(':');
    const bool digits = colon != std::string::npos && colon > 0 && time.size() == colon + 3 &&
                        time.find_first_not_of("0123456789:") == std::string::npos;
    return digits ? text.substr(0, line) + "elapse M:SS\n" : text;
}

}  // namespace

CorrectorSettings fileRunSettings() {
    CorrectorSettings settings;
    settings.fadeIn = 5;
    settings.fadeOut = 5;
    settings.overwrite = true;
    return settings;
}

ExpectedRun expectedRun(Program program, const std::string& inputPath, const Bytes& input,
                        const CorrectorSettings& settings) {
    testsupport::ReferenceSettings model;
    model.effect = settings.effect;
    model.gain = settings.gain;
    model.fadeIn = settings.fadeIn;
    model.fadeOut = settings.fadeOut;
    model.quality = settings.quality;
    ReferenceResult ref;
    testsupport::ModelInput header{input};
    const bool accepted = testsupport::readModelHeader(&header, &ref);
    // The window of this build may be smaller than the programs' own; a
    // kernel it cannot hold is refused before any sample is read.
    if (program == Program::Fir && accepted &&
        dsp::halfLengthExact(settings.quality, ref.sampleRate) > MAX_FIR_HALF_LENGTH) {
        ref.outcome = ReferenceOutcome::QualityOutOfRange;
    } else if (accepted) {
        ref = program == Program::Iir ? testsupport::referenceRun(input, model)
                                      : testsupport::firReferenceRun(input, model);
    }
    if (ref.outcome == ReferenceOutcome::Processed)
        ref.progress = progressValues(program, static_cast<std::int64_t>(ref.totalFrames));
    ExpectedRun run;
    run.text = testsupport::expectedFileText(inputPath, ref, settings.showProgress);
    const bool refused =
        ref.outcome == ReferenceOutcome::IllegalFormat || ref.outcome == ReferenceOutcome::QualityOutOfRange;
    run.result = refused ? -1 : 0;
    run.hasOutput = ref.outcome == ReferenceOutcome::Processed;
    if (run.hasOutput) run.output = ref.output;
    return run;
}

void runFileTarget(Program program, const std::uint8_t* data, std::size_t size) {
    const std::string inputPath = scratchPath("in.wav");
    const std::string outputPath = scratchPath("out.wav");
    const std::string textPath = scratchPath("stdout.txt");
    static const bool captured = std::freopen(textPath.c_str(), "w", stdout) != nullptr;
    check(captured, "standard output can be sent to a file");
    writeWholeFile(inputPath, data, size);
    unlink(outputPath.c_str());
    std::fflush(stdout);
    check(ftruncate(fileno(stdout), 0) == 0 && std::fseek(stdout, 0, SEEK_SET) == 0, "the text file can be emptied");

    const CorrectorSettings settings = fileRunSettings();
    const StreamStage& stage = program == Program::Iir ? IIR_STREAM_STAGE : FIR_STREAM_STAGE;
    const int result = processFile(stage, settings, inputPath.c_str(), outputPath.c_str());
    std::fflush(stdout);

    const Bytes input(data, data + size);
    Bytes after;
    check(readWholeFile(inputPath, &after) && after == input, "the input file is left byte for byte");
    const ExpectedRun expected = expectedRun(program, inputPath, input, settings);
    check(result == expected.result, "processFile's result is the model's");
    Bytes printed;
    check(readWholeFile(textPath, &printed), "the printed text can be read back");
    check(withoutElapsedTime(std::string(printed.begin(), printed.end())) == expected.text,
          "the printed text is the model's");
    Bytes output;
    const bool exists = readWholeFile(outputPath, &output);
    check(exists == expected.hasOutput, "an output file exists exactly when the model makes one");
    check(output.size() == expected.output.size(), "the output file has the model's length");
    check(output == expected.output, "the output file is the model's, byte for byte");
}

}  // namespace fuzz
