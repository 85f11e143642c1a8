// The operating-system services the console programs use: files, folders,
// console key presses and a millisecond clock. One implementation per
// platform lives beside this header (posix/ for Linux, win32/ for 32-bit
// Windows).
//
// Every function reports failure by its result and never throws.
#ifndef QORTA_PLATFORM_H
#define QORTA_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// An open file. `value` is the descriptor (POSIX) or handle (Win32).
struct FileHandle {
    std::intptr_t value;
};

// The handle that names no file; every open and create returns it on failure.
FileHandle invalidFile();
bool isValid(FileHandle file);

// Opens an existing regular file (a disk file on Win32) for reading, shared
// with other readers only. Folders, pipes, FIFOs, sockets and devices are
// refused; opening one of them never blocks.
FileHandle openInputFile(const char* path);

// What makes a file the same file under every name and link that leads to
// it: device and inode on POSIX, volume serial number and file index on
// Win32.
struct FileIdentity {
    std::uint64_t volume;
    std::uint64_t index;
};

// The identity of the file `path` names, links followed. Returns false when
// there is no such file or its identity cannot be read. Never blocks, also
// for a FIFO.
bool fileIdentity(const char* path, FileIdentity* identity);
inline bool sameIdentity(const FileIdentity& a, const FileIdentity& b) {
    return a.volume == b.volume && a.index == b.index;
}

// True when `path` opens for reading and is not a folder. A path that names
// the same file as `input` counts as not existing: that file is held open
// for reading, so it cannot be opened without sharing.
bool outputExists(const char* path, FileHandle input);

enum class CreateMode {
    CreateNew,     // fails when the file exists
    CreateAlways,  // creates, or truncates an existing file
};

// Creates an output file for writing, not shared. Fails, and leaves the
// file untouched, when `path` names the same file as `input` (also through
// links), since `input` is open and shared for reading only.
FileHandle createOutputFile(const char* path, CreateMode mode, FileHandle input);

// Reads up to `count` bytes. Returns false when the read reports failure;
// otherwise `*delivered` holds the byte count, fewer at the end of the file.
bool readFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* delivered);

// Writes `count` bytes. Returns false when the write fails; otherwise
// `*written` holds the byte count written.
bool writeFile(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* written);

enum class SeekOrigin { Begin, Current };

// Moves the file position and returns the new position, or -1 on failure.
// A position beyond the end of the file is allowed.
std::int64_t seekFile(FileHandle file, std::int64_t distance, SeekOrigin origin);

// Closes a valid handle; does nothing for the invalid one.
void closeFile(FileHandle file);

// Cuts the regular file `file` (a disk file on Win32) to its first `size`
// bytes. Returns false when it is no regular file or cannot be cut. The
// file position afterwards is left unspecified. Async-signal-safe on POSIX.
bool truncateFile(FileHandle file, std::int64_t size);

// The size in bytes of `file` when it is a regular file (a disk file on
// Win32), else -1.
std::int64_t regularFileSize(FileHandle file);

// Writes `count` bytes at byte `position` of `file`. Returns true when all
// of them were written. The file position afterwards is left unspecified.
// Async-signal-safe on POSIX.
bool writeFileAt(FileHandle file, std::int64_t position, const void* buffer, std::uint32_t count);

// Appends the path separator unless `folder` already ends in one: "/" on
// POSIX, the backslash on Win32. An empty name, the current folder, stays
// empty.
void addSeparator(std::string& folder);

// The file-name part of `path`: the text after its last separator. On Win32
// it is taken from the full path that the system resolves (in a buffer of
// 260 bytes, so "." and ".." are resolved too). Returns false when there is
// none (the path ends in a separator) or the full path does not fit.
bool fileNamePart(const std::string& path, std::string* name);

// One entry of a folder listing.
struct FolderEntry {
    std::string name;
    bool isDirectory;
};

// Lists the entries of `folder` (which ends in a separator) whose names end
// in ".wav" in any letter case, in the platform's listing order (POSIX: the
// names sorted with letter case ignored; Win32: as the system delivers
// them). Entries that are neither folders nor regular files (FIFOs, sockets,
// devices) are left out. Returns false when the folder does not exist or
// cannot be read; a folder without matching entries gives true and none.
bool listWavEntries(const std::string& folder, std::vector<FolderEntry>* entries);

// Waits for one key press without echo and without Enter and returns its
// code, 0 to 255. Returns -1 when no key can be read any more (end of input
// or a read error). Pending console output is shown before waiting. On
// POSIX a stop while it waits (Ctrl-Z, SIGTSTP) gives the terminal its
// previous mode back, and single keys without echo are taken again when the
// program continues.
int readKey();

// True when key presses come from a terminal (the console on Win32) while
// standard output goes elsewhere, so that what the program prints there does
// not reach the person who answers.
bool outputHiddenFromKeys();

// Interruptions: Ctrl-C, a request to terminate, a hang-up and the reader
// of a pipe going away (POSIX: SIGINT, SIGTERM, SIGHUP and SIGPIPE; Win32:
// Ctrl-C, also when readKey reads it as a key, Ctrl-Break and closing the
// console; a write to a pipe without reader fails there instead). From this
// call on an interruption runs `beforeEnd`, restores the terminal mode
// (console mode) that readKey changed and ends the program at once with the
// status the interruption gives a program that does not handle it. Signals
// that were ignored when the program started stay ignored. A write beyond
// the process's file-size limit then fails as a full disk would, instead of
// ending the program (POSIX: SIGXFSZ is ignored; Win32 has no such limit).
//
// `beforeEnd` runs inside a signal handler on POSIX and on another thread
// on Win32, never while a writeFile, writeFileAt or truncateFile of the
// program is under way: it may only use regularFileSize, truncateFile and
// writeFileAt.
void handleInterruptions(void (*beforeEnd)());

// Makes sure that standard input, output and error are open, so that no
// file the program opens later takes the place of one of them: on POSIX
// each closed one is opened on the null device (it stays closed when the
// null device cannot be opened). Win32 hands out no handle in a standard
// handle's place, so there it does nothing. Call before any file is opened.
void openStandardStreams();

// Allocates `bytes` of memory set to zero, laid out so that its first use
// is cheap (large buffers in huge pages where the system offers them).
// Returns null when the memory is not available. Release it with
// releaseMemory and the same size.
void* allocateMemory(std::size_t bytes);
void releaseMemory(void* memory, std::size_t bytes);

// Milliseconds from a monotonic clock, wrapping at 2^32.
std::uint32_t tickCount();

}  // namespace platform

#endif
