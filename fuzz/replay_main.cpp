// Replays inputs through a fuzz target without the fuzzer, as ordinary
// tests do: every file named on the command line, and every file in every
// folder named, in name order. A broken promise or a sanitizer finding ends
// the process abnormally; otherwise it prints how many inputs ran and exits
// with 0, or with 1 when there was nothing to run or a name could not be
// read.
//
// Usage: replay_TARGET FILE-OR-FOLDER...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool isFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The files of `folder` in name order, hidden files left out.
std::vector<std::string> folderFiles(const std::string& folder) {
    std::vector<std::string> files;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            std::string path = folder + "/" + entry->d_name;
            if (!isFolder(path)) files.push_back(path);
        }
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The bytes of `path`; false when it cannot be opened.
bool readWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::string> more = isFolder(argv[i]) ? folderFiles(argv[i]) : std::vector<std::string>{argv[i]};
        inputs.insert(inputs.end(), more.begin(), more.end());
    }
    for (const std::string& path : inputs) {
        std::vector<std::uint8_t> bytes;
        if (!readWholeFile(path, &bytes)) {
            std::fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        std::fprintf(stderr, "%s\n", path.c_str());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::fprintf(stderr, "%lu inputs ran\n", static_cast<unsigned long>(inputs.size()));
    return inputs.empty() ? 1 : 0;
}
