// Heap arrays that report a failed allocation by a null pointer and are
// released on every way out of their owner's scope.
#ifndef QORTA_CONSOLE_BUFFER_H
#define QORTA_CONSOLE_BUFFER_H

#include <cstdlib>
#include <memory>

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};

template <typename T>
using Buffer = std::unique_ptr<T[], FreeDeleter>;

// `count` elements, uninitialised; null when the memory is not available.
template <typename T>
Buffer<T> allocateBuffer(std::size_t count) {
    if (count == 0) count = 1;
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) return Buffer<T>();
    return Buffer<T>(static_cast<T*>(std::malloc(count * sizeof(T))));
}

// `count` elements set to zero (0.0 for doubles); null when the memory is
// not available.
template <typename T>
Buffer<T> allocateZeroedBuffer(std::size_t count) {
    if (count == 0) count = 1;
    return Buffer<T>(static_cast<T*>(std::calloc(count, sizeof(T))));
}

#endif
