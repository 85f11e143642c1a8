// Times the FIR convolution at 44.1 kHz, quality 100 (N = 882, 1765 taps):
// the plain loop of convolveAt per sample against every run form this
// processor supports, over stereo audio of a given length (default 60 s).
// Every run form must give the same bits as the plain loop.
//
// Usage: bench_fir_convolve [seconds]
// Exit status 0 when every form matched the plain loop, 1 otherwise, 2 on a
// bad argument.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "dsp/fir_convolve.h"
#include "dsp/fir_corrector.h"

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

    std::printf("%s\n", allIdentical ? "all forms give the same bits as convolveAt" : "MISMATCH");
    return allIdentical ? 0 : 1;
}
