// Console key presses, interruptions and the clock on POSIX systems.
#include "platform/platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace platform {
namespace {

// The terminal mode that readKey replaced and the single-key mode it set,
// while it waits for a key: an interruption or a stop restores the first, a
// continuation sets the second again. `terminalChanged` is set only once
// both are complete.
struct termios savedMode;
struct termios singleKeyMode;
volatile std::sig_atomic_t terminalChanged = 0;

// What an interruption runs before the program ends.
std::atomic<void (*)()> interruptionWork{nullptr};

constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

int readByte() {
    unsigned char byte;
    for (;;) {
        ssize_t got = read(STDIN_FILENO, &byte, 1);
        if (got == 1) return byte;
        if (got < 0 && errno == EINTR) continue;
        return -1;
    }
}

// Runs the work of an interruption, restores the terminal, and ends the
// program by the same signal with its default action, so that the parent
// sees the usual status. Only async-signal-safe calls.
void onInterruption(int signalNumber) {
    void (*work)() = interruptionWork.load();
    if (work != nullptr) work();
    if (terminalChanged) tcsetattr(STDIN_FILENO, TCSANOW, &savedMode);
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
    sigset_t pending;
    sigemptyset(&pending);
    sigaddset(&pending, signalNumber);
    sigprocmask(SIG_UNBLOCK, &pending, nullptr);
    _exit(128 + signalNumber);  // not reached: the signal ends the program
}

// Sets single keys without echo again after a stop, as readKey set them.
// Only async-signal-safe calls.
void onContinue(int) {
    const int savedErrno = errno;
    if (terminalChanged) tcsetattr(STDIN_FILENO, TCSANOW, &singleKeyMode);
    errno = savedErrno;
}

// A stop (Ctrl-Z, SIGTSTP) while readKey waits: gives the terminal its
// previous mode back, so that the shell and whatever runs meanwhile get it
// as they left it, and stops the program as the default action would. Once
// the program continues (or when the system discards the stop, as it does
// for a process group that no shell controls), single keys are taken again.
// Only async-signal-safe calls.
void onStop(int signalNumber) {
    const int savedErrno = errno;
    if (terminalChanged) tcsetattr(STDIN_FILENO, TCSANOW, &savedMode);
    struct sigaction byDefault {}, ours {};
    byDefault.sa_handler = SIG_DFL;
    sigemptyset(&byDefault.sa_mask);
    sigaction(signalNumber, &byDefault, &ours);
    raise(signalNumber);  // pending while this handler blocks it
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, signalNumber);
    sigprocmask(SIG_UNBLOCK, &stop, nullptr);  // the program stops here until it continues
    sigaction(signalNumber, &ours, nullptr);
    onContinue(SIGCONT);
    errno = savedErrno;
}

// Installs the stop and continuation handlers while readKey waits, and puts
// the previous ones back when it goes out of scope. A stop signal that was
// ignored stays ignored.
class StopHandling {
public:
    StopHandling() {
        struct sigaction action {};
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        sigaddset(&action.sa_mask, SIGTSTP);
        sigaddset(&action.sa_mask, SIGCONT);
        action.sa_handler = onContinue;
        sigaction(SIGCONT, &action, &previousContinue_);
        if (sigaction(SIGTSTP, nullptr, &previousStop_) == 0 && previousStop_.sa_handler != SIG_IGN) {
            action.sa_handler = onStop;
            sigaction(SIGTSTP, &action, nullptr);
        }
    }
    StopHandling(const StopHandling&) = delete;
    StopHandling& operator=(const StopHandling&) = delete;
    ~StopHandling() {
        sigaction(SIGTSTP, &previousStop_, nullptr);
        sigaction(SIGCONT, &previousContinue_, nullptr);
    }

private:
    struct sigaction previousStop_ {};
    struct sigaction previousContinue_ {};
};

}  // namespace

int readKey() {
    std::fflush(stdout);
    struct termios saved;
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return readByte();
    // One key without echo and without waiting for Enter.
    struct termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    savedMode = saved;
    singleKeyMode = raw;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    terminalChanged = 1;
    int key;
    {
        const StopHandling stops;
        tcsetattr(STDIN_FILENO, TCSANOW, &raw);
        key = readByte();
        terminalChanged = 0;
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    }
    return key;
}

bool outputHiddenFromKeys() { return isatty(STDIN_FILENO) && !isatty(STDOUT_FILENO); }

void handleInterruptions(void (*beforeEnd)()) {
    interruptionWork.store(beforeEnd);
    struct sigaction action {};
    action.sa_handler = onInterruption;
    action.sa_flags = SA_RESTART;
    // One interruption at a time: the others wait until the first has ended
    // the program.
    sigemptyset(&action.sa_mask);
    for (int s : INTERRUPTIONS) sigaddset(&action.sa_mask, s);
    for (int s : INTERRUPTIONS) {
        struct sigaction previous {};
        if (sigaction(s, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
        sigaction(s, &action, nullptr);
    }
    // Past the file-size limit a write then fails with EFBIG, which the
    // program reports like a full disk, instead of the signal ending it.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

void openStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // The lowest free descriptor is the one just found closed, since
        // those below it are open by now.
        const int opened = open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) close(opened);
    }
}

std::uint32_t tickCount() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                       static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

}  // namespace platform
