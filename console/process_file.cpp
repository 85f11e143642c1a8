#include "console/process_file.h"

#include <algorithm>
#include <cstdio>

#include "console/block_io.h"
#include "console/file_report.h"
#include "console/output_file.h"
#include "console/output_header.h"
#include "console/pcm_mapping.h"

namespace console {

namespace {

// The formats whose samples the driver can convert and whose state it holds.
bool supportedFormat(const WavFormat& format) {
    return (format.bitsPerSample == 8 || format.bitsPerSample == 16) && format.channels >= 1 &&
           format.channels <= dsp::MAX_CHANNELS && format.sampleRate >= 10;
}

// Whole frames in the data chunk; a partial frame at its end does not count.
std::int64_t countFrames(std::uint32_t dataSize, const WavFormat& format) {
    return static_cast<std::int64_t>(dataSize / format.channels) * 8 / format.bitsPerSample;
}

// The PCM buffer holds one block of frames, or the whole data chunk when
// that is smaller.
bool allocatePcmBuffer(FileRun& run) {
    std::uint32_t blockBytes = static_cast<std::uint32_t>(BLOCK_FRAMES) * run.frameBytes();
    run.pcmBufferBytes = std::max<std::uint32_t>(1, std::min(blockBytes, run.dataSize));
    run.pcmBuffer = allocateBuffer<unsigned char>(run.pcmBufferBytes);
    return run.pcmBuffer != nullptr;
}

// The DC offset of every channel: the mean raw sample value over the whole
// data chunk, read once before any output exists. Every chunk read but the
// last is a whole number of frames, so a sample's position in its chunk
// gives its channel.
//
// The sums are kept as integers. Added one by one in doubles they would be
// exact as well: a data chunk holds fewer than 2^32 bytes, so no partial sum
// reaches 2^46 and every one of them is a whole number that a double holds
// exactly. The integer sums therefore give the same bits as the sequential
// double sums, while letting the compiler add many samples at once.
// Returns Ok or CannotRead.
FileResult measureDcOffset(FileRun& run) {
    const int channels = run.format.channels;
    std::int64_t sum[dsp::MAX_CHANNELS] = {0, 0};
    std::uint32_t remaining = run.dataSize;
    while (remaining > 0) {
        std::uint32_t chunk = std::min(remaining, run.pcmBufferBytes);
        if (readPcm(run, chunk) != FileResult::Ok) return FileResult::CannotRead;
        sumPcm(run.pcmBuffer.get(), chunk, run.format, sum);
        remaining -= chunk;
    }
    if (run.totalFrames > 0) {
        double reciprocal = 1.0 / static_cast<double>(run.totalFrames);
        for (int c = 0; c < channels; ++c) run.dcOffset[c] = static_cast<double>(sum[c]) * reciprocal;
    }
    return FileResult::Ok;
}

// Watches the run's output while its header and samples are written (see
// watchStreamedOutput), until it goes out of scope.
class StreamWatch {
public:
    explicit StreamWatch(const FileRun& run) { watchStreamedOutput(run.output.get(), run.frameBytes()); }
    StreamWatch(const StreamWatch&) = delete;
    StreamWatch& operator=(const StreamWatch&) = delete;
    ~StreamWatch() { watchStreamedOutput(platform::invalidFile(), 1); }
};

// Writes the output header and streams every sample behind it. Returns Ok,
// or the failure that ended the output early.
FileResult writeOutput(FileRun& run, const StreamStage& stage) {
    auto dataLength = static_cast<std::uint32_t>(run.totalFrames * run.frameBytes());
    platform::FileHandle output = run.output.get();
    FileResult result = writeWavHeader(fileSink(&output), run.format, dataLength);
    if (result != FileResult::Ok) return result;
    if (run.dataStart < 0 ||
        platform::seekFile(run.input.get(), run.dataStart, platform::SeekOrigin::Begin) != run.dataStart)
        return FileResult::CannotRead;
    return stage.streamSamples(run);
}

// Everything from the header check to the closing report. Returns Ok, or
// the failure that ended the run early.
FileResult runFile(FileRun& run, const StreamStage& stage, const char* inputPath, const char* outputPath,
                   std::uint32_t startTick) {
    run.input.reset(platform::openInputFile(inputPath));
    if (!run.input.isOpen()) return FileResult::CannotOpenToRead;
    platform::FileHandle input = run.input.get();
    if (readWavHeader(fileSource(&input), &run.format, &run.dataSize) != FileResult::Ok ||
        !supportedFormat(run.format))
        return FileResult::IllegalFormat;
    run.dataStart = platform::seekFile(input, 0, platform::SeekOrigin::Current);
    run.totalFrames = countFrames(run.dataSize, run.format);
    printWavInfo(run);
    // The file's lines so far reach the log even if a signal ends the
    // program during the long work that follows.
    std::fflush(stdout);
    FileResult result = FileResult::Ok;
    if (stage.checkFormat != nullptr && (result = stage.checkFormat(run)) != FileResult::Ok) return result;
    if (!allocatePcmBuffer(run)) return FileResult::OutOfMemory;
    if ((result = measureDcOffset(run)) != FileResult::Ok) return result;
    if (stage.prepareInput != nullptr && (result = stage.prepareInput(run)) != FileResult::Ok) return result;
    if ((result = createOutput(run, outputPath)) != FileResult::Ok) return result;
    const StreamWatch watch(run);
    if ((result = writeOutput(run, stage)) != FileResult::Ok) {
        // Abandoned: the output keeps the whole frames written, and its
        // header tells them instead of the whole length.
        fitOutputToFrames(run.output.get(), run.frameBytes());
        return result;
    }
    printClosingReport(run, startTick);
    return FileResult::Ok;
}

// The failures that refuse the input itself, before any output exists.
bool inputRefused(FileResult result) {
    return result == FileResult::CannotOpenToRead || result == FileResult::IllegalFormat ||
           result == FileResult::QualityOutOfRange;
}

}  // namespace

int processFile(const StreamStage& stage, const CorrectorSettings& settings, const char* inputPath,
                const char* outputPath, const BatchInputs& batchInputs) {
    // Everything printed before this file (the previous file's lines
    // included) reaches standard output before its work starts.
    std::fflush(stdout);
    std::uint32_t startTick = platform::tickCount();
    std::printf("\nprocessing file \"%s\"\n", inputPath);
    FileRun run(settings);
    run.batchInputs = &batchInputs;
    const FileResult result = runFile(run, stage, inputPath, outputPath, startTick);
    std::fputs(fileResultMessage(result), stdout);
    return inputRefused(result) ? -1 : 0;
}

}  // namespace console
