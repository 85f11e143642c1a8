// Runs a built program as a child process: in a given working folder, with
// given bytes on its standard input, capturing its standard output and
// standard error and its exit status.
#ifndef QORTA_TESTS_SUPPORT_PROGRAM_RUNNER_H
#define QORTA_TESTS_SUPPORT_PROGRAM_RUNNER_H

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct RunOptions {
    std::string workDir;           // the child's working folder; empty keeps the current one
    std::string input;             // bytes on standard input, followed by its end
    int timeoutSeconds = 60;       // the child is killed after this long
    std::int64_t fileSizeLimit = -1;  // RLIMIT_FSIZE in bytes for the child, -1 = unchanged
                                      // (POSIX only: on Windows a limit makes the run not start)
    // POSIX only: these of the descriptors 0, 1 and 2 are closed when the
    // program starts (what it writes there is lost). On Windows any makes
    // the run not start.
    std::vector<int> closedStreams;
    // POSIX only: the signal `signalWhenGrown` is sent to the child once
    // the file `grownFile` holds more than `grownBytes` bytes (0 = none).
    int signalWhenGrown = 0;
    std::string grownFile;
    std::int64_t grownBytes = 0;
    // runInTerminal: the child's standard output goes to this file instead
    // of the terminal (empty: the terminal).
    std::string outputFile;
    // runInTerminal: the program runs in a process group of its own in this
    // process's session, as a shell runs a job, so that a stop signal stops
    // it (the only group of a new session is one that no shell controls,
    // and the system discards stop signals sent to it). The terminal is then
    // not its controlling terminal: keys like Ctrl-C raise no signal.
    bool asJob = false;
};

struct RunResult {
    bool started = false;   // false when the child could not be created or the program not run
    bool exited = false;    // the child ended by exit (not by a signal or the timeout)
    int exitStatus = -1;    // exit status when `exited`
    int signal = 0;         // the signal that ended the child, if any
    bool timedOut = false;  // the child was killed after timeoutSeconds
    std::int64_t peakMemoryKiB = -1;  // the child's largest resident set (POSIX only; -1 = not known)
    std::string out;        // everything written to standard output
    std::string err;        // everything written to standard error
    bool signalSent = false;    // signalWhenGrown was sent
    unsigned terminalModes = 0;  // runInTerminal: the terminal's local modes (c_lflag) after the run
    unsigned stoppedModes = 0;   // runInTerminal: the local modes when a `whenStopped` step saw the stop
    // On Windows both as the program wrote them: the "\r" that text mode
    // puts in front of every "\n" is taken out again.
};

// Runs `program` with `arguments` (argv[0] is `program`). Blocks until the
// child ends or the timeout kills it.
RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunOptions& options);

// One step of a terminal session: wait until the program's output so far
// contains `awaited` (nothing to wait for when empty; the terminal's "\r\n"
// compares as "\n") and until the program has switched the terminal to
// single keys without echo, then type `keys`.
struct TerminalStep {
    std::string awaited;
    std::string keys;
    int signal = 0;  // sent to the program after the keys, 0 = none
    // Wait until the program has stopped instead of for single keys; then
    // note the terminal's local modes in RunResult::stoppedModes and, as a
    // shell does when a job stops, set line mode with echo before the keys
    // and the signal. Needs RunOptions::asJob.
    bool whenStopped = false;
};

// Runs `program` with `arguments` on a new pseudo-terminal, so that its
// standard input, output and error are a terminal as for a user at the
// console, and plays `steps` in order. The terminal's output ("\r\n" for
// each line break) is returned in `out`; `err` stays empty. A step whose
// text never comes ends the run at the timeout. POSIX only: on Windows the
// run does not start.
RunResult runInTerminal(const std::string& program, const std::vector<std::string>& arguments,
                        const RunOptions& options, const std::vector<TerminalStep>& steps);

// The full path of `tool` found in a folder of PATH (folders separated by
// ':'), as a regular file that may be executed, or "" when there is none.
std::string findTool(const std::string& tool);

// `text` with the value of every "elapse M:SS" line replaced by "M:SS", so
// that runs of any duration compare equal. Only a line of the exact form
// "elapse <digits>:<two digits>\n" is changed.
std::string normaliseElapsed(const std::string& text);

}  // namespace testsupport

#endif
