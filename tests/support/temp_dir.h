// Scratch folders and whole-file helpers for tests.
#ifndef QORTA_TESTS_SUPPORT_TEMP_DIR_H
#define QORTA_TESTS_SUPPORT_TEMP_DIR_H

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

// A fresh, empty folder under $TMPDIR (or /tmp; on Windows under the folder
// for temporary files), removed with everything in it when the object goes
// out of scope. `path` is empty when the folder could not be created.
class TempDir {
public:
    TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir();

    const std::string& path() const { return path_; }
    // `name` joined to the folder with a '/'.
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes `bytes` to `path`, replacing any file there. Returns false on any
// failure.
bool writeBytes(const std::string& path, const Bytes& bytes);

// Reads the whole file at `path` into `*bytes`. Returns false when the file
// cannot be opened or read.
bool readBytes(const std::string& path, Bytes* bytes);

// The whole file at `path`, or an empty vector when it cannot be read.
Bytes fileBytes(const std::string& path);

// True when something (file, folder, link target or not) exists at `path`.
bool pathExists(const std::string& path);

// Creates one folder. Returns false on failure (also when it exists).
bool makeDir(const std::string& path);

}  // namespace testsupport

#endif
