// Times the FIR convolution at 44.1 kHz, quality 100 (N = 882, 1765 taps):
// the plain loop of convolveAt per sample against every run form this
// processor supports, over stereo audio of a given length (default 60 s).
// Every run form must give the same bits as the plain loop. Then, for
// half-lengths around the programs' threshold, the exact run form against
// the fast form with its decision and settling (as qortafir computes its
// 16-bit samples), in long runs and in runs of a video frame.
//
// Usage: bench_fir_convolve [seconds]
// Exit status 0 when every form matched the plain loop, 1 otherwise, 2 on a
// bad argument.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "dsp/fir_convolve.h"
#include "dsp/fir_corrector.h"
#include "dsp/fir_fast.h"

namespace {

constexpr double SAMPLE_RATE = 44100.0;
constexpr std::int32_t HALF_LENGTH = 882;  // quality 100: 100 x 44100 / 5000
constexpr int CHANNELS = 2;
constexpr std::size_t VIDEO_FRAME_SAMPLES = 1470;  // one frame at 30 frames per second

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void report(const char* name, double seconds, double macs, double scalarSeconds, bool identical) {
    std::printf("%-34s %8.3f s %9.3f GMAC/s %7.2fx  %s\n", name, seconds, macs / seconds * 1e-9,
                scalarSeconds / seconds, identical ? "identical" : "DIFFERENT");
}

double threadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Nanoseconds per output of the exact run form and of the fast form with
// its decision and settling, over `window` in runs of `run` outputs.
void timeForms(const std::vector<double>& window, std::int32_t n, std::size_t run, double* exactNs, double* fastNs) {
    std::vector<double> kernel(2 * static_cast<std::size_t>(n) + 1), powers(dsp::fastFirTableLength(n));
    const dsp::FirCorrector corrector{n, kernel.data()};
    dsp::fillKernel(corrector, 100.0, 100.0, SAMPLE_RATE);
    dsp::FastFir fast;
    dsp::prepareFastFir(&fast, powers.data(), corrector, 100.0, 100.0, SAMPLE_RATE, 2.0);
    const std::size_t count = window.size() - 2 * static_cast<std::size_t>(n);
    std::vector<double> out(count), scratch(dsp::fastFirScratchLength(n)), low(run), high(run);
    // Best of five, in processor time: the figures are small and the
    // machine may be busy.
    *exactNs = *fastNs = 1e30;
    for (int repeat = 0; repeat < 5; ++repeat) {
        double start = threadSeconds();
        for (std::size_t done = 0; done < count; done += run)
            dsp::convolveRun(corrector, window.data(), n + static_cast<std::ptrdiff_t>(done),
                             std::min(run, count - done), out.data() + done);
        *exactNs = std::min(*exactNs, (threadSeconds() - start) * 1e9 / static_cast<double>(count));
        start = threadSeconds();
        for (std::size_t done = 0; done < count; done += run) {
            const std::size_t length = std::min(run, count - done);
            double* sums = out.data() + done;
            const std::ptrdiff_t centre = n + static_cast<std::ptrdiff_t>(done);
            dsp::fastConvolveRun(fast, window.data(), centre, length, sums, scratch.data());
            for (std::size_t j = 0; j < length; ++j) {
                low[j] = (sums[j] - fast.errorBound) * 32768.0;
                high[j] = (sums[j] + fast.errorBound) * 32768.0;
            }
            dsp::settleRun(corrector, window.data(), centre, length, low.data(), high.data(), sums);
        }
        *fastNs = std::min(*fastNs, (threadSeconds() - start) * 1e9 / static_cast<double>(count));
    }
}

void compareFastByHalfLength(const std::vector<double>& audio) {
    const std::vector<double> window(audio.begin(), audio.begin() + std::min<std::size_t>(audio.size(), 1 << 18));
    std::printf("exact (%s) against fast, ns per output; the programs use the fast form from N = %d on\n",
                dsp::convolvePathName(dsp::bestConvolvePath()), dsp::FAST_FIR_MIN_HALF_LENGTH);
    std::printf("%6s %14s %14s %16s %16s\n", "N", "exact, long", "fast, long", "exact, 1470s", "fast, 1470s");
    for (const std::int32_t n : {4, 8, 12, 16, 24, 32, 48, 64, 128, 882}) {
        double exactLong = 0.0, fastLong = 0.0, exactFrames = 0.0, fastFrames = 0.0;
        timeForms(window, n, window.size(), &exactLong, &fastLong);
        timeForms(window, n, VIDEO_FRAME_SAMPLES, &exactFrames, &fastFrames);
        std::printf("%6d %14.2f %14.2f %16.2f %16.2f\n", n, exactLong, fastLong, exactFrames, fastFrames);
    }
}

}  // namespace

int main(int argc, char** argv) {
    double audioSeconds = 60.0;
    if (argc > 1) {
        char* end = nullptr;
        audioSeconds = std::strtod(argv[1], &end);
        if (*end != '\0' || !(audioSeconds > 0.0) || audioSeconds > 3600.0) {
            std::fprintf(stderr, "usage: bench_fir_convolve [seconds of stereo audio, 0 < s <= 3600]\n");
            return 2;
        }
    }
    const std::size_t frames = static_cast<std::size_t>(audioSeconds * SAMPLE_RATE);
    const std::size_t taps = 2 * HALF_LENGTH + 1;
    const double macs = static_cast<double>(frames) * CHANNELS * static_cast<double>(taps);

    std::vector<double> kernel(taps);
    const dsp::FirCorrector corrector{HALF_LENGTH, kernel.data()};
    dsp::fillKernel(corrector, 100.0, 100.0, SAMPLE_RATE);

    // Audio-like input with the context of N samples on each side.
    std::mt19937 random(1);
    std::uniform_real_distribution<double> level(-0.5, 0.5);
    std::vector<std::vector<double>> windows(CHANNELS, std::vector<double>(frames + 2 * HALF_LENGTH));
    for (std::vector<double>& window : windows)
        for (double& sample : window) sample = level(random);

    std::printf("FIR convolution, %.0f Hz, N = %d (%zu taps), %.1f s of stereo audio: %.3g multiply-adds\n",
                SAMPLE_RATE, HALF_LENGTH, taps, audioSeconds, macs);

    std::vector<std::vector<double>> expected(CHANNELS, std::vector<double>(frames));
    auto start = std::chrono::steady_clock::now();
    for (int ch = 0; ch < CHANNELS; ++ch)
        for (std::size_t i = 0; i < frames; ++i)
            expected[ch][i] = dsp::convolveAt(corrector, windows[ch].data(), HALF_LENGTH + static_cast<std::ptrdiff_t>(i));
    const double scalarSeconds = secondsSince(start);
    report("convolveAt per sample", scalarSeconds, macs, scalarSeconds, true);

    bool allIdentical = true;
    std::vector<double> out(frames);
    auto matches = [&](int ch) { return std::memcmp(out.data(), expected[ch].data(), frames * sizeof(double)) == 0; };

    for (int p = 0; p < dsp::CONVOLVE_PATH_COUNT; ++p) {
        const dsp::ConvolvePath path = static_cast<dsp::ConvolvePath>(p);
        if (!dsp::convolvePathAvailable(path)) {
            std::printf("convolveRun %-16s not available on this processor\n", dsp::convolvePathName(path));
            continue;
        }
        double seconds = 0.0;
        bool identical = true;
        for (int ch = 0; ch < CHANNELS; ++ch) {
            start = std::chrono::steady_clock::now();
            dsp::convolveRunWith(path, corrector, windows[ch].data(), HALF_LENGTH, frames, out.data());
            seconds += secondsSince(start);
            identical = identical && matches(ch);
        }
        char name[64];
        std::snprintf(name, sizeof name, "convolveRun %s", dsp::convolvePathName(path));
        report(name, seconds, macs, scalarSeconds, identical);
        allIdentical = allIdentical && identical;
    }

    // The plug-in convolves one video frame per call; the short runs cost
    // more block tails.
    double seconds = 0.0;
    bool identical = true;
    for (int ch = 0; ch < CHANNELS; ++ch) {
        start = std::chrono::steady_clock::now();
        for (std::size_t done = 0; done < frames; done += VIDEO_FRAME_SAMPLES) {
            const std::size_t count = frames - done < VIDEO_FRAME_SAMPLES ? frames - done : VIDEO_FRAME_SAMPLES;
            dsp::convolveRun(corrector, windows[ch].data(), HALF_LENGTH + static_cast<std::ptrdiff_t>(done), count,
                             out.data() + done);
        }
        seconds += secondsSince(start);
        identical = identical && matches(ch);
    }
    char name[64];
    std::snprintf(name, sizeof name, "convolveRun %s, runs of %zu", dsp::convolvePathName(dsp::bestConvolvePath()),
                  VIDEO_FRAME_SAMPLES);
    report(name, seconds, macs, scalarSeconds, identical);
    allIdentical = allIdentical && identical;

    std::printf("%s\n\n", allIdentical ? "all forms give the same bits as convolveAt" : "MISMATCH");
    compareFastByHalfLength(windows[0]);
    return allIdentical ? 0 : 1;
}
