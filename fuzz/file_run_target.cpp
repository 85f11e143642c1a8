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

ExpectedRun noOutput(int result, const std::string& text) {
    ExpectedRun run;
    run.result = result;
    run.text = text;
    return run;
}

std::string progress(double percent) {
    char shown[64];
    const int length = std::snprintf(shown, sizeof shown, "%1.01f%%", percent);
    return std::string(shown) + std::string(static_cast<std::size_t>(length), '\r');
}

// The progress shown before every block (IIR) or window refill (FIR) of a
// file of `total` frames: the IIR program reads blocks of BLOCK_FRAMES, the
// FIR program refills before frame 0, a quarter window later and then
// every half window, while frames remain.
std::string progressText(Program program, std::int64_t total) {
    std::string text;
    if (program == Program::Iir) {
        if (total == 0) return progress(0.0);
        for (std::int64_t done = 0; done < total; done += BLOCK_FRAMES)
            text += progress(static_cast<double>(done) * 100.0 / static_cast<double>(total));
        return text;
    }
    for (std::int64_t n = 0; n < total; n += n == 0 ? BLOCK_FRAMES / 4 : BLOCK_FRAMES / 2)
        text += progress(static_cast<double>(n) * 100.0 / static_cast<double>(total));
    return text;
}

// The FIR program's output file for an input the reference model accepts
// and can read: the same header, and per frame and channel the kernel
// centred on the frame over the DC-free samples with zeros beyond both
// ends, times the fade-out and then the fade-in factor.
Bytes firOutput(const Bytes& input, const testsupport::ReferenceResult& ref, const CorrectorSettings& settings,
                double* clipPeak) {
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
    double& peak = *clipPeak;
    peak = 0.0;
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
    testsupport::ReferenceSettings referenceSettings;
    referenceSettings.effect = settings.effect;
    referenceSettings.gain = settings.gain;
    referenceSettings.fadeIn = settings.fadeIn;
    referenceSettings.fadeOut = settings.fadeOut;
    testsupport::ReferenceResult ref = testsupport::referenceRun(input, referenceSettings);
    const std::string processing = testsupport::processingLine(inputPath);
    if (ref.outcome == testsupport::ReferenceOutcome::IllegalFormat)
        return noOutput(-1, processing + "ERROR! illegal wav format\n");
    const std::string wavInfo = testsupport::wavInfoLine(ref);
    // The FIR program refuses a kernel its window cannot hold before it
    // reads any sample.
    if (program == Program::Fir && firHalfLength(settings.quality, ref.sampleRate) > MAX_FIR_HALF_LENGTH)
        return noOutput(-1, processing + wavInfo + "ERROR! quality out of range\n");
    if (ref.outcome == testsupport::ReferenceOutcome::ReadFailure)
        return noOutput(0, processing + wavInfo + "ERROR! cannot read file\n");
    ExpectedRun run;
    run.result = 0;
    run.hasOutput = true;
    if (program == Program::Iir) {
        run.output = ref.output;
    } else {
        run.output = firOutput(input, ref, settings, &ref.clipPeak);
    }
    run.text = processing + wavInfo + progressText(program, static_cast<std::int64_t>(ref.totalFrames)) +
               testsupport::streamingText(ref, false);
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
