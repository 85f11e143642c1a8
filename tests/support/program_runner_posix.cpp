// Child processes on POSIX systems: fork and exec with pipes, or a new
// pseudo-terminal.
#include "tests/support/program_runner.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace testsupport {
namespace {

struct Pipe {
    int fd[2] = {-1, -1};
    bool open() { return pipe2(fd, O_CLOEXEC) == 0; }
    void closeEnd(int i) {
        if (fd[i] >= 0) close(fd[i]);
        fd[i] = -1;
    }
    ~Pipe() {
        closeEnd(0);
        closeEnd(1);
    }
};

std::int64_t nowMs() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// Runs in the child after fork: only async-signal-safe calls until exec.
[[noreturn]] void execChild(const std::string& program, std::vector<char*>& argv, const RunOptions& options,
                            Pipe& in, Pipe& out, Pipe& err, int statusFd) {
    if (dup2(in.fd[0], STDIN_FILENO) < 0 || dup2(out.fd[1], STDOUT_FILENO) < 0 || dup2(err.fd[1], STDERR_FILENO) < 0)
        _exit(127);
    if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) {
        int code = errno;
        (void)!write(statusFd, &code, sizeof code);
        _exit(127);
    }
    if (options.fileSizeLimit >= 0) {
        struct rlimit limit;
        limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(options.fileSizeLimit);
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    for (int fd : options.closedStreams) close(fd);
    // As a shell leaves them: a write beyond the limit ends a program that
    // does not see to it, and so does a write to a pipe without reader.
    signal(SIGXFSZ, SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    execv(program.c_str(), argv.data());
    int code = errno;
    (void)!write(statusFd, &code, sizeof code);
    _exit(127);
}

// Waits for the child `pid` and notes how it ended in `*result`: an exit
// counts as one only when the timeout did not kill the child.
void awaitExit(pid_t pid, RunResult* result) {
    int wstatus = 0;
    struct rusage usage {};
    pid_t ended = -1;
    while ((ended = wait4(pid, &wstatus, 0, &usage)) < 0 && errno == EINTR) {
    }
    if (ended == pid) result->peakMemoryKiB = usage.ru_maxrss;  // kilobytes on Linux
    if (WIFEXITED(wstatus)) {
        result->exited = !result->timedOut;
        result->exitStatus = WEXITSTATUS(wstatus);
    } else if (WIFSIGNALED(wstatus)) {
        result->signal = WTERMSIG(wstatus);
    }
}

}  // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunOptions& options) {
    RunResult result;
    Pipe in, out, err, status;
    if (!in.open() || !out.open() || !err.open() || !status.open()) return result;

    std::vector<std::string> argvStrings;
    argvStrings.push_back(program);
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) execChild(program, argv, options, in, out, err, status.fd[1]);

    in.closeEnd(0);
    out.closeEnd(1);
    err.closeEnd(1);
    status.closeEnd(1);
    int childErrno = 0;
    ssize_t got = read(status.fd[0], &childErrno, sizeof childErrno);
    result.started = got == 0;  // the pipe closed on exec: the program runs

    // Standard input is small; write it while reading the outputs, so that a
    // child that does not read it cannot block us, then close it.
    std::size_t inputWritten = 0;
    if (options.input.empty()) in.closeEnd(1);
    else fcntl(in.fd[1], F_SETFL, O_NONBLOCK);
    const std::int64_t deadline = nowMs() + static_cast<std::int64_t>(options.timeoutSeconds) * 1000;
    while (out.fd[0] >= 0 || err.fd[0] >= 0) {
        const bool watching = options.signalWhenGrown != 0 && !result.signalSent;
        if (watching) {
            struct stat grown;
            if (stat(options.grownFile.c_str(), &grown) == 0 && grown.st_size > options.grownBytes) {
                kill(pid, options.signalWhenGrown);
                result.signalSent = true;
            }
        }
        struct pollfd fds[3];
        int count = 0;
        int outIndex = -1, errIndex = -1, inIndex = -1;
        if (out.fd[0] >= 0) { outIndex = count; fds[count++] = {out.fd[0], POLLIN, 0}; }
        if (err.fd[0] >= 0) { errIndex = count; fds[count++] = {err.fd[0], POLLIN, 0}; }
        if (in.fd[1] >= 0) { inIndex = count; fds[count++] = {in.fd[1], POLLOUT, 0}; }
        std::int64_t left = deadline - nowMs();
        if (left <= 0) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        // While a file is watched, short waits, so that its growth is seen soon.
        int ready = poll(fds, static_cast<nfds_t>(count), static_cast<int>(std::min<std::int64_t>(left, watching ? 1 : left)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        char buffer[65536];
        if (outIndex >= 0 && fds[outIndex].revents != 0) {
            ssize_t n = read(out.fd[0], buffer, sizeof buffer);
            if (n > 0) result.out.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR) out.closeEnd(0);
        }
        if (errIndex >= 0 && fds[errIndex].revents != 0) {
            ssize_t n = read(err.fd[0], buffer, sizeof buffer);
            if (n > 0) result.err.append(buffer, static_cast<std::size_t>(n));
            else if (n == 0 || errno != EINTR) err.closeEnd(0);
        }
        if (inIndex >= 0 && fds[inIndex].revents != 0) {
            if (fds[inIndex].revents & (POLLERR | POLLHUP)) {
                in.closeEnd(1);
            } else {
                // MSG_NOSIGNAL does not apply to pipes: the parent ignores
                // SIGPIPE for the duration of the write instead.
                struct sigaction ignore {}, saved {};
                ignore.sa_handler = SIG_IGN;
                sigaction(SIGPIPE, &ignore, &saved);
                ssize_t n = write(in.fd[1], options.input.data() + inputWritten, options.input.size() - inputWritten);
                sigaction(SIGPIPE, &saved, nullptr);
                if (n > 0) inputWritten += static_cast<std::size_t>(n);
                if ((n < 0 && errno != EAGAIN && errno != EINTR) || inputWritten == options.input.size())
                    in.closeEnd(1);
            }
        }
    }
    awaitExit(pid, &result);
    if (!result.started) result.err += std::string("cannot run ") + program + ": " + std::strerror(childErrno);
    return result;
}

RunResult runInTerminal(const std::string& program, const std::vector<std::string>& arguments,
                        const RunOptions& options, const std::vector<TerminalStep>& steps) {
    RunResult result;
    std::vector<std::string> argvStrings;
    argvStrings.push_back(program);
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    int terminal = -1;
    pid_t pid = -1;
    if (options.asJob) {
        int programSide = -1;
        if (openpty(&terminal, &programSide, nullptr, nullptr, nullptr) != 0) return result;
        pid = fork();
        if (pid == 0) {
            if (setpgid(0, 0) != 0 || dup2(programSide, STDIN_FILENO) < 0 || dup2(programSide, STDOUT_FILENO) < 0 ||
                dup2(programSide, STDERR_FILENO) < 0)
                _exit(127);
            close(programSide);
            close(terminal);
        } else {
            close(programSide);
        }
    } else {
        pid = forkpty(&terminal, nullptr, nullptr, nullptr);
    }
    if (pid < 0) {
        if (terminal >= 0) close(terminal);
        return result;
    }
    if (pid == 0) {
        if (!options.workDir.empty() && chdir(options.workDir.c_str()) != 0) _exit(127);
        if (!options.outputFile.empty()) {
            int fd = open(options.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (fd < 0 || dup2(fd, STDOUT_FILENO) < 0) _exit(127);
            close(fd);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    result.started = true;
    // The terminal's settings as the program set them: Linux reports the
    // program's side of the terminal through its controlling end.
    auto readsSingleKeys = [&] {
        struct termios mode;
        return tcgetattr(terminal, &mode) == 0 && (mode.c_lflag & (ICANON | ECHO)) == 0;
    };
    auto lines = [&] {
        std::string text = result.out;
        for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\n");
        return text;
    };
    std::size_t step = 0;
    const std::int64_t deadline = nowMs() + static_cast<std::int64_t>(options.timeoutSeconds) * 1000;
    // A stop of the program, seen once, for a whenStopped step (an end of
    // the program is left for awaitExit).
    auto stopped = [&] {
        siginfo_t info {};
        return waitid(P_PID, static_cast<id_t>(pid), &info, WSTOPPED | WNOHANG) == 0 && info.si_pid == pid;
    };
    for (;;) {
        while (step < steps.size() && lines().find(steps[step].awaited) != std::string::npos &&
               (steps[step].whenStopped ? stopped() : readsSingleKeys())) {
            if (steps[step].whenStopped) {
                struct termios mode;
                if (tcgetattr(terminal, &mode) == 0) {
                    result.stoppedModes = static_cast<unsigned>(mode.c_lflag);
                    mode.c_lflag |= ICANON | ECHO;
                    tcsetattr(terminal, TCSANOW, &mode);
                }
            }
            const std::string& keys = steps[step].keys;
            if (!keys.empty() && write(terminal, keys.data(), keys.size()) < 0) break;
            if (steps[step].signal != 0) kill(pid, steps[step].signal);
            ++step;
        }
        std::int64_t left = deadline - nowMs();
        if (left <= 0) {
            kill(pid, SIGKILL);
            result.timedOut = true;
            break;
        }
        struct pollfd fd = {terminal, POLLIN, 0};
        // Short waits, so that a switch of the terminal mode is seen soon.
        int ready = poll(&fd, 1, static_cast<int>(std::min<std::int64_t>(left, 10)));
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        char buffer[4096];
        ssize_t n = read(terminal, buffer, sizeof buffer);
        if (n > 0) result.out.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR) break;  // EIO: the program has ended
    }
    awaitExit(pid, &result);
    struct termios modes;
    if (tcgetattr(terminal, &modes) == 0) result.terminalModes = static_cast<unsigned>(modes.c_lflag);
    close(terminal);
    return result;
}

}  // namespace testsupport
