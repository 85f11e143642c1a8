#include "fuzz/scratch_dir.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fuzz/check.h"

namespace fuzz {
namespace {

std::string folder;
std::vector<std::string> madeFiles;

void removeFolder() {
    for (const std::string& file : madeFiles) unlink(file.c_str());
    rmdir(folder.c_str());
}

const std::string& scratchFolder() {
    if (folder.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp != nullptr && *tmp ? tmp : "/tmp");
        std::string pattern = base + "/qorta-fuzz-XXXXXX";
        check(mkdtemp(&pattern[0]) != nullptr, "a scratch folder can be made");
        folder = pattern;
        std::atexit(removeFolder);
    }
    return folder;
}

}  // namespace

std::string scratchPath(const char* name) {
    std::string path = scratchFolder() + "/" + name;
    bool known = false;
    for (const std::string& file : madeFiles) known = known || file == path;
    if (!known) madeFiles.push_back(path);
    return path;
}

void writeWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    check(fd >= 0, "a scratch file can be written");
    std::size_t done = 0;
    while (done < size) {
        ssize_t put = write(fd, data + done, size - done);
        check(put > 0, "a scratch file takes its bytes");
        done += static_cast<std::size_t>(put);
    }
    close(fd);
}

bool readWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bytes->clear();
    std::uint8_t chunk[65536];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0) break;
        bytes->insert(bytes->end(), chunk, chunk + got);
    }
    close(fd);
    return true;
}

}  // namespace fuzz
