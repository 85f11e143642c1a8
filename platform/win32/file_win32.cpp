// Files on Win32. The input is opened shared for reading only and every
// output without sharing, so the system itself refuses an output that names
// an open input: no comparison of paths or file identities is needed.
#include "platform/platform.h"
#include "platform/win32/write_lock_win32.h"

#include <windows.h>

namespace platform {
namespace {

CRITICAL_SECTION writeLock;
bool writeLockEnabled = false;

// Holds the write lock while it exists.
class WriteGuard {
public:
    WriteGuard() { lockWrites(); }
    WriteGuard(const WriteGuard&) = delete;
    WriteGuard& operator=(const WriteGuard&) = delete;
    ~WriteGuard() { unlockWrites(); }
};

HANDLE handleOf(FileHandle file) { return reinterpret_cast<HANDLE>(file.value); }

FileHandle fileOf(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return invalidFile();
    return FileHandle{reinterpret_cast<std::intptr_t>(handle)};
}

bool writeAll(HANDLE file, const char* source, std::uint32_t count, std::uint32_t* written) {
    std::uint32_t total = 0;
    while (total < count) {
        DWORD put = 0;
        if (!WriteFile(file, source + total, count - total, &put, nullptr)) return false;
        if (put == 0) break;
        total += put;
    }
    *written = total;
    return true;
}

}  // namespace

void enableWriteLock() {
    if (writeLockEnabled) return;
    InitializeCriticalSection(&writeLock);
    writeLockEnabled = true;
}

void lockWrites() {
    if (writeLockEnabled) EnterCriticalSection(&writeLock);
}

void unlockWrites() {
    if (writeLockEnabled) LeaveCriticalSection(&writeLock);
}

bool tryLockWrites(unsigned milliseconds) {
    if (!writeLockEnabled) return true;
    for (unsigned waited = 0;; waited += 10) {
        if (TryEnterCriticalSection(&writeLock)) return true;
        if (waited >= milliseconds) return false;
        Sleep(10);
    }
}

FileHandle invalidFile() { return FileHandle{reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)}; }

bool isValid(FileHandle file) {
    return file.value != reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE) && file.value != 0;
}

FileHandle openInputFile(const char* path) {
    FileHandle file = fileOf(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // Pipes and character devices (the console, NUL) are no recordings.
    if (isValid(file) && GetFileType(handleOf(file)) != FILE_TYPE_DISK) {
        closeFile(file);
        return invalidFile();
    }
    return file;
}

bool fileIdentity(const char* path, FileIdentity* identity) {
    // Names in the device space ("\\.\pipe\x") are left alone: opening a
    // pipe would take one of its connections.
    if (path[0] == '\\' && path[1] == '\\' && path[2] == '.') return false;
    // Opened for no access at all, which no sharing mode refuses.
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    if (!known) return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool outputExists(const char* path, FileHandle /*input*/) {
    // Opening without sharing fails for the open input itself, which
    // therefore counts as not existing; its creation then fails too.
    HANDLE probe = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return false;
    CloseHandle(probe);
    return true;
}

FileHandle createOutputFile(const char* path, CreateMode mode, FileHandle /*input*/) {
    DWORD disposition = mode == CreateMode::CreateNew ? CREATE_NEW : CREATE_ALWAYS;
    return fileOf(CreateFileA(path, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool readFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* delivered) {
    // A pipe may deliver less than asked before its end; keep reading until
    // the count is complete or the file ends, as a disk file does at once.
    char* target = static_cast<char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
        DWORD got = 0;
        if (!ReadFile(handleOf(file), target + total, count - total, &got, nullptr)) {
            if (GetLastError() == ERROR_BROKEN_PIPE) break;  // the writer closed: end of file
            return false;
        }
        if (got == 0) break;
        total += got;
    }
    *delivered = total;
    return true;
}

bool writeFile(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* written) {
    const WriteGuard guard;
    return writeAll(handleOf(file), static_cast<const char*>(buffer), count, written);
}

std::int64_t seekFile(FileHandle file, std::int64_t distance, SeekOrigin origin) {
    // The distance goes in two halves, so that forward moves of 2 GiB and
    // more are not taken as negative.
    LONG high = static_cast<LONG>(distance >> 32);
    LONG low = static_cast<LONG>(static_cast<std::uint32_t>(distance));
    SetLastError(NO_ERROR);
    DWORD newLow = SetFilePointer(handleOf(file), low, &high, origin == SeekOrigin::Begin ? FILE_BEGIN : FILE_CURRENT);
    if (newLow == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return -1;
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) | newLow);
}

void closeFile(FileHandle file) {
    if (isValid(file)) CloseHandle(handleOf(file));
}

bool truncateFile(FileHandle file, std::int64_t size) {
    const WriteGuard guard;
    return isValid(file) && GetFileType(handleOf(file)) == FILE_TYPE_DISK &&
           seekFile(file, size, SeekOrigin::Begin) == size && SetEndOfFile(handleOf(file)) != 0;
}

std::int64_t regularFileSize(FileHandle file) {
    LARGE_INTEGER size;
    if (!isValid(file) || GetFileType(handleOf(file)) != FILE_TYPE_DISK || !GetFileSizeEx(handleOf(file), &size))
        return -1;
    return static_cast<std::int64_t>(size.QuadPart);
}

bool writeFileAt(FileHandle file, std::int64_t position, const void* buffer, std::uint32_t count) {
    const WriteGuard guard;
    std::uint32_t written = 0;
    return seekFile(file, position, SeekOrigin::Begin) == position &&
           writeAll(handleOf(file), static_cast<const char*>(buffer), count, &written) && written == count;
}

}  // namespace platform
