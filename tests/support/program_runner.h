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
};

struct RunResult {
    bool started = false;   // false when the child could not be created or the program not run
    bool exited = false;    // the child ended by exit (not by a signal or the timeout)
    int exitStatus = -1;    // exit status when `exited`
    int signal = 0;         // the signal that ended the child, if any
    bool timedOut = false;  // the child was killed after timeoutSeconds
    std::string out;        // everything written to standard output
    std::string err;        // everything written to standard error
};

// Runs `program` with `arguments` (argv[0] is `program`). Blocks until the
// child ends or the timeout kills it.
RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunOptions& options);

// `text` with the value of every "elapse M:SS" line replaced by "M:SS", so
// that runs of any duration compare equal. Only a line of the exact form
// "elapse <digits>:<two digits>\n" is changed.
std::string normaliseElapsed(const std::string& text);

}  // namespace testsupport

#endif
