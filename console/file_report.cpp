#include "console/file_report.h"

#include <cstdio>

namespace console {

void printWavInfo(const FileRun& run) {
    const WavFormat& f = run.format;
    // Hundredths of a second; 64-bit so that long recordings do not wrap.
    std::uint64_t l = static_cast<std::uint64_t>(run.totalFrames) * 10u / (f.sampleRate / 10u);
    std::printf("wav info: %dbit %luHz %dch %dmin %d.%02dsec\n", f.bitsPerSample,
                static_cast<unsigned long>(f.sampleRate), f.channels, static_cast<int>(l / 100 / 60),
                static_cast<int>(l % 6000 / 100), static_cast<int>(l % 100));
}

void showProgress(double percent) {
    int printed = std::printf("%1.01f%%", percent);
    for (int i = 0; i < printed; ++i) std::putchar('\r');
    std::fflush(stdout);
}

void printClosingReport(const FileRun& run, std::uint32_t startTick) {
    std::printf("\n");
    std::uint32_t seconds = (platform::tickCount() - startTick) / 1000u;
    if (run.clipPeak > 1.0) std::printf("WARN! Cliped (%2.02f%%)\n", run.clipPeak * 100.0);
    std::printf("elapse %d:%02d\n", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
}

}  // namespace console
