#include "console/iir_stream.h"

#include <algorithm>
#include <cstdio>

#include "console/block_io.h"
#include "console/fades.h"
#include "console/file_report.h"
#include "console/pcm_mapping.h"
#include "dsp/iir_corrector.h"

namespace {

// One input and one output plane per channel, as long as a block or the
// whole file, whichever is shorter.
bool allocatePlanes(FileRun& run) {
    std::int64_t frames = std::min(run.totalFrames, BLOCK_FRAMES);
    for (int c = 0; c < run.format.channels; ++c) {
        run.inputPlanes[c] = allocateBuffer<double>(static_cast<std::size_t>(frames));
        run.outputPlanes[c] = allocateBuffer<double>(static_cast<std::size_t>(frames));
        if (run.inputPlanes[c] == nullptr || run.outputPlanes[c] == nullptr) return false;
    }
    return true;
}

// Corrects frames 0 .. count - 1 of the input planes into the output planes;
// `firstFrame` is the file frame of plane frame 0.
void correctBlock(FileRun& run, dsp::IirCorrector& corrector, std::int64_t firstFrame, std::int64_t count) {
    const CorrectorSettings& s = run.settings;
    const std::uint32_t rate = run.format.sampleRate;
    const int channels = run.format.channels;
    for (std::int64_t j = 0; j < count; ++j) {
        std::int64_t n = firstFrame + j;
        double outputScale =
            ((fadeOutFactor(s, n, run.totalFrames, rate) * fadeInFactor(s, n, rate)) * s.gain) * 0.01;
        for (int c = 0; c < channels; ++c)
            run.outputPlanes[c][j] = dsp::process(corrector, c, run.inputPlanes[c][j]) * outputScale;
    }
}

int streamBlocks(FileRun& run) {
    if (!allocatePlanes(run)) {
        std::printf("ERROR! out of memory\n");
        return -1;
    }
    dsp::IirCorrector corrector;
    dsp::reset(corrector);
    dsp::configure(corrector, run.format.sampleRate, run.settings.effect * 0.25);

    const std::int64_t total = run.totalFrames;
    const std::int64_t blocks = (total - 1) / BLOCK_FRAMES + 1;
    std::int64_t remaining = total;
    std::int64_t n = 0;
    for (std::int64_t b = 0; b < blocks; ++b) {
        if (run.settings.showProgress)
            showProgress(total > 0 ? static_cast<double>(total - remaining) * 100.0 / static_cast<double>(total) : 0.0);
        std::int64_t count = std::min(remaining, BLOCK_FRAMES);
        if (readBlock(run, count) < 0) {
            std::printf("ERROR! cannot read file\n");
            return -1;
        }
        remaining -= count;
        correctBlock(run, corrector, n, count);
        n += count;
        if (writeBlock(run, count) < 0) {
            std::printf("ERROR! cannot write file\n");
            return -1;
        }
    }
    return 0;
}

}  // namespace

std::int64_t readBlock(FileRun& run, std::int64_t frameCount) {
    auto bytes = static_cast<std::uint32_t>(frameCount * run.frameBytes());
    if (!readPcm(run, bytes)) return -1;
    double* planes[MAX_CHANNELS] = {run.inputPlanes[0].get(), run.inputPlanes[1].get()};
    decodePcm(run.pcmBuffer.get(), frameCount, run.format, run.dcOffset, planes, 0);
    return bytes;
}

const StreamStage IIR_STREAM_STAGE = {nullptr, nullptr, streamBlocks};
