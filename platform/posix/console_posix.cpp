// Console key presses and the clock on POSIX systems.
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <termios.h>
#include <unistd.h>

namespace platform {
namespace {

int readByte() {
    unsigned char byte;
    for (;;) {
        ssize_t got = read(STDIN_FILENO, &byte, 1);
        if (got == 1) return byte;
        if (got < 0 && errno == EINTR) continue;
        return -1;
    }
}

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
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    int key = readByte();
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    return key;
}

std::uint32_t tickCount() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                       static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

}  // namespace platform
