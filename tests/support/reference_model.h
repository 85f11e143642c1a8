// Independent models of what the console programs make of one input file:
// each parses the header straight from the file's bytes, measures the DC
// offsets over the whole data chunk, corrects the whole file at once and
// converts back to PCM, and builds the expected output file byte for byte
// together with the numbers the program prints. This header holds the IIR
// program's model and what both models share (their settings, result and
// the expected console text); the FIR program's model is in
// fir_reference_model.h.
#ifndef QORTA_TESTS_SUPPORT_REFERENCE_MODEL_H
#define QORTA_TESTS_SUPPORT_REFERENCE_MODEL_H

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace testsupport {

struct ReferenceSettings {
    double effect = 100.0;  // percent
    double gain = 100.0;    // percent
    std::int32_t fadeIn = 0;   // ms, <= 0 = none
    std::int32_t fadeOut = 0;  // ms, <= 0 = none
    std::int32_t quality = 100;  // FIR kernel length control; the IIR model ignores it
};

enum class ReferenceOutcome {
    IllegalFormat,  // header refused: no output file, "illegal wav format"
    QualityOutOfRange,  // FIR only: N beyond the window, no output, "quality out of range"
    ReadFailure,    // the data chunk runs past the end of the file
    Processed,      // `output` holds the whole expected output file
};

struct ReferenceResult {
    ReferenceOutcome outcome = ReferenceOutcome::IllegalFormat;
    // Valid from QualityOutOfRange on:
    std::uint16_t bitsPerSample = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint32_t dataSize = 0;    // size field of the data chunk
    std::uint64_t totalFrames = 0;  // whole frames in the data chunk
    std::uint64_t halfLength = 0;   // FIR only: N = (quality x rate) / 5000 from the exact product
    // Valid for Processed:
    double dcOffset[2] = {0.0, 0.0};
    Bytes output;          // 46-byte header and the corrected samples
    double clipPeak = 0.0;  // peak level of a clipped sample over full scale; > 1.0 means clipping
    std::vector<double> progress;  // the progress values shown, in order
};

// The IIR model's result for the input file `input` run with `settings`.
ReferenceResult referenceRun(const Bytes& input, const ReferenceSettings& settings);

// The expected console text of the run of one file, from the "processing
// file" line to the end, for a run that needs no overwrite question and
// creates its output. The elapsed line reads "elapse M:SS" (see
// normaliseElapsed).
std::string expectedFileText(const std::string& inputPath, const ReferenceResult& run, bool showProgress);

// The pieces of that text, for runs that ask a question or fail later.
std::string processingLine(const std::string& inputPath);
std::string wavInfoLine(const ReferenceResult& run);
// Progress, line break, clip warning and elapsed line of a processed file.
std::string streamingText(const ReferenceResult& run, bool showProgress);
std::string overwriteQuestion(const std::string& outputPath);

}  // namespace testsupport

#endif
