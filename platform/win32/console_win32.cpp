// Console key presses and the clock on Win32.
#include "platform/platform.h"

#include <conio.h>
#include <windows.h>

#include <cstdio>

namespace platform {
namespace {

// One byte of a redirected standard input, or -1 at its end.
int readInputByte(HANDLE input) {
    unsigned char byte;
    DWORD got = 0;
    if (!ReadFile(input, &byte, 1, &got, nullptr) || got != 1) return -1;
    return byte;
}

}  // namespace

int readKey() {
    std::fflush(stdout);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return -1;
    DWORD mode;
    if (!GetConsoleMode(input, &mode)) return readInputByte(input);
    int key = _getch();
    // A function or arrow key arrives as a prefix (0 or 0xE0) and a second
    // code. Both belong to one key press, so the second is consumed here
    // and the key is reported by its prefix, which is no letter.
    if (key == 0 || key == 0xE0) (void)_getch();
    return key & 0xFF;
}

std::uint32_t tickCount() { return GetTickCount(); }

}  // namespace platform
