// Files on POSIX systems.
#include "platform/platform.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

int descriptor(FileHandle file) { return static_cast<int>(file.value); }

FileHandle handleOf(int fd) { return FileHandle{fd}; }

bool sameFile(const struct stat& a, FileHandle other) {
    struct stat b;
    if (!isValid(other) || fstat(descriptor(other), &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens `path` for reading; folders are refused, as a file open refuses them.
FileHandle openForReading(const char* path, int extraFlags) {
    int fd;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC | extraFlags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return invalidFile();
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return invalidFile();
    }
    return handleOf(fd);
}

}  // namespace

FileHandle invalidFile() { return FileHandle{-1}; }

bool isValid(FileHandle file) { return file.value >= 0; }

FileHandle openInputFile(const char* path) {
    // Opened without blocking, so that a FIFO nobody writes to is refused
    // instead of waited for; a regular file then reads as usual.
    FileHandle file = openForReading(path, O_NONBLOCK);
    if (!isValid(file)) return file;
    struct stat info;
    int flags = fcntl(descriptor(file), F_GETFL);
    if (fstat(descriptor(file), &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        fcntl(descriptor(file), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        closeFile(file);
        return invalidFile();
    }
    return file;
}

bool fileIdentity(const char* path, FileIdentity* identity) {
    struct stat info;
    if (stat(path, &info) != 0) return false;
    identity->volume = static_cast<std::uint64_t>(info.st_dev);
    identity->index = static_cast<std::uint64_t>(info.st_ino);
    return true;
}

bool outputExists(const char* path, FileHandle input) {
    // Non-blocking, so that probing a pipe nobody writes to does not hang.
    FileHandle probe = openForReading(path, O_NONBLOCK);
    if (!isValid(probe)) return false;
    struct stat info;
    bool exists = fstat(descriptor(probe), &info) == 0 && !sameFile(info, input);
    closeFile(probe);
    return exists;
}

FileHandle createOutputFile(const char* path, CreateMode mode, FileHandle input) {
    // The file is opened without truncation first so that an output naming
    // the input can be refused before a single byte of it is lost.
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    if (mode == CreateMode::CreateNew) flags |= O_EXCL;
    int fd;
    do {
        fd = open(path, flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return invalidFile();
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || sameFile(info, input)) {
        close(fd);
        return invalidFile();
    }
    if (S_ISREG(info.st_mode) && info.st_size != 0 && ftruncate(fd, 0) != 0) {
        close(fd);
        return invalidFile();
    }
    return handleOf(fd);
}

bool readFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* delivered) {
    // A read may deliver less than asked before the end of the file (pipes,
    // signals); keep reading until the count is complete or the file ends.
    char* target = static_cast<char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
        ssize_t got = read(descriptor(file), target + total, count - total);
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (got == 0) break;
        total += static_cast<std::uint32_t>(got);
    }
    *delivered = total;
    return true;
}

bool writeFile(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* written) {
    const char* source = static_cast<const char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
        ssize_t put = write(descriptor(file), source + total, count - total);
        if (put < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (put == 0) break;
        total += static_cast<std::uint32_t>(put);
    }
    *written = total;
    return true;
}

std::int64_t seekFile(FileHandle file, std::int64_t distance, SeekOrigin origin) {
    off_t result = lseek(descriptor(file), static_cast<off_t>(distance),
                         origin == SeekOrigin::Begin ? SEEK_SET : SEEK_CUR);
    return result < 0 ? -1 : static_cast<std::int64_t>(result);
}

void closeFile(FileHandle file) {
    if (isValid(file)) close(descriptor(file));
}

bool truncateFile(FileHandle file, std::int64_t size) {
    struct stat info;
    if (!isValid(file) || fstat(descriptor(file), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    int result;
    do {
        result = ftruncate(descriptor(file), static_cast<off_t>(size));
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

std::int64_t regularFileSize(FileHandle file) {
    struct stat info;
    if (!isValid(file) || fstat(descriptor(file), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

bool writeFileAt(FileHandle file, std::int64_t position, const void* buffer, std::uint32_t count) {
    // lseek and write rather than pwrite: these two are async-signal-safe.
    if (lseek(descriptor(file), static_cast<off_t>(position), SEEK_SET) != static_cast<off_t>(position)) return false;
    const char* source = static_cast<const char*>(buffer);
    std::uint32_t total = 0;
    while (total < count) {
        ssize_t put = write(descriptor(file), source + total, count - total);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        total += static_cast<std::uint32_t>(put);
    }
    return true;
}

}  // namespace platform
