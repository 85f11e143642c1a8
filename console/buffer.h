// Arrays for the per-file buffers: zeroed, released on every way out of
// their owner's scope, and reporting a failed allocation by a null pointer.
#ifndef QORTA_CONSOLE_BUFFER_H
#define QORTA_CONSOLE_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace console {

struct MemoryRelease {
    std::size_t bytes = 0;
    void operator()(void* memory) const { platform::releaseMemory(memory, bytes); }
};

template <typename T>
using Buffer = std::unique_ptr<T[], MemoryRelease>;

// `count` elements set to zero (0.0 for doubles); null when the memory is
// not available.
template <typename T>
Buffer<T> allocateBuffer(std::size_t count) {
    if (count == 0) count = 1;
    if (count > SIZE_MAX / sizeof(T)) return Buffer<T>();
    const std::size_t bytes = count * sizeof(T);
    return Buffer<T>(static_cast<T*>(platform::allocateMemory(bytes)), MemoryRelease{bytes});
}

}  // namespace console

#endif
