// Whole-process benchmark of qortafir on a 60-second 44.1 kHz stereo 16-bit
// recording at quality 100 (N = 882, 1765 taps). In one run it measures
// qortafir and the same correction computed by the plain scalar loop: the
// reference model, which convolves every frame with convolveAt over the
// whole file, run by this benchmark as a child of its own in --scalar mode.
// It checks that the two outputs are identical byte for byte and, when sox
// is installed, times sox's fir effect with the same 1765 coefficients.
// Prints wall times, peak memory, the effective throughput
// (frames x channels x (2N + 1) / wall time, in multiply-adds per second)
// and the ratios against the goals. Run by hand:
//   bench_qortafir [runs] [folder]
//   bench_qortafir --scalar input.wav output.wav   (the scalar child)
// The files go to a scratch folder, or to `folder` when given (kept, for
// profiling the same input).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/bench_support.h"
#include "dsp/fir_convolve.h"
#include "dsp/fir_corrector.h"
#include "tests/support/fir_reference_model.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_dir.h"

using bench::Measure;

namespace {

constexpr std::size_t SECONDS = 60;
constexpr std::uint32_t RATE = 44100;
constexpr int CHANNELS = 2;
constexpr std::int32_t QUALITY = 100;

// The scalar child: the reference model's output for `input` at the
// default settings, written to `output`.
int runScalar(const char* input, const char* output) {
    testsupport::Bytes bytes;
    if (!testsupport::readBytes(input, &bytes)) return 1;
    testsupport::ReferenceSettings settings;
    settings.quality = QUALITY;
    const testsupport::ReferenceResult r = testsupport::firReferenceRun(bytes, settings);
    if (r.outcome != testsupport::ReferenceOutcome::Processed) return 1;
    return testsupport::writeBytes(output, r.output) ? 0 : 1;
}

// Writes the 2N + 1 taps that qortafir uses at the default settings, one a
// line with every digit a double needs.
bool writeCoefficients(const std::string& path, std::uint32_t halfLength) {
    std::vector<double> kernel(2 * halfLength + 1);
    dsp::fillKernel(dsp::FirCorrector{static_cast<std::int32_t>(halfLength), kernel.data()}, 100.0, 100.0, RATE);
    FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    for (double tap : kernel) std::fprintf(file, "%.17g\n", tap);
    return std::fclose(file) == 0;
}

std::string ownPath() {
    char buffer[4096];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return "";
    buffer[length] = '\0';
    return buffer;
}

void printThroughput(const char* name, double macs, const Measure& m) {
    std::printf("%-34s %8.3f s %9.1f MiB %9.3f GMAC/s\n", name, m.wallSeconds, m.peakKiB / 1024.0,
                macs / m.wallSeconds * 1e-9);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--scalar") == 0) return runScalar(argv[2], argv[3]);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    testsupport::TempDir scratch;
    const std::string folder = argc > 2 ? argv[2] : scratch.path();
    const std::string self = ownPath();
    if (folder.empty() || self.empty() || !bench::writeRecording(folder + "/in.wav", SECONDS)) {
        std::fprintf(stderr, "cannot write the test recording\n");
        return 1;
    }
    const std::uint32_t halfLength = testsupport::modelHalfLength(QUALITY, RATE);
    if (!writeCoefficients(folder + "/coefs.txt", halfLength)) {
        std::fprintf(stderr, "cannot write the coefficients\n");
        return 1;
    }
    const double frames = static_cast<double>(SECONDS * RATE);
    const double macs = frames * CHANNELS * (2.0 * halfLength + 1.0);
    std::printf("input: %zu s 44.1 kHz stereo 16-bit, %.1f MiB; quality %d, N = %u (%u taps); best of %d runs\n",
                SECONDS, bench::fileMiB(folder + "/in.wav"), QUALITY, halfLength, 2 * halfLength + 1, runs);
    std::printf("%.4g multiply-adds; qortafir convolves with the %s form\n", macs,
                dsp::convolvePathName(dsp::bestConvolvePath()));
    std::printf("(peak memory includes this process's %.1f MiB at the start of each child)\n\n",
                bench::ownPeakKiB() / 1024.0);

    auto fresh = [&](const char* name) {
        std::remove((folder + "/" + name).c_str());
        return std::string(name);
    };
    bench::measure({"cp", "in.wav", "warm.wav"}, folder);  // bring the input into the page cache
    Measure fir = bench::worstMeasure(), scalar = bench::worstMeasure(), sox = bench::worstMeasure();
    const bool haveSox = !testsupport::findTool("sox").empty();
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so that a busy moment of the machine hits all alike.
        bench::keepBest(fir, bench::measure({QORTAFIR_PATH, "-n", "in.wav", fresh("fir.wav")}, folder));
        bench::keepBest(scalar, bench::measure({self, "--scalar", "in.wav", fresh("scalar.wav")}, folder));
        if (haveSox)
            bench::keepBest(sox, bench::measure({"sox", "in.wav", fresh("sox.wav"), "fir", "coefs.txt"}, folder));
    }
    if (!fir.ok || !scalar.ok) {
        std::fprintf(stderr, "a run failed (qortafir %s, scalar %s)\n", fir.ok ? "ok" : "failed",
                     scalar.ok ? "ok" : "failed");
        return 1;
    }
    const testsupport::Bytes fast = testsupport::fileBytes(folder + "/fir.wav");
    const bool identical = !fast.empty() && fast == testsupport::fileBytes(folder + "/scalar.wav");

    printThroughput("qortafir -n in.wav fir.wav", macs, fir);
    printThroughput("plain scalar loop (convolveAt)", macs, scalar);
    if (haveSox && sox.ok) bench::printMeasure("sox in.wav sox.wav fir coefs.txt", sox);
    else if (haveSox) std::printf("%-34s failed\n", "sox fir");
    else std::printf("%-34s not installed\n", "sox");

    std::printf("\n");
    const double ratio = scalar.wallSeconds / fir.wallSeconds;
    const double peakMiB = fir.peakKiB / 1024.0;
    std::printf("outputs          %s\n", identical ? "identical byte for byte" : "DIFFERENT");
    std::printf("qortafir/scalar  %6.2fx  (goal >= 10x)   %s\n", ratio, ratio >= 10.0 ? "met" : "MISSED");
    std::printf("qortafir peak    %6.1f MiB (goal < 48 MiB) %s\n", peakMiB, peakMiB < 48.0 ? "met" : "MISSED");
    if (haveSox && sox.ok) std::printf("qortafir / sox   %6.2fx\n", fir.wallSeconds / sox.wallSeconds);
    return identical ? 0 : 1;
}
