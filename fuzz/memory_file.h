// A file that lives in memory but is read through the ordinary file
// services, for feeding fuzz inputs to code that reads from a file handle.
#ifndef QORTA_FUZZ_MEMORY_FILE_H
#define QORTA_FUZZ_MEMORY_FILE_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace fuzz {

// Replaces the content of the process's memory file with `size` bytes of
// `data` and returns its handle positioned at the start. The handle stays
// owned by this module and is reused by the next call; the process ends with
// a message when no memory file can be made.
platform::FileHandle memoryFileWith(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz

#endif
