#include "fuzz/file_run_target.h"

#include <cstdio>
#include <string>

#include <unistd.h>

#include "console/fades.h"
#include "console/fir_stream.h"
#include "console/iir_stream.h"
#include "console/pcm_mapping.h"
#include "console/process_file.h"
#include "console/wav_container.h"
#include "dsp/fir_corrector.h"
#include "fuzz/check.h"
#include "fuzz/memory_file.h"
#include "fuzz/scratch_dir.h"
#include "tests/support/reference_model.h"

namespace fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

ExpectedRun noOutput(int result) {
    ExpectedRun run;
    run.result = result;
    return run;
}

// The FIR program's output file for an input the reference model accepts
// and can read: the same header, and per frame and channel the kernel
// centred on the frame over the DC-free samples with zeros beyond both
// ends, times the fade-out and then the fade-in factor.
Bytes firOutput(const Bytes& input, const testsupport::ReferenceResult& ref, const CorrectorSettings& settings) {
    WavFormat format;
    std::uint32_t dataSize = 0;
    platform::FileHandle file = memoryFileWith(input.data(), input.size());
    check(readWavHeader(file, &format, &dataSize) == 1, "the reader accepts what the model accepts");
    const std::size_t dataStart = static_cast<std::size_t>(lseek(static_cast<int>(file.value), 0, SEEK_CUR));

    const int channels = ref.channels;
    const int bytesPerSample = ref.bitsPerSample / 8;
    const auto total = static_cast<std::int64_t>(ref.totalFrames);
    const auto n = static_cast<std::int32_t>(firHalfLength(settings.quality, ref.sampleRate));
    std::vector<double> kernel(2 * static_cast<std::size_t>(n) + 1);
    const dsp::FirCorrector corrector = {n, kernel.data()};
    dsp::fillKernel(corrector, settings.effect, settings.gain, ref.sampleRate);

    std::vector<std::vector<double>> padded(channels, std::vector<double>(total + 2 * n, 0.0));
    for (std::int64_t j = 0; j < total; ++j) {
        for (int c = 0; c < channels; ++c) {
            const std::uint8_t* p = &input[dataStart + (j * channels + c) * bytesPerSample];
            padded[c][n + j] = bytesPerSample == 2
                                   ? (static_cast<std::int16_t>(p[0] | (p[1] << 8)) - ref.dcOffset[c]) * 0.000030517578125
                                   : (p[0] - ref.dcOffset[c]) * 0.0078125;
        }
    }
    Bytes out(ref.output.begin(), ref.output.begin() + WAV_HEADER_BYTES);
    double peak = 0.0;
    for (std::int64_t j = 0; j < total; ++j) {
        const double in = fadeInFactor(settings, j, ref.sampleRate);
        const double fadeOut = fadeOutFactor(settings, j, total, ref.sampleRate);
        for (int c = 0; c < channels; ++c) {
            const double v = (fadeOut * dsp::convolveAt(corrector, padded[c].data(), n + j)) * in;
            if (bytesPerSample == 2) {
                const auto sample = static_cast<std::uint16_t>(encodeSample16(v, &peak));
                out.push_back(static_cast<std::uint8_t>(sample));
                out.push_back(static_cast<std::uint8_t>(sample >> 8));
            } else {
                out.push_back(encodeSample8(v, &peak));
            }
        }
    }
    return out;
}

}  // namespace

CorrectorSettings fileRunSettings() {
    CorrectorSettings settings;
    settings.fadeIn = 5;
    settings.fadeOut = 5;
    settings.overwrite = true;
    return settings;
}

ExpectedRun expectedRun(Program program, const Bytes& input, const CorrectorSettings& settings) {
    testsupport::ReferenceSettings referenceSettings;
    referenceSettings.effect = settings.effect;
    referenceSettings.gain = settings.gain;
    referenceSettings.fadeIn = settings.fadeIn;
    referenceSettings.fadeOut = settings.fadeOut;
    const testsupport::ReferenceResult ref = testsupport::referenceRun(input, referenceSettings);
    if (ref.outcome == testsupport::ReferenceOutcome::IllegalFormat) return noOutput(-1);
    // The FIR program refuses a kernel its window cannot hold before it
    // reads any sample.
    if (program == Program::Fir && firHalfLength(settings.quality, ref.sampleRate) > MAX_FIR_HALF_LENGTH)
        return noOutput(-1);
    if (ref.outcome == testsupport::ReferenceOutcome::ReadFailure) return noOutput(0);
    ExpectedRun run;
    run.result = 0;
    run.hasOutput = true;
    run.output = program == Program::Iir ? ref.output : firOutput(input, ref, settings);
    return run;
}

void runFileTarget(Program program, const std::uint8_t* data, std::size_t size) {
    static const bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
    check(quiet, "standard output can be sent to /dev/null");
    const std::string inputPath = scratchPath("in.wav");
    const std::string outputPath = scratchPath("out.wav");
    writeWholeFile(inputPath, data, size);
    unlink(outputPath.c_str());

    const CorrectorSettings settings = fileRunSettings();
    const StreamStage& stage = program == Program::Iir ? IIR_STREAM_STAGE : FIR_STREAM_STAGE;
    const int result = processFile(stage, settings, inputPath.c_str(), outputPath.c_str());
    std::fflush(stdout);

    const Bytes input(data, data + size);
    Bytes after;
    check(readWholeFile(inputPath, &after) && after == input, "the input file is left byte for byte");
    const ExpectedRun expected = expectedRun(program, input, settings);
    check(result == expected.result, "processFile's result is the model's");
    Bytes output;
    const bool exists = readWholeFile(outputPath, &output);
    check(exists == expected.hasOutput, "an output file exists exactly when the model makes one");
    check(output.size() == expected.output.size(), "the output file has the model's length");
    check(output == expected.output, "the output file is the model's, byte for byte");
}

}  // namespace fuzz
