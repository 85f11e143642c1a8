// A private folder for the files of fuzz runs: in memory (/dev/shm) where
// the system has it, else under $TMPDIR or /tmp; made on first use and
// removed with its files when the process ends normally.
#ifndef QORTA_FUZZ_SCRATCH_DIR_H
#define QORTA_FUZZ_SCRATCH_DIR_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzz {

// The path of `name` in the scratch folder.
std::string scratchPath(const char* name);

// Writes `size` bytes of `data` as the whole file `path`; ends the process
// with a message on failure.
void writeWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

// The bytes of `path`; false when it cannot be opened.
bool readWholeFile(const std::string& path, std::vector<std::uint8_t>* bytes);

}  // namespace fuzz

#endif
