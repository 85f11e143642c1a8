// Folder names and listings on POSIX systems.
#include "platform/platform.h"
#include "platform/wav_name.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

namespace platform {
namespace {

// The listing order of a case-insensitive file system: names compared with
// ASCII letters folded to upper case, ties broken byte by byte.
bool listedBefore(const FolderEntry& a, const FolderEntry& b) {
    std::size_t common = std::min(a.name.size(), b.name.size());
    for (std::size_t i = 0; i < common; ++i) {
        unsigned char x = static_cast<unsigned char>(upperAscii(a.name[i]));
        unsigned char y = static_cast<unsigned char>(upperAscii(b.name[i]));
        if (x != y) return x < y;
    }
    if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
    return a.name < b.name;
}

}  // namespace

void addSeparator(std::string& folder) {
    // An empty name stays empty: it names the current folder, and a lone
    // separator would name the root instead.
    if (!folder.empty() && folder.back() != '/') folder += '/';
}

bool fileNamePart(const std::string& path, std::string* name) {
    std::size_t slash = path.rfind('/');
    std::string part = slash == std::string::npos ? path : path.substr(slash + 1);
    if (part.empty()) return false;
    *name = part;
    return true;
}

bool listWavEntries(const std::string& folder, std::vector<FolderEntry>* entries) {
    entries->clear();
    DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return false;
    while (struct dirent* entry = readdir(dir)) {
        if (!hasWavEnding(entry->d_name)) continue;
        std::string path = folder + entry->d_name;
        struct stat info;
        bool found = stat(path.c_str(), &info) == 0;
        // FIFOs, sockets and devices are no recordings: a FIFO would only
        // make the batch wait for a writer.
        if (found && !S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) continue;
        entries->push_back(FolderEntry{entry->d_name, found && S_ISDIR(info.st_mode)});
    }
    closedir(dir);
    std::sort(entries->begin(), entries->end(), listedBefore);
    return true;
}

}  // namespace platform
