// qorta: the bass level correction for audio files of any format that
// libsndfile reads, several files at once, with a report and exit status.
#include <fcntl.h>
#include <signal.h>
#include <sndfile.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "qorta/batch.h"
#include "qorta/file_job.h"
#include "qorta/options.h"
#include "qorta/output_commit.h"
#include "qorta/progress.h"
#include "qorta/report.h"
#include "qorta/sample_format.h"

#ifndef QORTA_VERSION
#define QORTA_VERSION "0"
#endif

namespace {

using namespace qorta;

int commandLineError(const std::string& problem) {
    std::fprintf(stderr, "qorta: %s\nTry 'qorta --help' for more information.\n", problem.c_str());
    return 2;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Standard input copied to a temporary file, since the DC offset needs a
// pass over the whole input before the correction.
struct StdinCopy {
    std::string path;
    int slot = -1;
    ~StdinCopy() {
        if (!path.empty()) unlink(path.c_str());
        unregisterTemporary(slot);
    }
};

std::string copyStdin(StdinCopy* copy) {
    const char* folder = getenv("TMPDIR");
    std::string pattern = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/qorta-stdin-XXXXXX";
    const int fd = mkostemp(&pattern[0], O_CLOEXEC);
    if (fd < 0) return "cannot make a temporary copy of standard input: " + std::string(std::strerror(errno));
    copy->path = pattern;
    copy->slot = registerTemporary(pattern);
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = read(0, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return "cannot read standard input: " + std::string(std::strerror(errno));
        }
        if (n == 0) break;
        if (!writeAll(fd, std::string(buffer, static_cast<std::size_t>(n)))) {
            close(fd);
            return "cannot copy standard input to " + pattern + ": " + std::strerror(errno);
        }
    }
    close(fd);
    return "";
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const std::string problem = parseOptions(argc, argv, &options);
    if (!problem.empty()) return commandLineError(problem);
    if (options.help) {
        std::fputs(usageText(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("qorta %s (%s)\n", QORTA_VERSION, sf_version_string());
        return 0;
    }
    if (options.inputs.empty()) return commandLineError("no input: name files or folders");
    int stdinInputs = 0;
    for (const std::string& input : options.inputs) stdinInputs += input == "-" ? 1 : 0;
    if (stdinInputs > 1) return commandLineError("'-' (standard input) may be given once");

    // --format is checked against a 16-bit input for its name; each file
    // gets the format anew for its own input below.
    if (!options.formatName.empty() && parseFormat(options.formatName, SF_FORMAT_WAV | SF_FORMAT_PCM_16) == 0)
        return commandLineError("unknown output format '" + options.formatName +
                                "' (for example flac, wav:24, wav:float, aiff:16, caf, ogg)");
    BatchRequest request;
    request.arguments = options.inputs;
    request.output = options.output;
    request.recursive = options.recursive;
    request.overwrite = options.overwrite;
    if (!options.formatName.empty())
        request.extension = extensionOf(parseFormat(options.formatName, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
    std::string planProblem;
    const std::vector<PlannedPair> pairs = planBatch(request, &planProblem);
    if (!planProblem.empty()) return commandLineError(planProblem);

    installSignalCleanup();
    // A write beyond the file size limit fails with its error instead of
    // ending the program, so that the file's temporary output is removed.
    signal(SIGXFSZ, SIG_IGN);
    StdinCopy stdinCopy;
    std::string stdinProblem;
    if (stdinInputs > 0) stdinProblem = copyStdin(&stdinCopy);

    const std::size_t count = pairs.size();
    std::vector<ReportEntry> entries(count);
    std::vector<FileProgress> progress(count);
    std::vector<std::string> names(count);
    bool toStdout = false;
    for (std::size_t i = 0; i < count; ++i) {
        entries[i].input = pairs[i].input;
        entries[i].output = pairs[i].output;
        names[i] = pairs[i].input;
        toStdout = toStdout || pairs[i].output == "-";
    }
    // The report goes to standard error when standard output carries audio.
    FILE* reportStream = toStdout ? stderr : stdout;

    std::mutex lock;
    std::condition_variable changed;
    std::vector<bool> finished(count, false);
    std::size_t printed = 0;
    std::atomic<std::size_t> next{0};
    // Failures are printed in input order as soon as every file before
    // them is finished, so that their order does not depend on -j.
    const bool showProgress = !options.quiet && isatty(2);
    auto worker = [&]() {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= count) return;
            JobResult result;
            if (!pairs[i].refusal.empty()) {
                result.error = pairs[i].refusal;
            } else if (pairs[i].input == "-" && !stdinProblem.empty()) {
                result.error = stdinProblem;
            } else {
                progress[i].state.store(1);
                JobSpec job;
                job.input = pairs[i].input == "-" ? stdinCopy.path : pairs[i].input;
                job.output = pairs[i].output;
                job.inputShown = pairs[i].input;
                job.overwrite = options.overwrite;
                job.outputRoot = pairs[i].outputRoot;
                if (!options.formatName.empty()) {
                    SF_INFO info = {};
                    SNDFILE* probe = sf_open(job.input.c_str(), SFM_READ, &info);
                    job.format = parseFormat(options.formatName, probe != nullptr ? info.format : SF_FORMAT_WAV | SF_FORMAT_PCM_16);
                    if (probe != nullptr) sf_close(probe);
                }
                if (!options.formatName.empty() && job.format == 0)
                    result.error = "libsndfile cannot write this input as " + options.formatName;
                else
                    result = runJob(job, options.settings, &progress[i].done, &progress[i].total);
            }
            progress[i].state.store(2);
            std::lock_guard<std::mutex> guard(lock);
            entries[i].result = result;
            finished[i] = true;
            while (printed < count && finished[printed]) {
                const ReportEntry& e = entries[printed];
                if (!e.result.written && !showProgress)
                    std::fprintf(stderr, "qorta: %s: %s\n", e.input.c_str(), e.result.error.c_str());
                else if (!e.result.written)
                    std::fprintf(stderr, "\r\033[Kqorta: %s: %s\n", e.input.c_str(), e.result.error.c_str());
                ++printed;
            }
            changed.notify_all();
        }
    };

    int jobs = options.jobs > 0 ? options.jobs : static_cast<int>(std::thread::hardware_concurrency());
    if (jobs < 1) jobs = 1;
    if (static_cast<std::size_t>(jobs) > count) jobs = static_cast<int>(std::max<std::size_t>(count, 1));
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    for (int t = 0; t < jobs; ++t) threads.emplace_back(worker);
    if (showProgress) {
        std::unique_lock<std::mutex> guard(lock);
        while (printed < count) {
            changed.wait_for(guard, std::chrono::milliseconds(250));
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const std::string line = progressLine(progress, names, seconds);
            std::fprintf(stderr, "\r\033[K%s", line.c_str());
            std::fflush(stderr);
        }
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
    for (std::thread& t : threads) t.join();

    bool allWritten = true;
    for (const ReportEntry& e : entries) allWritten = allWritten && e.result.written;
    std::fputs(reportTable(entries).c_str(), reportStream);
    std::fflush(reportStream);
    if (!options.jsonPath.empty()) {
        const std::string json = reportJson(entries);
        if (options.jsonPath == "-") {
            std::fputs(json.c_str(), reportStream);
        } else {
            FILE* file = std::fopen(options.jsonPath.c_str(), "w");
            if (file == nullptr || std::fputs(json.c_str(), file) < 0 || std::fclose(file) != 0) {
                std::fprintf(stderr, "qorta: %s: cannot write the JSON report: %s\n", options.jsonPath.c_str(),
                             std::strerror(errno));
                allWritten = false;
            }
        }
    }
    return allWritten ? 0 : 1;
}
