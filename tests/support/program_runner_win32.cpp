// Child processes on Windows: CreateProcessA with pipes for the standard
// handles. Windows has no pseudo-terminals and no file size limits, so runs
// that need them report that they could not start.
#include "tests/support/program_runner.h"

#include <windows.h>

#include <algorithm>

namespace testsupport {
namespace {

// Closes a handle when it goes out of scope.
struct Handle {
    HANDLE value = nullptr;
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { reset(); }
    void reset() {
        if (value != nullptr && value != INVALID_HANDLE_VALUE) CloseHandle(value);
        value = nullptr;
    }
};

// A pipe whose end `childEnd` (0 = read, 1 = write) the child inherits.
bool openPipe(Handle& readEnd, Handle& writeEnd, int childEnd, DWORD size) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&readEnd.value, &writeEnd.value, &inherit, size)) return false;
    return SetHandleInformation(childEnd == 0 ? writeEnd.value : readEnd.value, HANDLE_FLAG_INHERIT, 0) != 0;
}

// One argument as the child's C runtime splits its command line: quoted,
// with quotes and the backslashes in front of them escaped.
std::string quoted(const std::string& argument) {
    std::string text = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, '\\');
    return text + "\"";
}

// Appends what the pipe holds now. Returns false once the pipe is closed.
bool drain(HANDLE pipe, std::string* text) {
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
        if (available == 0) return true;
        char buffer[65536];
        DWORD count = 0;
        if (!ReadFile(pipe, buffer, std::min<DWORD>(available, sizeof buffer), &count, nullptr)) return false;
        text->append(buffer, count);
    }
}

// The text as the program wrote it: standard output in text mode turns
// every "\n" into "\r\n", so removing the "\r" in front of each "\n" is the
// exact inverse (a "\r" the program wrote itself stays).
std::string programText(const std::string& console) {
    std::string text;
    text.reserve(console.size());
    for (std::size_t i = 0; i < console.size(); ++i)
        if (!(console[i] == '\r' && i + 1 < console.size() && console[i + 1] == '\n')) text += console[i];
    return text;
}

}  // namespace

RunResult runProgram(const std::string& program, const std::vector<std::string>& arguments,
                     const RunOptions& options) {
    RunResult result;
    if (options.fileSizeLimit >= 0) {
        result.err = "file size limits are not available on Windows";
        return result;
    }
    if (!options.closedStreams.empty()) {
        result.err = "closed standard handles are not set up on Windows";
        return result;
    }
    Handle inRead, inWrite, outRead, outWrite, errRead, errWrite;
    // The whole input fits into the pipe, so writing it cannot block.
    const DWORD inputSize = static_cast<DWORD>(options.input.size()) + 4096;
    if (!openPipe(inRead, inWrite, 0, inputSize) || !openPipe(outRead, outWrite, 1, 0) ||
        !openPipe(errRead, errWrite, 1, 0))
        return result;

    std::string command = quoted(program);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead.value;
    startup.hStdOutput = outWrite.value;
    startup.hStdError = errWrite.value;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        options.workDir.empty() ? nullptr : options.workDir.c_str(), &startup, &process)) {
        result.err = "cannot run " + program + ": error " + std::to_string(GetLastError());
        return result;
    }
    result.started = true;
    Handle child, thread;
    child.value = process.hProcess;
    thread.value = process.hThread;
    inRead.reset();
    outWrite.reset();
    errWrite.reset();
    DWORD written = 0;
    if (!options.input.empty())
        WriteFile(inWrite.value, options.input.data(), static_cast<DWORD>(options.input.size()), &written, nullptr);
    inWrite.reset();

    // Read while the child runs and what is left once it has ended: the end
    // of a pipe is not waited for, since under wine it can come late.
    std::string out, err;
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(options.timeoutSeconds) * 1000;
    for (;;) {
        bool outOpen = drain(outRead.value, &out);
        bool errOpen = drain(errRead.value, &err);
        if (WaitForSingleObject(child.value, 10) == WAIT_OBJECT_0) {
            drain(outRead.value, &out);
            drain(errRead.value, &err);
            break;
        }
        if (!outOpen && !errOpen) {
            WaitForSingleObject(child.value, static_cast<DWORD>(options.timeoutSeconds) * 1000);
        }
        if (GetTickCount64() >= deadline) {
            TerminateProcess(child.value, 1);
            WaitForSingleObject(child.value, INFINITE);
            result.timedOut = true;
            break;
        }
    }
    DWORD status = 0;
    GetExitCodeProcess(child.value, &status);
    result.exited = !result.timedOut;
    result.exitStatus = static_cast<int>(status);
    result.out = programText(out);
    result.err = programText(err);
    return result;
}

RunResult runInTerminal(const std::string&, const std::vector<std::string>&, const RunOptions&,
                        const std::vector<TerminalStep>&) {
    RunResult result;
    result.err = "no pseudo-terminal on Windows";
    return result;
}

}  // namespace testsupport
