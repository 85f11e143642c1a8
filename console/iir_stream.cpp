#include "console/iir_stream.h"

#include <algorithm>

#include "console/block_io.h"
#include "console/fades.h"
#include "console/file_report.h"
#include "console/pcm_mapping.h"
#include "dsp/iir_corrector.h"
#include "dsp/strength.h"

namespace console {

namespace {

// A block is read and written whole, but converted and corrected in slices
// of this many frames, so that the planes stay small enough for the
// processor's cache instead of spanning a whole block.
constexpr std::int64_t SLICE_FRAMES = 4096;

// One input and one output plane per channel, as long as a slice or the
// whole file, whichever is shorter.
bool allocatePlanes(FileRun& run) {
    std::int64_t frames = std::min(run.totalFrames, SLICE_FRAMES);
    for (int c = 0; c < run.format.channels; ++c) {
        run.inputPlanes[c] = allocateBuffer<double>(static_cast<std::size_t>(frames));
        run.outputPlanes[c] = allocateBuffer<double>(static_cast<std::size_t>(frames));
        if (run.inputPlanes[c] == nullptr || run.outputPlanes[c] == nullptr) return false;
    }
    return true;
}

// Corrects frames 0 .. count - 1 of the input planes into the output planes;
// `firstFrame` is the file frame of plane frame 0. The corrector works on a
// local copy, so that its state can stay in registers: the compiler cannot
// tell the output planes apart from a corrector held elsewhere.
void correctSlice(FileRun& run, dsp::IirCorrector& corrector, std::int64_t firstFrame, std::int64_t count) {
    const CorrectorSettings& s = run.settings;
    const std::uint32_t rate = run.format.sampleRate;
    const std::int64_t total = run.totalFrames;
    dsp::IirCorrector local = corrector;
    const double* in0 = run.inputPlanes[0].get();
    double* out0 = run.outputPlanes[0].get();
    if (run.format.channels == 2) {
        const double* in1 = run.inputPlanes[1].get();
        double* out1 = run.outputPlanes[1].get();
        for (std::int64_t j = 0; j < count; ++j) {
            const std::int64_t n = firstFrame + j;
            const double outputScale =
                ((fadeOutFactor(s, n, total, rate) * fadeInFactor(s, n, rate)) * s.gain) * 0.01;
            out0[j] = dsp::process(local, 0, in0[j]) * outputScale;
            out1[j] = dsp::process(local, 1, in1[j]) * outputScale;
        }
    } else {
        for (std::int64_t j = 0; j < count; ++j) {
            const std::int64_t n = firstFrame + j;
            const double outputScale =
                ((fadeOutFactor(s, n, total, rate) * fadeInFactor(s, n, rate)) * s.gain) * 0.01;
            out0[j] = dsp::process(local, 0, in0[j]) * outputScale;
        }
    }
    corrector = local;
}

// Corrects the `count` frames of PCM in the run's buffer in place, slice by
// slice; `firstFrame` is the file frame of the first one.
void correctBlock(FileRun& run, dsp::IirCorrector& corrector, std::int64_t firstFrame, std::int64_t count) {
    double* inputPlanes[dsp::MAX_CHANNELS] = {run.inputPlanes[0].get(), run.inputPlanes[1].get()};
    const double* outputPlanes[dsp::MAX_CHANNELS] = {run.outputPlanes[0].get(), run.outputPlanes[1].get()};
    for (std::int64_t done = 0; done < count; done += SLICE_FRAMES) {
        const std::int64_t frames = std::min(count - done, SLICE_FRAMES);
        unsigned char* pcm = run.pcmBuffer.get() + done * run.frameBytes();
        decodePcm(pcm, frames, run.format, run.dcOffset, inputPlanes, 0);
        correctSlice(run, corrector, firstFrame + done, frames);
        encodePcm(outputPlanes, frames, run.format, pcm, &run.clipPeak);
    }
}

// Reads `frameCount` frames of PCM from the input into the run's PCM buffer;
// they are converted to the planes slice by slice while the block is
// corrected. Returns Ok, or CannotRead when the read fails or delivers
// fewer bytes.
FileResult readBlock(FileRun& run, std::int64_t frameCount) {
    return readPcm(run, static_cast<std::uint32_t>(frameCount * run.frameBytes()));
}

FileResult streamBlocks(FileRun& run) {
    if (!allocatePlanes(run)) return FileResult::OutOfMemory;
    dsp::IirCorrector corrector;
    dsp::reset(corrector);
    dsp::configure(corrector, run.format.sampleRate, dsp::strengthFromEffect(run.settings.effect));

    const std::int64_t total = run.totalFrames;
    const std::int64_t blocks = (total - 1) / BLOCK_FRAMES + 1;
    std::int64_t remaining = total;
    std::int64_t n = 0;
    for (std::int64_t b = 0; b < blocks; ++b) {
        if (run.settings.showProgress)
            showProgress(total > 0 ? static_cast<double>(total - remaining) * 100.0 / static_cast<double>(total) : 0.0);
        std::int64_t count = std::min(remaining, BLOCK_FRAMES);
        FileResult result = readBlock(run, count);
        if (result != FileResult::Ok) return result;
        remaining -= count;
        correctBlock(run, corrector, n, count);
        n += count;
        result = writePcm(run, run.pcmBuffer.get(), static_cast<std::uint32_t>(count * run.frameBytes()));
        if (result != FileResult::Ok) return result;
    }
    return FileResult::Ok;
}

}  // namespace

const StreamStage IIR_STREAM_STAGE = {nullptr, nullptr, streamBlocks};

}  // namespace console
