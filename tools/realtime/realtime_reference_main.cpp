// qorta_rtref: the expected output of the real-time plug-ins, and how far a
// host's output lies from it.
//
//   qorta_rtref iir [-e EFFECT] [-g GAIN] IN.wav OUT.wav
//   qorta_rtref fir [-e EFFECT] [-g GAIN] [-q QUALITY] IN.wav OUT.wav
//       writes the corrector's output with DC removal off as 32-bit float
//       WAV; the FIR one undelayed (centred), so a plug-in's output shifted
//       back by its latency should match it.
//   qorta_rtref compare [--shift N] [--any-length] [--steps K] [--abs T] EXPECTED.wav TEST.wav
//       compares TEST frame i + N with EXPECTED frame i; passes when every
//       sample is within K float steps (default 0) or, with --abs, within T
//       of full scale 1.0. Prints one line with the figures.
// Exit status: 0 written or within tolerance, 1 outside tolerance, 2 usage
// or file error.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/realtime/compare.h"
#include "tools/realtime/reference.h"
#include "tools/realtime/sample_file.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: qorta_rtref iir|fir [-e EFFECT] [-g GAIN] [-q QUALITY] IN.wav OUT.wav\n"
                 "       qorta_rtref compare [--shift N] [--any-length] [--steps K] [--abs T] EXPECTED.wav TEST.wav\n");
    return 2;
}

int fail(const std::string& error) {
    std::fprintf(stderr, "qorta_rtref: %s\n", error.c_str());
    return 2;
}

int writeReference(bool fir, double effect, double gain, int quality, const char* inPath, const char* outPath) {
    rtref::SampleFile file;
    std::string error;
    if (!rtref::readSampleFile(inPath, &file, &error)) return fail(error);
    for (auto& channel : file.samples) {
        const double rate = file.sampleRate;
        channel = fir ? rtref::firReference(channel, rate, effect, gain, quality)
                      : rtref::iirReference(channel, rate, effect, gain);
        if (fir && channel.empty()) return fail("quality gives no kernel");
    }
    return rtref::writeFloatFile(outPath, file, &error) ? 0 : fail(error);
}

int compare(std::size_t shift, bool sameLength, long long steps, double absTolerance, const char* expectedPath,
            const char* testPath) {
    rtref::SampleFile expected, test;
    rtref::CompareResult result;
    std::string error;
    if (!rtref::readSampleFile(expectedPath, &expected, &error) || !rtref::readSampleFile(testPath, &test, &error) ||
        !rtref::compareFiles(expected, test, shift, sameLength, &result, &error))
        return fail(error);
    const bool pass = absTolerance >= 0 ? result.maxAbs <= absTolerance : result.maxSteps <= steps;
    std::printf("%s: %zu frames x %d channels, largest difference %.9g (%lld float steps, frame %zu channel %d)\n",
                pass ? "within tolerance" : "OUTSIDE TOLERANCE", result.frames, expected.channels, result.maxAbs,
                static_cast<long long>(result.maxSteps), result.worstFrame, result.worstChannel);
    return pass ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    const std::string mode = argv[1];
    double effect = 100.0, gain = 100.0, absTolerance = -1.0;
    int quality = 100;
    long long steps = 0;
    std::size_t shift = 0;
    bool sameLength = true;
    int at = 2;
    for (; at < argc && argv[at][0] == '-'; ++at) {
        const std::string option = argv[at];
        if (option == "--any-length") {
            sameLength = false;
            continue;
        }
        if (at + 1 >= argc) return usage();
        const char* value = argv[++at];
        if (option == "-e") effect = std::atof(value);
        else if (option == "-g") gain = std::atof(value);
        else if (option == "-q") quality = std::atoi(value);
        else if (option == "--shift") shift = std::strtoull(value, nullptr, 10);
        else if (option == "--steps") steps = std::atoll(value);
        else if (option == "--abs") absTolerance = std::atof(value);
        else return usage();
    }
    if (argc - at != 2) return usage();
    if (mode == "iir" || mode == "fir")
        return writeReference(mode == "fir", effect, gain, quality, argv[at], argv[at + 1]);
    if (mode == "compare") return compare(shift, sameLength, steps, absTolerance, argv[at], argv[at + 1]);
    return usage();
}
