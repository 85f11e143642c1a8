#include "qorta/output_commit.h"

#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace qorta {

namespace {

// Temporary files at most open at once: one per running file, and the copy
// of standard input.
constexpr int SLOTS = 512;
constexpr std::size_t PATH_BYTES = 4096;

struct Slot {
    std::atomic<bool> used{false};
    char path[PATH_BYTES];
};

Slot slots[SLOTS];
std::mutex slotLock;

// Blocks the cleanup signals while a temporary file is created or renamed
// and its slot changes, so that the handler never sees half of it.
class SignalBlock {
public:
    SignalBlock() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    SignalBlock(const SignalBlock&) = delete;
    SignalBlock& operator=(const SignalBlock&) = delete;
    ~SignalBlock() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

private:
    sigset_t old_;
};

void onSignal(int signal) {
    for (Slot& slot : slots)
        if (slot.used.load()) unlink(slot.path);
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
}

int takeSlot(const std::string& path) {
    if (path.size() >= PATH_BYTES) return -1;
    std::lock_guard<std::mutex> lock(slotLock);
    for (int i = 0; i < SLOTS; ++i)
        if (!slots[i].used.load()) {
            std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
            slots[i].used.store(true);
            return i;
        }
    return -1;
}

void releaseSlot(int slot) {
    if (slot < 0) return;
    std::lock_guard<std::mutex> lock(slotLock);
    slots[slot].used.store(false);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void installSignalCleanup() {
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGINT);
    sigaddset(&action.sa_mask, SIGTERM);
    sigaddset(&action.sa_mask, SIGHUP);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

int registerTemporary(const std::string& path) {
    return takeSlot(path);
}

void unregisterTemporary(int slot) { releaseSlot(slot); }

std::string createPending(const std::string& finalPath, PendingOutput* pending) {
    pending->finalPath = finalPath;
    const std::string folder = folderOf(finalPath);
    std::string pattern = folder + "/." + baseOf(finalPath) + ".qorta-XXXXXX";
    SignalBlock block;
    const int fd = mkostemp(&pattern[0], O_CLOEXEC);
    if (fd < 0) return "cannot create a file in " + folder + ": " + std::strerror(errno);
    // An ordinary file's permissions: what the umask leaves of 0666.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    pending->fd = fd;
    pending->tempPath = pattern;
    pending->slot = takeSlot(pattern);
    return "";
}

std::string commitPending(PendingOutput* pending, bool overwrite) {
    std::string problem;
    if (fsync(pending->fd) != 0) problem = std::string("cannot write ") + pending->finalPath + ": " + std::strerror(errno);
    if (close(pending->fd) != 0 && problem.empty())
        problem = std::string("cannot write ") + pending->finalPath + ": " + std::strerror(errno);
    pending->fd = -1;
    if (!problem.empty()) {
        discardPending(pending);
        return problem;
    }
    SignalBlock block;
    int result;
    if (overwrite) {
        result = rename(pending->tempPath.c_str(), pending->finalPath.c_str());
    } else {
        result = renameat2(AT_FDCWD, pending->tempPath.c_str(), AT_FDCWD, pending->finalPath.c_str(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
            // A file system without the no-replace rename: a hard link
            // fails just as well when the name exists.
            result = link(pending->tempPath.c_str(), pending->finalPath.c_str());
            if (result == 0) unlink(pending->tempPath.c_str());
        }
    }
    if (result != 0) {
        problem = errno == EEXIST ? pending->finalPath + " exists and is kept (use --overwrite to replace it)"
                                  : "cannot rename the finished output to " + pending->finalPath + ": " +
                                        std::strerror(errno);
        unlink(pending->tempPath.c_str());
    } else {
        // The rename itself reaches the disk with the folder's entry.
        const int dir = open(folderOf(pending->finalPath).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            fsync(dir);
            close(dir);
        }
    }
    releaseSlot(pending->slot);
    pending->slot = -1;
    pending->tempPath.clear();
    return problem;
}

void discardPending(PendingOutput* pending) {
    SignalBlock block;
    if (pending->fd >= 0) close(pending->fd);
    pending->fd = -1;
    if (!pending->tempPath.empty()) unlink(pending->tempPath.c_str());
    pending->tempPath.clear();
    releaseSlot(pending->slot);
    pending->slot = -1;
}

}  // namespace qorta
