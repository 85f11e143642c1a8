// Whole-process benchmark of qortaiir on a 3-minute 44.1 kHz stereo 16-bit
// recording, beside copying the same file with cp and, when sox is
// installed, a comparable sox filter chain. Prints wall times, peak memory
// and the ratios against the goals. Run by hand:
//   bench_qortaiir [runs] [folder]
// The files go to a scratch folder, or to `folder` when given (kept, for
// profiling the same input).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_support.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_dir.h"

using bench::Measure;

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    testsupport::TempDir scratch;
    const std::string folder = argc > 2 ? argv[2] : scratch.path();
    if (folder.empty() || !bench::writeRecording(folder + "/in.wav", 3 * 60)) {
        std::fprintf(stderr, "cannot write the test recording\n");
        return 1;
    }
    std::printf("input: 3 min 44.1 kHz stereo 16-bit, %.1f MiB; best of %d runs\n",
                bench::fileMiB(folder + "/in.wav"), runs);
    std::printf("(peak memory includes this process's %.1f MiB at the start of each child)\n\n",
                bench::ownPeakKiB() / 1024.0);

    // Each program writes a new file, as a user's run does.
    auto fresh = [&](const char* name) {
        std::remove((folder + "/" + name).c_str());
        return std::string(name);
    };
    bench::measure({"cp", "in.wav", "warm.wav"}, folder);  // bring the input into the page cache
    Measure iir = bench::worstMeasure(), copy = bench::worstMeasure(), sox = bench::worstMeasure();
    const bool haveSox = !testsupport::findTool("sox").empty();
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so that a busy moment of the machine hits all alike.
        bench::keepBest(iir, bench::measure({QORTAIIR_PATH, "in.wav", fresh("iir.wav")}, folder));
        bench::keepBest(copy, bench::measure({"cp", "in.wav", fresh("copy.wav")}, folder));
        if (haveSox)
            bench::keepBest(sox, bench::measure({"sox", "in.wav", fresh("sox.wav"), "highpass", "-1", "3", "bass",
                                                 "+20", "150"},
                                                folder));
    }

    if (!iir.ok || !copy.ok) {
        std::fprintf(stderr, "a run failed (qortaiir %s, cp %s)\n", iir.ok ? "ok" : "failed", copy.ok ? "ok" : "failed");
        return 1;
    }
    bench::printMeasure("qortaiir in.wav iir.wav", iir);
    bench::printMeasure("cp in.wav copy.wav", copy);
    if (haveSox && sox.ok) bench::printMeasure("sox highpass -1 3 bass +20 150", sox);
    else std::printf("%-34s not installed\n", "sox");

    std::printf("\n");
    const double copyRatio = iir.wallSeconds / copy.wallSeconds;
    const double peakMiB = iir.peakKiB / 1024.0;
    std::printf("qortaiir / cp    %6.2fx  (goal <= 5x)     %s\n", copyRatio, copyRatio <= 5.0 ? "met" : "MISSED");
    if (haveSox && sox.ok) {
        const double soxRatio = iir.wallSeconds / sox.wallSeconds;
        std::printf("qortaiir / sox   %6.2fx  (goal <= 0.33x)  %s\n", soxRatio,
                    soxRatio <= 1.0 / 3.0 ? "met" : "MISSED");
    }
    std::printf("qortaiir peak    %6.1f MiB (goal < 48 MiB) %s\n", peakMiB, peakMiB < 48.0 ? "met" : "MISSED");
    return 0;
}
