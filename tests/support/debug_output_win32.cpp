// Linked into every Windows test program. GoogleTest hands each failure and
// skip message to OutputDebugStringA too, for a debugger's output window.
// That call raises an exception for the debugger and unwinds it, which
// crashes the program where wine runs on an emulated processor (qemu-i386,
// on machines whose kernel runs no 32-bit code). The test programs therefore
// bind the name to a function that drops the text; every message is printed
// on standard output anyway.
#include <windows.h>

namespace {

void WINAPI dropDebugOutput(LPCSTR) {}

}  // namespace

// The import slot through which the program calls OutputDebugStringA; a
// definition here takes the place of the one in the system's import library.
extern "C" {
void(WINAPI* debugOutputImport)(LPCSTR) __asm__("__imp__OutputDebugStringA@4") = dropDebugOutput;
}
