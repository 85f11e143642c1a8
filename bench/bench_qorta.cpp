// Benchmark of qorta, whole processes, printing figures beside their goals:
//   1. a 10-minute 24-bit/96 kHz stereo FLAC through qorta --fir beside
//      sox in.flac out.flac (decoding and encoding alone): at most 1.5x;
//   2. a 3-minute 16-bit WAV through qorta --fir beside qortafir: at most
//      1.2x;
//   3. a folder of 16 files with -j 2 beside -j 1: at least 1.8x faster on
//      two cores;
//   4. peak memory: at most 64 MiB, with --long for a two-hour 24-bit/96 kHz
//      stereo WAV (3.9 GiB, 8 GiB of disk for the input and its output),
//      else for the 10-minute FLAC.
// Run by hand:
//   bench_qorta [runs] [--long]
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_dir.h"

using bench::Measure;

namespace {

Measure best(const std::vector<std::string>& argv, const std::string& dir, int runs) {
    Measure b = bench::worstMeasure();
    for (int i = 0; i < runs; ++i) bench::keepBest(b, bench::measure(argv, dir));
    return b;
}

void ratio(const char* what, double value, const char* goal, bool met) {
    std::printf("  %-44s %6.2f   goal %s: %s\n", what, value, goal, met ? "met" : "NOT met");
}

// sox: two tones, noise and a DC offset, `seconds` long.
bool makeWithSox(const std::string& dir, const std::string& name, const char* rate, const char* bits,
                 const std::string& seconds) {
    return bench::measure({"sox", "-n", "-r", rate, "-c", "2", "-b", bits, name, "synth", seconds, "sine", "55",
                           "sine", "1200", "whitenoise", "vol", "0.2", "dcshift", "0.01"},
                          dir)
        .ok;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 3;
    bool longFile = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--long") == 0) longFile = true;
        else runs = std::max(1, std::atoi(argv[i]));
    }
    if (testsupport::findTool("sox").empty()) {
        std::fprintf(stderr, "bench_qorta needs sox\n");
        return 1;
    }
    testsupport::TempDir scratch;
    const std::string dir = scratch.path();
    std::printf("qorta benchmark, best of %d runs\n", runs);

    // 1. FLAC 24/96 beside sox's decode and encode.
    if (!makeWithSox(dir, "in.flac", "96000", "24", "600")) return 1;
    std::printf("input 1: 10 min 96 kHz stereo 24-bit FLAC, %.1f MiB\n", bench::fileMiB(dir + "/in.flac"));
    const Measure soxCopy = best({"sox", "in.flac", "sox.flac"}, dir, runs);
    const Measure qortaFlac = best({QORTA_PATH, "--quiet", "-y", "--fir", "-o", "q.flac", "in.flac"}, dir, runs);
    bench::printMeasure("sox in.flac out.flac", soxCopy);
    bench::printMeasure("qorta --fir in.flac", qortaFlac);
    ratio("qorta / sox", qortaFlac.wallSeconds / soxCopy.wallSeconds, "<= 1.5",
          qortaFlac.wallSeconds <= 1.5 * soxCopy.wallSeconds);

    // 2. 16-bit WAV beside qortafir.
    if (!bench::writeRecording(dir + "/in.wav", 180)) return 1;
    std::printf("input 2: 3 min 44.1 kHz stereo 16-bit WAV, %.1f MiB\n", bench::fileMiB(dir + "/in.wav"));
    const Measure fir = best({QORTAFIR_PATH, "-n", "-y", "in.wav", "fir.wav"}, dir, runs);
    const Measure qortaWav = best({QORTA_PATH, "--quiet", "-y", "-o", "q.wav", "in.wav"}, dir, runs);
    bench::printMeasure("qortafir in.wav", fir);
    bench::printMeasure("qorta --fir in.wav", qortaWav);
    ratio("qorta / qortafir", qortaWav.wallSeconds / fir.wallSeconds, "<= 1.2",
          qortaWav.wallSeconds <= 1.2 * fir.wallSeconds);

    // 3. Sixteen files, one and two at a time.
    testsupport::makeDir(dir + "/many");
    testsupport::makeDir(dir + "/out1");
    testsupport::makeDir(dir + "/out2");
    for (int i = 0; i < 16; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "many/take%02d.wav", i);
        if (!makeWithSox(dir, name, "48000", "24", "20")) return 1;
    }
    std::printf("input 3: 16 files of 20 s 48 kHz stereo 24-bit WAV\n");
    const Measure one = best({QORTA_PATH, "--quiet", "-y", "-j", "1", "-o", "out1", "many"}, dir, runs);
    const Measure two = best({QORTA_PATH, "--quiet", "-y", "-j", "2", "-o", "out2", "many"}, dir, runs);
    bench::printMeasure("qorta -j 1 (16 files)", one);
    bench::printMeasure("qorta -j 2 (16 files)", two);
    ratio("speed-up of -j 2", one.wallSeconds / two.wallSeconds, ">= 1.8 on 2 cores",
          one.wallSeconds >= 1.8 * two.wallSeconds);

    // 4. Peak memory.
    Measure memory = qortaFlac;
    const char* memoryInput = "the 10-minute FLAC";
    if (longFile) {
        if (!makeWithSox(dir, "long.wav", "96000", "24", "7200")) return 1;
        memory = best({QORTA_PATH, "--quiet", "-y", "-o", "long_b.wav", "long.wav"}, dir, 1);
        memoryInput = "a 2-hour 96 kHz stereo 24-bit WAV";
        bench::printMeasure("qorta --fir, 2 hours 24/96 WAV", memory);
        std::remove((dir + "/long.wav").c_str());
        std::remove((dir + "/long_b.wav").c_str());
    }
    std::printf("  peak memory for %s: %.1f MiB   goal <= 64 MiB: %s\n", memoryInput, memory.peakKiB / 1024.0,
                memory.ok && memory.peakKiB <= 64 * 1024 ? "met" : "NOT met");
    return 0;
}
