// Benchmark of qortafir on a 3-minute 44.1 kHz stereo 16-bit recording.
//
// Whole processes, measured in one run and interleaved: qortafir at quality
// 100 (N = 882, 1765 taps) and 300 (N = 2646), qortaiir on the same file,
// and, when sox is installed, sox's FFT convolution with the same taps.
// Prints wall times, peak memory and the ratios against the goals.
//
// Then, in this process, the kernel's sums over the recording's first
// channel computed by the exact vectorised path (convolveRun) and by the
// fast closed form with the settling of undecided samples, as qortafir does
// them: the speed-up, and the share of samples computed exactly, for the
// recording and for adversarial integer plateaus (effect 0, gain 200).
// Run by hand:
//   bench_qortafir [runs] [folder]
// The files go to a scratch folder, or to `folder` when given (kept, for
// profiling the same input).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "dsp/fir_convolve.h"
#include "dsp/fir_corrector.h"
#include "dsp/fir_fast.h"
#include "tests/support/fir_reference_model.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_dir.h"

using bench::Measure;

namespace {

constexpr std::size_t SECONDS = 3 * 60;
constexpr std::uint32_t RATE = 44100;

// Writes the 2N + 1 taps that qortafir uses at `quality` and the default
// effect and gain, one a line with every digit a double needs.
bool writeCoefficients(const std::string& path, std::int32_t quality) {
    const std::uint32_t halfLength = testsupport::modelHalfLength(quality, RATE);
    std::vector<double> kernel(2 * halfLength + 1);
    dsp::fillKernel(dsp::FirCorrector{static_cast<std::int32_t>(halfLength), kernel.data()}, 100.0, 100.0, RATE);
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    for (double tap : kernel) std::fprintf(file, "%.17g\n", tap);
    return std::fclose(file) == 0;
}

double cpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The first channel of the recording as qortafir's window holds it: DC
// removed, 1.0 = full scale, with N zeros before and after.
std::vector<double> firstChannel(const std::string& path, std::int32_t n) {
    const testsupport::Bytes bytes = testsupport::fileBytes(path);
    const std::size_t data = 44;  // the recording's canonical header
    const std::size_t frames = bytes.size() < data ? 0 : (bytes.size() - data) / 4;
    std::vector<double> w(frames + 2 * static_cast<std::size_t>(n), 0.0);
    double sum = 0.0;
    for (std::size_t i = 0; i < frames; ++i) {
        const auto s = static_cast<std::int16_t>(bytes[data + 4 * i] | (bytes[data + 4 * i + 1] << 8));
        w[n + i] = s;
        sum += s;
    }
    const double dc = frames == 0 ? 0.0 : sum / static_cast<double>(frames);
    for (std::size_t i = 0; i < frames; ++i) w[n + i] = (w[n + i] - dc) * 0x1p-15;
    return w;
}

struct SumsFigures {
    double exactSeconds, fastSeconds, exactShare;
    bool identical;
};

// The sums of `w` (N zeros at each end) by both paths, and the 16-bit
// samples they give compared.
SumsFigures compareSums(const std::vector<double>& w, std::int32_t n, double effect, double gain) {
    const std::size_t count = w.size() - 2 * static_cast<std::size_t>(n);
    std::vector<double> kernel(2 * static_cast<std::size_t>(n) + 1), powers(dsp::fastFirTableLength(n));
    const dsp::FirCorrector corrector = {n, kernel.data()};
    dsp::fillKernel(corrector, effect, gain, RATE);
    dsp::FastFir fast;
    SumsFigures f = {0.0, 0.0, 1.0, false};
    if (!dsp::prepareFastFir(&fast, powers.data(), corrector, effect, gain, RATE, 2.0)) return f;

    std::vector<double> exact(count), sums(count), scratch(dsp::fastFirScratchLength(n));
    double start = cpuSeconds();
    dsp::convolveRun(corrector, w.data(), n, count, exact.data());
    f.exactSeconds = cpuSeconds() - start;

    constexpr std::size_t STEP = 1024;  // as qortafir settles them
    std::vector<double> low(STEP), high(STEP);
    std::size_t settled = 0;
    start = cpuSeconds();
    dsp::fastConvolveRun(fast, w.data(), n, count, sums.data(), scratch.data());
    for (std::size_t first = 0; first < count; first += STEP) {
        const std::size_t length = std::min(STEP, count - first);
        for (std::size_t j = 0; j < length; ++j) {
            low[j] = (sums[first + j] - fast.errorBound) * 32768.0;
            high[j] = (sums[first + j] + fast.errorBound) * 32768.0;
        }
        settled += dsp::settleRun(corrector, w.data(), n + static_cast<std::ptrdiff_t>(first), length, low.data(),
                                  high.data(), sums.data() + first);
    }
    f.fastSeconds = cpuSeconds() - start;
    f.exactShare = static_cast<double>(settled) / static_cast<double>(count);
    f.identical = true;
    for (std::size_t i = 0; i < count && f.identical; ++i)
        f.identical = std::trunc(sums[i] * 32768.0) == std::trunc(exact[i] * 32768.0);
    return f;
}

void printSums(const char* name, const SumsFigures& f) {
    std::printf("%-30s exact %7.3f s  fast %7.3f s  %6.1fx  exactly computed %8.4f %%  %s\n", name,
                f.exactSeconds, f.fastSeconds, f.exactSeconds / f.fastSeconds, 100.0 * f.exactShare,
                f.identical ? "same samples" : "DIFFERENT SAMPLES");
}

void printGoal(const char* name, double ratio, double goal) {
    std::printf("%-28s %6.2fx  (goal <= %gx)  %s\n", name, ratio, goal, ratio <= goal ? "met" : "MISSED");
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    testsupport::TempDir scratch;
    const std::string folder = argc > 2 ? argv[2] : scratch.path();
    if (folder.empty() || !bench::writeRecording(folder + "/in.wav", SECONDS)) {
        std::fprintf(stderr, "cannot write the test recording\n");
        return 1;
    }
    if (!writeCoefficients(folder + "/taps100.txt", 100) || !writeCoefficients(folder + "/taps300.txt", 300)) {
        std::fprintf(stderr, "cannot write the coefficients\n");
        return 1;
    }
    std::printf("input: 3 min 44.1 kHz stereo 16-bit, %.1f MiB; best of %d runs\n", bench::fileMiB(folder + "/in.wav"),
                runs);
    std::printf("exact convolution form on this processor: %s\n", dsp::convolvePathName(dsp::bestConvolvePath()));
    std::printf("(peak memory includes this process's %.1f MiB at the start of each child)\n\n",
                bench::ownPeakKiB() / 1024.0);

    auto fresh = [&](const char* name) {
        std::remove((folder + "/" + name).c_str());
        return std::string(name);
    };
    bench::measure({"cp", "in.wav", "warm.wav"}, folder);  // bring the input into the page cache
    Measure fir100 = bench::worstMeasure(), fir300 = bench::worstMeasure(), iir = bench::worstMeasure();
    Measure sox100 = bench::worstMeasure(), sox300 = bench::worstMeasure();
    const bool haveSox = !testsupport::findTool("sox").empty();
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so that a busy moment of the machine hits all alike.
        bench::keepBest(fir100, bench::measure({QORTAFIR_PATH, "-n", "in.wav", fresh("fir100.wav")}, folder));
        bench::keepBest(fir300,
                        bench::measure({QORTAFIR_PATH, "-n", "-q", "300", "in.wav", fresh("fir300.wav")}, folder));
        bench::keepBest(iir, bench::measure({QORTAIIR_PATH, "-n", "in.wav", fresh("iir.wav")}, folder));
        if (haveSox) {
            bench::keepBest(sox100, bench::measure({"sox", "in.wav", fresh("sox.wav"), "fir", "taps100.txt"}, folder));
            bench::keepBest(sox300, bench::measure({"sox", "in.wav", fresh("sox.wav"), "fir", "taps300.txt"}, folder));
        }
    }
    if (!fir100.ok || !fir300.ok || !iir.ok) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    bench::printMeasure("qortafir -n in.wav (q 100)", fir100);
    bench::printMeasure("qortafir -n -q 300 in.wav", fir300);
    bench::printMeasure("qortaiir -n in.wav", iir);
    if (haveSox && sox100.ok && sox300.ok) {
        bench::printMeasure("sox in.wav fir taps100.txt", sox100);
        bench::printMeasure("sox in.wav fir taps300.txt", sox300);
    } else {
        std::printf("%-34s %s\n", "sox fir", haveSox ? "failed" : "not installed");
    }
    std::printf("\n");
    if (haveSox && sox100.ok) printGoal("qortafir q100 / sox fir", fir100.wallSeconds / sox100.wallSeconds, 0.5);
    printGoal("qortafir q100 / qortaiir", fir100.wallSeconds / iir.wallSeconds, 2.5);
    printGoal("qortafir q300 / qortaiir", fir300.wallSeconds / iir.wallSeconds, 3.0);
    std::printf("qortafir peak               %6.1f MiB at q100, %.1f MiB at q300\n\n", fir100.peakKiB / 1024.0,
                fir300.peakKiB / 1024.0);

    // The sums alone, first channel, CPU time of this process.
    for (const std::int32_t quality : {100, 300}) {
        const auto n = static_cast<std::int32_t>(testsupport::modelHalfLength(quality, RATE));
        const std::vector<double> w = firstChannel(folder + "/in.wav", n);
        char name[64];
        std::snprintf(name, sizeof name, "recording, q %d (N = %d)", quality, n);
        printSums(name, compareSums(w, n, 100.0, 100.0));
    }
    const std::int32_t n = 882;
    std::vector<double> plateaus(RATE * 20 + 2 * n, 0.0);
    for (std::size_t i = n; i + n < plateaus.size(); ++i) plateaus[i] = ((i / 4410) % 2 ? 1200.0 : -1200.0) * 0x1p-15;
    printSums("plateaus, q 100, e 0, g 200", compareSums(plateaus, n, 0.0, 200.0));
    return 0;
}
