// Console key presses, interruptions and the clock on POSIX systems.
#include "platform/platform.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <termios.h>
#include <unistd.h>

namespace platform {
namespace {

// The terminal mode that readKey replaced, while it waits for a key: an
// interruption restores it. `terminalChanged` is set only once `savedMode`
// is complete.
struct termios savedMode;
volatile std::sig_atomic_t terminalChanged = 0;

// What an interruption runs before the program ends.
std::atomic<void (*)()> interruptionWork{nullptr};

constexpr int INTERRUPTIONS[] = {SIGINT, SIGTERM, SIGHUP};

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

}  // namespace

int readKey() {
    std::fflush(stdout);
    struct termios saved;
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) return readByte();
    savedMode = saved;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    terminalChanged = 1;
    // One key without echo and without waiting for Enter.
    struct termios raw = saved;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    int key = readByte();
    terminalChanged = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
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
}

std::uint32_t tickCount() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                       static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

}  // namespace platform
