// Memory for large buffers on Windows: the heap serves them all.
#include "platform/platform.h"

#include <cstdlib>

namespace platform {

void* allocateMemory(std::size_t bytes) { return std::calloc(bytes == 0 ? 1 : bytes, 1); }

void releaseMemory(void* memory, std::size_t /*bytes*/) { std::free(memory); }

}  // namespace platform
