#include "console/fir_stream.h"

#include <algorithm>
#include <cstring>

#include "console/block_io.h"
#include "console/fades.h"
#include "console/file_report.h"
#include "console/pcm_mapping.h"
#include "dsp/fir_corrector.h"
#include "dsp/fir_fast.h"

namespace console {

namespace {

// The refill schedule: a refill comes before the frame at which
// framesSinceRead reaches this (0xC0000 with the programs' window), which
// keeps every centre position between a quarter and three quarters of the
// window (0x40000 to 0xBFFFF).
constexpr std::int64_t REFILL_AT = BLOCK_FRAMES - BLOCK_FRAMES / 4;

// Refuses a negative quality, and a sample rate and quality whose kernel the
// window cannot hold. N comes from the exact product, so a product beyond
// 32 bits (a rate in the megahertz range or above) is refused too.
FileResult checkHalfLength(FileRun& run) {
    if (run.settings.quality < 0 ||
        dsp::halfLengthExact(run.settings.quality, run.format.sampleRate) > MAX_FIR_HALF_LENGTH)
        return FileResult::QualityOutOfRange;
    return FileResult::Ok;
}

// One window per channel, every position 0.0, so that the taps before the
// first frame of the file read silence.
FileResult allocateWindows(FileRun& run) {
    for (int c = 0; c < run.format.channels; ++c) {
        run.inputPlanes[c] = allocateBuffer<double>(BLOCK_FRAMES);
        if (run.inputPlanes[c] == nullptr) return FileResult::OutOfMemory;
    }
    return FileResult::Ok;
}

// The state of the frame loop.
struct FrameLoop {
    std::int64_t framesSinceRead = BLOCK_FRAMES;  // frames since the last refill, offset so one comes first
    std::int64_t windowBase = BLOCK_FRAMES;       // window position of file frame 0
    std::int64_t writeIndex = 0;                  // next free frame of the output PCM
    std::uint32_t remainingBytes = 0;             // data chunk bytes not yet read
};

// The corrector of one file: its kernel and, where it applies, the fast
// form of its sums.
struct FirEngine {
    dsp::FirCorrector corrector;
    dsp::FastFir fast;
    bool fastUsable;
    double* scratch;  // lets the fast form use vector lanes; may be null
};

// Frames finished at a time, with their fade factors on the stack.
constexpr std::int64_t FINISH_FRAMES = 1024;

// Frames whose sums are computed, finished and encoded at a time: eight of
// the fast form's segments, whose sums (256 KiB) stay in the cache.
constexpr std::int64_t CONVOLVE_FRAMES = 8 * static_cast<std::int64_t>(dsp::FAST_FIR_SEGMENT);

// Turns the sums out[0 .. count - 1] of file frames n on (window positions
// centre on) into output values. With the fast form, a sum whose PCM sample
// the error bound leaves open is first replaced by the exact one: the sums
// at both ends of the bound go through the fade factors and the PCM
// scaling, and only where both truncate to the same integer is that
// integer certain. It is then the exact sum's sample, and the clip
// statistic, which depends on that integer alone, is the same too. Then each
// value gets the fade-out and the fade-in factor of its frame.
void finishFrames(FileRun& run, const FirEngine& fir, const double* window, std::ptrdiff_t centre, std::int64_t n,
                  std::int64_t count, double* out) {
    const CorrectorSettings& s = run.settings;
    const bool fades = s.fadeIn > 0 || s.fadeOut > 0;
    if (!fir.fastUsable && !fades) return;
    const std::uint32_t rate = run.format.sampleRate;
    const double bound = fir.fast.errorBound;
    const double scale = encodeScale(run.format);
    // Without fades both factors stay exactly 1.0, which changes no value.
    double fadeOut[FINISH_FRAMES], fadeIn[FINISH_FRAMES], low[FINISH_FRAMES], high[FINISH_FRAMES];
    std::fill(fadeOut, fadeOut + FINISH_FRAMES, 1.0);
    std::fill(fadeIn, fadeIn + FINISH_FRAMES, 1.0);
    for (std::int64_t first = 0; first < count; first += FINISH_FRAMES) {
        const auto length = static_cast<std::size_t>(std::min(FINISH_FRAMES, count - first));
        double* values = out + first;
        if (fades) {
            for (std::size_t j = 0; j < length; ++j) {
                const std::int64_t frame = n + first + static_cast<std::int64_t>(j);
                fadeOut[j] = fadeOutFactor(s, frame, run.totalFrames, rate);
                fadeIn[j] = fadeInFactor(s, frame, rate);
            }
        }
        if (fir.fastUsable) {
            if (fades) {
                for (std::size_t j = 0; j < length; ++j) {
                    low[j] = ((fadeOut[j] * (values[j] - bound)) * fadeIn[j]) * scale;
                    high[j] = ((fadeOut[j] * (values[j] + bound)) * fadeIn[j]) * scale;
                }
                dsp::settleRun(fir.corrector, window, centre + first, length, low, high, values);
            } else if (dsp::countUndecidedScaled(values, bound, scale, length) != 0) {
                // Factors of exactly 1.0 change no value: the same ends
                // without the multiplications, made only where one is open.
                for (std::size_t j = 0; j < length; ++j) {
                    low[j] = (values[j] - bound) * scale;
                    high[j] = (values[j] + bound) * scale;
                }
                dsp::settleRun(fir.corrector, window, centre + first, length, low, high, values);
            }
        }
        if (fades)
            for (std::size_t j = 0; j < length; ++j) values[j] = (fadeOut[j] * values[j]) * fadeIn[j];
    }
}

// Computes the `count` output frames from file frame `n` on, a piece at a
// time into the output planes: the kernel centred on each frame, then the
// fade-out and the fade-in factor of the frame. Each piece is then encoded
// into `pcm` at the write index, while its sums are still in the
// processor's cache.
void convolveFrames(FileRun& run, const FirEngine& fir, const FrameLoop& loop, std::int64_t n, std::int64_t count,
                    unsigned char* pcm) {
    const int channels = run.format.channels;
    const double* planes[dsp::MAX_CHANNELS] = {run.outputPlanes[0].get(), run.outputPlanes[1].get()};
    for (std::int64_t first = 0; first < count; first += CONVOLVE_FRAMES) {
        const std::int64_t length = std::min(CONVOLVE_FRAMES, count - first);
        const std::ptrdiff_t centre = n + first + loop.windowBase;
        for (int c = 0; c < channels; ++c) {
            const double* window = run.inputPlanes[c].get();
            double* out = run.outputPlanes[c].get();
            if (fir.fastUsable)
                dsp::fastConvolveRun(fir.fast, window, centre, static_cast<std::size_t>(length), out, fir.scratch);
            else
                dsp::convolveRun(fir.corrector, window, centre, static_cast<std::size_t>(length), out);
            finishFrames(run, fir, window, centre, n + first, length, out);
        }
        encodePcm(planes, length, run.format, pcm + (loop.writeIndex + first) * run.frameBytes(), &run.clipPeak);
    }
}

FileResult streamFrames(FileRun& run) {
    // The output planes hold one piece; its PCM collects in `outputPcm`
    // until half a window of it is written.
    const std::int64_t planeFrames = std::min(run.totalFrames, CONVOLVE_FRAMES);
    for (int c = 0; c < run.format.channels; ++c) {
        run.outputPlanes[c] = allocateBuffer<double>(static_cast<std::size_t>(planeFrames));
        if (run.outputPlanes[c] == nullptr) return FileResult::OutOfMemory;
    }
    Buffer<unsigned char> outputPcm =
        allocateBuffer<unsigned char>(static_cast<std::size_t>(std::min(run.totalFrames, HALF_BLOCK_FRAMES)) *
                                      run.frameBytes());
    if (outputPcm == nullptr) return FileResult::OutOfMemory;
    // Checked before: 0 <= N <= MAX_FIR_HALF_LENGTH.
    const std::int64_t halfLength = dsp::halfLengthExact(run.settings.quality, run.format.sampleRate);
    Buffer<double> kernel = allocateBuffer<double>(2 * static_cast<std::size_t>(halfLength) + 1);
    if (kernel == nullptr) return FileResult::OutOfMemory;
    FirEngine fir = {{static_cast<std::int32_t>(halfLength), kernel.get()}, {}, false, nullptr};
    dsp::fillKernel(fir.corrector, run.settings.effect, run.settings.gain, run.format.sampleRate);
    Buffer<double> powers;
    const std::size_t tableLength = dsp::fastFirTableLength(fir.corrector.halfLength);
    if (fir.corrector.halfLength >= dsp::FAST_FIR_MIN_HALF_LENGTH) {
        powers = allocateBuffer<double>(tableLength);
        if (powers == nullptr) return FileResult::OutOfMemory;
        // Window values lie below 2 in magnitude: a sample minus its
        // channel's DC offset stays below 65535 (16-bit) or 255 (8-bit)
        // steps, even when a partial last frame adds one more sample to the
        // channel's sum, and a step is 2^-15 or 2^-7.
        fir.fastUsable = dsp::prepareFastFir(&fir.fast, powers.get(), fir.corrector, run.settings.effect,
                                             run.settings.gain, run.format.sampleRate, 2.0);
        // The PCM buffer lies idle while the sums are computed (refills
        // decode it before, writes encode into it after), so where it is
        // large enough it serves as the fast form's scratch memory.
        const std::size_t scratchBytes = dsp::fastFirScratchLength(fir.corrector.halfLength) * sizeof(double);
        if (scratchBytes > 0 && scratchBytes <= run.pcmBufferBytes)
            fir.scratch = reinterpret_cast<double*>(run.pcmBuffer.get());
    }

    FrameLoop loop;
    loop.remainingBytes = run.dataSize;
    const std::int64_t total = run.totalFrames;
    std::int64_t n = 0;
    while (n < total) {
        if (loop.framesSinceRead >= REFILL_AT) {
            if (run.settings.showProgress)
                showProgress(static_cast<double>(n) * 100.0 / static_cast<double>(total));
            const FileResult result = readWindowBlock(run, &loop.remainingBytes);
            if (result != FileResult::Ok) return result;
            loop.framesSinceRead -= HALF_BLOCK_FRAMES;
            loop.windowBase -= HALF_BLOCK_FRAMES;
        }
        // Frames up to the next refill, a full output PCM buffer or the end.
        std::int64_t count = std::min({total - n, REFILL_AT - loop.framesSinceRead,
                                       HALF_BLOCK_FRAMES - loop.writeIndex});
        convolveFrames(run, fir, loop, n, count, outputPcm.get());
        n += count;
        loop.framesSinceRead += count;
        loop.writeIndex += count;
        if (loop.writeIndex >= HALF_BLOCK_FRAMES) {
            const FileResult result = writePcm(run, outputPcm.get(), HALF_BLOCK_FRAMES * run.frameBytes());
            if (result != FileResult::Ok) return result;
            loop.writeIndex -= HALF_BLOCK_FRAMES;
        }
    }
    const auto rest = static_cast<std::uint32_t>(loop.writeIndex * run.frameBytes());
    return rest > 0 ? writePcm(run, outputPcm.get(), rest) : FileResult::Ok;
}

}  // namespace

FileResult readWindowBlock(FileRun& run, std::uint32_t* remainingBytes) {
    const std::uint32_t halfBytes = static_cast<std::uint32_t>(HALF_BLOCK_FRAMES) * run.frameBytes();
    const std::uint32_t bytes = std::min(*remainingBytes, halfBytes);
    const int channels = run.format.channels;
    double* windows[dsp::MAX_CHANNELS] = {run.inputPlanes[0].get(), run.inputPlanes[1].get()};
    for (int c = 0; c < channels; ++c)
        std::memmove(windows[c], windows[c] + HALF_BLOCK_FRAMES, HALF_BLOCK_FRAMES * sizeof(double));
    std::int64_t frames = 0;
    if (bytes > 0) {
        if (readPcm(run, bytes) != FileResult::Ok) return FileResult::CannotRead;
        frames = bytes / run.frameBytes();  // a partial frame at the end is dropped
        decodePcm(run.pcmBuffer.get(), frames, run.format, run.dcOffset, windows, HALF_BLOCK_FRAMES);
    }
    for (int c = 0; c < channels; ++c)
        std::fill(windows[c] + HALF_BLOCK_FRAMES + frames, windows[c] + BLOCK_FRAMES, 0.0);
    *remainingBytes -= bytes;
    return FileResult::Ok;
}

const StreamStage FIR_STREAM_STAGE = {checkHalfLength, allocateWindows, streamFrames};

}  // namespace console
