// Whole-process benchmark of qortaiir on a 3-minute 44.1 kHz stereo 16-bit
// recording, beside copying the same file with cp and, when sox is
// installed, a comparable sox filter chain. Prints wall times, peak memory
// and the ratios against the goals. Run by hand:
//   bench_qortaiir [runs] [folder]
// The files go to a scratch folder, or to `folder` when given (kept, for
// profiling the same input).
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

namespace {

struct Measure {
    bool ok = false;
    double wallSeconds = 0.0;
    long peakKiB = 0;  // maximum resident set size of the child
};

double now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Runs `argv` (searched on PATH) in `workDir` with standard input and output
// on /dev/null, and measures its wall time and peak memory.
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

// Folds run `m` into `best`: lowest wall time, highest peak memory; one
// failed run marks the whole series failed.
void keepBest(Measure& best, const Measure& m) {
    bool failed = best.peakKiB < 0 || !m.ok;
    best.ok = !failed;
    best.wallSeconds = std::min(best.wallSeconds, m.wallSeconds);
    best.peakKiB = failed ? -1 : std::max(best.peakKiB, m.peakKiB);
}

bool onPath(const char* tool) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + tool;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Three minutes of two tones, a little noise and a DC offset per channel.
testsupport::Bytes recording() {
    const std::size_t frames = 3 * 60 * 44100;
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

// Writes the recording from a child process, so that this process stays
// small: a child created by fork starts with the parent's resident size,
// which would count in every measured program's peak memory.
bool writeRecording(const std::string& path) {
    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) _exit(testsupport::writeBytes(path, recording()) ? 0 : 1);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The resident size of this process, which bounds every child's peak from
// below.
long ownPeakKiB() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void printLine(const char* name, const Measure& m) {
    std::printf("%-34s %8.3f s %9.1f MiB\n", name, m.wallSeconds, m.peakKiB / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    testsupport::TempDir scratch;
    const std::string folder = argc > 2 ? argv[2] : scratch.path();
    if (folder.empty() || !writeRecording(folder + "/in.wav")) {
        std::fprintf(stderr, "cannot write the test recording\n");
        return 1;
    }
    struct stat info;
    stat((folder + "/in.wav").c_str(), &info);
    std::printf("input: 3 min 44.1 kHz stereo 16-bit, %.1f MiB; best of %d runs\n",
                static_cast<double>(info.st_size) / (1024.0 * 1024.0), runs);
    std::printf("(peak memory includes this process's %.1f MiB at the start of each child)\n\n",
                ownPeakKiB() / 1024.0);

    // Each program writes a new file, as a user's run does.
    auto fresh = [&](const char* name) {
        std::remove((folder + "/" + name).c_str());
        return std::string(name);
    };
    measure({"cp", "in.wav", "warm.wav"}, folder);  // bring the input into the page cache
    Measure iir, copy, sox;
    iir.wallSeconds = copy.wallSeconds = sox.wallSeconds = HUGE_VAL;
    const bool haveSox = onPath("sox");
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so that a busy moment of the machine hits all alike.
        keepBest(iir, measure({QORTAIIR_PATH, "in.wav", fresh("iir.wav")}, folder));
        keepBest(copy, measure({"cp", "in.wav", fresh("copy.wav")}, folder));
        if (haveSox)
            keepBest(sox, measure({"sox", "in.wav", fresh("sox.wav"), "highpass", "-1", "3", "bass", "+20", "150"},
                                  folder));
    }

    if (!iir.ok || !copy.ok) {
        std::fprintf(stderr, "a run failed (qortaiir %s, cp %s)\n", iir.ok ? "ok" : "failed", copy.ok ? "ok" : "failed");
        return 1;
    }
    printLine("qortaiir in.wav iir.wav", iir);
    printLine("cp in.wav copy.wav", copy);
    if (haveSox && sox.ok) printLine("sox highpass -1 3 bass +20 150", sox);
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
