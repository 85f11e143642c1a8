// Console key presses, interruptions and the clock on Win32.
#include "platform/platform.h"
#include "platform/win32/write_lock_win32.h"

#include <conio.h>
#include <windows.h>

#include <cstdio>

namespace platform {
namespace {

// The console mode that _getch replaces while it waits for a key: an
// interruption restores it. Set by the program's thread, read by the
// handler's.
volatile LONG consoleModeChanged = 0;
DWORD savedConsoleMode = 0;

void (*volatile interruptionWork)() = nullptr;
volatile LONG handlingInterruptions = 0;

// The status a console program gets when Ctrl-C, Ctrl-Break or closing the
// console ends it without a handler of its own.
constexpr UINT INTERRUPTED_STATUS = 0xC000013A;  // STATUS_CONTROL_C_EXIT

// One byte of a redirected standard input, or -1 at its end.
int readInputByte(HANDLE input) {
    unsigned char byte;
    DWORD got = 0;
    if (!ReadFile(input, &byte, 1, &got, nullptr) || got != 1) return -1;
    return byte;
}

// Runs the work of an interruption once no write is under way, restores the
// console mode and ends the program. Other threads are stopped where they
// are; nothing more is printed.
[[noreturn]] void endByInterruption() {
    // Held until the end, so that no later write follows. A write that does
    // not end within two seconds is left as it is, and so is the output.
    void (*work)() = interruptionWork;
    if (tryLockWrites(2000) && work != nullptr) work();
    if (consoleModeChanged) SetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), savedConsoleMode);
    TerminateProcess(GetCurrentProcess(), INTERRUPTED_STATUS);
    ExitProcess(INTERRUPTED_STATUS);
}

BOOL WINAPI onConsoleEvent(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) endByInterruption();
    return FALSE;
}

}  // namespace

int readKey() {
    std::fflush(stdout);
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) return -1;
    DWORD mode;
    if (!GetConsoleMode(input, &mode)) return readInputByte(input);
    savedConsoleMode = mode;
    InterlockedExchange(&consoleModeChanged, 1);
    int key = _getch();
    InterlockedExchange(&consoleModeChanged, 0);
    // _getch reads with the console's Ctrl-C handling off, so that Ctrl-C
    // arrives as the key 3: it interrupts here as it does everywhere else.
    if (key == 3 && handlingInterruptions) endByInterruption();
    // A function or arrow key arrives as a prefix (0 or 0xE0) and a second
    // code. Both belong to one key press, so the second is consumed here
    // and the key is reported by its prefix, which is no letter.
    if (key == 0 || key == 0xE0) (void)_getch();
    return key & 0xFF;
}

bool outputHiddenFromKeys() {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) && !GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
}

void handleInterruptions(void (*beforeEnd)()) {
    enableWriteLock();
    interruptionWork = beforeEnd;
    InterlockedExchange(&handlingInterruptions, 1);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

// A closed standard handle is never handed out again for a file the program
// opens, so nothing can take its place: nothing to do.
void openStandardStreams() {}

std::uint32_t tickCount() { return GetTickCount(); }

}  // namespace platform
