#include "console/fir_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "console/block_io.h"
#include "console/fades.h"
#include "console/file_report.h"
#include "console/pcm_mapping.h"
#include "dsp/fir_corrector.h"

namespace {

// The refill schedule: a refill comes before the frame at which
// framesSinceRead reaches this (0xC0000 with the programs' window), which
// keeps every centre position between a quarter and three quarters of the
// window (0x40000 to 0xBFFFF).
constexpr std::int64_t REFILL_AT = BLOCK_FRAMES - BLOCK_FRAMES / 4;

// Refuses a negative quality, and a sample rate and quality whose kernel the
// window cannot hold. A negative quality is refused whatever N its unsigned
// product happens to give.
int checkHalfLength(FileRun& run) {
    if (run.settings.quality < 0 ||
        firHalfLength(run.settings.quality, run.format.sampleRate) > MAX_FIR_HALF_LENGTH) {
        std::printf("ERROR! quality out of range\n");
        return -1;
    }
    return 0;
}

// One window per channel, every position 0.0, so that the taps before the
// first frame of the file read silence.
int allocateWindows(FileRun& run) {
    for (int c = 0; c < run.format.channels; ++c) {
        run.inputPlanes[c] = allocateBuffer<double>(BLOCK_FRAMES);
        if (run.inputPlanes[c] == nullptr) {
            std::printf("ERROR! out of memory\n");
            return -1;
        }
    }
    return 0;
}

// The state of the frame loop.
struct FrameLoop {
    std::int64_t framesSinceRead = BLOCK_FRAMES;  // frames since the last refill, offset so one comes first
    std::int64_t windowBase = BLOCK_FRAMES;       // window position of file frame 0
    std::int64_t writeIndex = 0;                  // next free frame of the output planes
    std::uint32_t remainingBytes = 0;             // data chunk bytes not yet read
};

// Computes the `count` output frames from file frame `n` on into the output
// planes at the write index: the kernel centred on each frame, then the
// fade-out and the fade-in factor of the frame.
void convolveFrames(FileRun& run, const dsp::FirCorrector& corrector, const FrameLoop& loop, std::int64_t n,
                    std::int64_t count) {
    const CorrectorSettings& s = run.settings;
    const std::uint32_t rate = run.format.sampleRate;
    const bool fades = s.fadeIn > 0 || s.fadeOut > 0;
    for (int c = 0; c < run.format.channels; ++c) {
        double* out = run.outputPlanes[c].get() + loop.writeIndex;
        dsp::convolveRun(corrector, run.inputPlanes[c].get(), n + loop.windowBase, static_cast<std::size_t>(count),
                         out);
        if (!fades) continue;  // both factors are exactly 1.0
        for (std::int64_t i = 0; i < count; ++i)
            out[i] = (fadeOutFactor(s, n + i, run.totalFrames, rate) * out[i]) * fadeInFactor(s, n + i, rate);
    }
}

int streamFrames(FileRun& run) {
    const std::int64_t planeFrames = std::min(run.totalFrames, HALF_BLOCK_FRAMES);
    for (int c = 0; c < run.format.channels; ++c) {
        run.outputPlanes[c] = allocateBuffer<double>(static_cast<std::size_t>(planeFrames));
        if (run.outputPlanes[c] == nullptr) {
            std::printf("ERROR! out of memory\n");
            return -1;
        }
    }
    const std::uint32_t halfLength = firHalfLength(run.settings.quality, run.format.sampleRate);
    Buffer<double> kernel = allocateBuffer<double>(2 * static_cast<std::size_t>(halfLength) + 1);
    if (kernel == nullptr) {
        std::printf("ERROR! out of memory\n");
        return -1;
    }
    const dsp::FirCorrector corrector = {static_cast<std::int32_t>(halfLength), kernel.get()};
    dsp::fillKernel(corrector, run.settings.effect, run.settings.gain, run.format.sampleRate);

    FrameLoop loop;
    loop.remainingBytes = run.dataSize;
    const std::int64_t total = run.totalFrames;
    std::int64_t n = 0;
    while (n < total) {
        if (loop.framesSinceRead >= REFILL_AT) {
            if (run.settings.showProgress)
                showProgress(static_cast<double>(n) * 100.0 / static_cast<double>(total));
            std::int64_t bytes = readWindowBlock(run, loop.remainingBytes);
            if (bytes < 0) {
                std::printf("ERROR! cannot read file\n");
                return -1;
            }
            loop.remainingBytes -= static_cast<std::uint32_t>(bytes);
            loop.framesSinceRead -= HALF_BLOCK_FRAMES;
            loop.windowBase -= HALF_BLOCK_FRAMES;
        }
        // Frames up to the next refill, full output planes or the end.
        std::int64_t count = std::min({total - n, REFILL_AT - loop.framesSinceRead,
                                       HALF_BLOCK_FRAMES - loop.writeIndex});
        convolveFrames(run, corrector, loop, n, count);
        n += count;
        loop.framesSinceRead += count;
        loop.writeIndex += count;
        if (loop.writeIndex >= HALF_BLOCK_FRAMES) {
            if (writeBlock(run, loop.writeIndex) < 0) {
                std::printf("ERROR! cannot write file\n");
                return -1;
            }
            loop.writeIndex -= HALF_BLOCK_FRAMES;
        }
    }
    if (loop.writeIndex > 0 && writeBlock(run, loop.writeIndex) < 0) {
        std::printf("ERROR! cannot write file\n");
        return -1;
    }
    return 0;
}

}  // namespace

std::uint32_t firHalfLength(std::int32_t quality, std::uint32_t sampleRate) {
    return static_cast<std::uint32_t>(quality) * sampleRate / 5000u;
}

std::int64_t readWindowBlock(FileRun& run, std::uint32_t remainingBytes) {
    const std::uint32_t halfBytes = static_cast<std::uint32_t>(HALF_BLOCK_FRAMES) * run.frameBytes();
    const std::uint32_t bytes = std::min(remainingBytes, halfBytes);
    const int channels = run.format.channels;
    double* windows[MAX_CHANNELS] = {run.inputPlanes[0].get(), run.inputPlanes[1].get()};
    for (int c = 0; c < channels; ++c)
        std::memmove(windows[c], windows[c] + HALF_BLOCK_FRAMES, HALF_BLOCK_FRAMES * sizeof(double));
    std::int64_t frames = 0;
    if (bytes > 0) {
        if (!readPcm(run, bytes)) return -1;
        frames = bytes / run.frameBytes();  // a partial frame at the end is dropped
        decodePcm(run.pcmBuffer.get(), frames, run.format, run.dcOffset, windows, HALF_BLOCK_FRAMES);
    }
    for (int c = 0; c < channels; ++c)
        std::fill(windows[c] + HALF_BLOCK_FRAMES + frames, windows[c] + BLOCK_FRAMES, 0.0);
    return bytes;
}

const StreamStage FIR_STREAM_STAGE = {checkHalfLength, allocateWindows, streamFrames};
