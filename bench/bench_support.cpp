#include "bench/bench_support.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

namespace bench {
namespace {

double now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

testsupport::Bytes recording(std::size_t seconds) {
    const std::size_t frames = seconds * 44100;
    testsupport::Bytes tones = testsupport::sine16(frames, 2, 44100, 55, 6000, 800);
    testsupport::Bytes noise = testsupport::noiseBytes(frames * 2, 7);
    for (std::size_t i = 0; i < frames * 2; ++i) {
        int s = static_cast<std::int16_t>(tones[2 * i] | (tones[2 * i + 1] << 8));
        s += (static_cast<int>(noise[i]) - 128) * 16;
        tones[2 * i] = static_cast<std::uint8_t>(s);
        tones[2 * i + 1] = static_cast<std::uint8_t>(s >> 8);
    }
    return testsupport::pcmWav(2, 44100, 16, tones);
}

}  // namespace

Measure worstMeasure() {
    Measure m;
    m.wallSeconds = HUGE_VAL;
    return m;
}

Measure measure(const std::vector<std::string>& argv, const std::string& workDir) {
    std::vector<char*> args;
    std::vector<std::string> copy = argv;
    for (std::string& s : copy) args.push_back(s.data());
    args.push_back(nullptr);
    Measure m;
    const double start = now();
    pid_t pid = fork();
    if (pid < 0) return m;
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        if (chdir(workDir.c_str()) != 0) _exit(127);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    m.wallSeconds = now() - start;
    m.peakKiB = usage.ru_maxrss;
    m.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return m;
}

void keepBest(Measure& best, const Measure& m) {
    bool failed = best.peakKiB < 0 || !m.ok;
    best.ok = !failed;
    best.wallSeconds = std::min(best.wallSeconds, m.wallSeconds);
    best.peakKiB = failed ? -1 : std::max(best.peakKiB, m.peakKiB);
}

bool writeRecording(const std::string& path, std::size_t seconds) {
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) _exit(testsupport::writeBytes(path, recording(seconds)) ? 0 : 1);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

long ownPeakKiB() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double fileMiB(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return -1.0;
    return static_cast<double>(info.st_size) / (1024.0 * 1024.0);
}

void printMeasure(const char* name, const Measure& m) {
    std::printf("%-34s %8.3f s %9.1f MiB\n", name, m.wallSeconds, m.peakKiB / 1024.0);
}

}  // namespace bench
