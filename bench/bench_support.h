// What the whole-program benchmarks share: running a program as a child
// process and measuring its wall time and peak memory, finding tools on
// PATH, and writing the generated test recording without growing the
// benchmark's own process.
#ifndef QORTA_BENCH_BENCH_SUPPORT_H
#define QORTA_BENCH_BENCH_SUPPORT_H

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

struct Measure {
    bool ok = false;
    double wallSeconds = 0.0;
    long peakKiB = 0;  // maximum resident set size of the child
};

// A measure that any run improves on: keepBest starts from it.
Measure worstMeasure();

// Runs `argv` (argv[0] searched on PATH) in `workDir` with standard input
// and output on /dev/null, and measures its wall time and peak memory.
// `ok` is true when it exited with status 0.
Measure measure(const std::vector<std::string>& argv, const std::string& workDir);

// Folds run `m` into `best`: lowest wall time, highest peak memory; one
// failed run marks the whole series failed.
void keepBest(Measure& best, const Measure& m);

// Writes `seconds` of a 44.1 kHz stereo 16-bit recording (two tones, a
// little noise and a DC offset per channel) to `path`, from a child
// process, so that this process stays small: a child created by fork starts
// with the parent's resident size, which would count in every measured
// program's peak memory. Returns false on any failure.
bool writeRecording(const std::string& path, std::size_t seconds);

// The peak resident size of this process so far, which bounds every
// child's peak from below.
long ownPeakKiB();

// The size of the file at `path` in MiB, or -1 when it cannot be read.
double fileMiB(const std::string& path);

// Prints "name   wall s   peak MiB".
void printMeasure(const char* name, const Measure& m);

}  // namespace bench

#endif
