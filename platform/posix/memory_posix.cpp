// Memory for large buffers on POSIX systems.
#include "platform/platform.h"

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>

namespace platform {
namespace {

// Buffers from this size on are mapped on their own, in huge pages where the
// system offers them: a page fault per 4 KiB page costs more than the work
// on the page in some virtual machines.
constexpr std::size_t LARGE_BYTES = std::size_t{1} << 20;
constexpr std::size_t HUGE_PAGE_BYTES = std::size_t{2} << 20;

// The sanitizers watch heap memory only, so their builds keep every buffer
// on the heap, where an access beyond its end is caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool MAP_LARGE_BUFFERS = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool MAP_LARGE_BUFFERS = false;
#else
constexpr bool MAP_LARGE_BUFFERS = true;
#endif
#else
constexpr bool MAP_LARGE_BUFFERS = true;
#endif

bool mapped(std::size_t bytes) { return MAP_LARGE_BUFFERS && bytes >= LARGE_BYTES; }

std::size_t roundUp(std::size_t bytes, std::size_t unit) { return (bytes + unit - 1) / unit * unit; }

}  // namespace

void* allocateMemory(std::size_t bytes) {
    if (!mapped(bytes)) return std::calloc(bytes == 0 ? 1 : bytes, 1);
    if (bytes > SIZE_MAX - 2 * HUGE_PAGE_BYTES) return nullptr;
    // Map a huge page more than needed and keep the aligned part, so that
    // the whole buffer can lie in huge pages. Fresh pages read as zero.
    const std::size_t length = roundUp(bytes, HUGE_PAGE_BYTES);
    const std::size_t extra = length + HUGE_PAGE_BYTES;
    void* base = mmap(nullptr, extra, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(base);
    const std::uintptr_t aligned = roundUp(start, HUGE_PAGE_BYTES);
    if (aligned > start) munmap(base, aligned - start);
    const std::uintptr_t end = start + extra;
    if (end > aligned + length) munmap(reinterpret_cast<void*>(aligned + length), end - (aligned + length));
    void* memory = reinterpret_cast<void*>(aligned);
    madvise(memory, length, MADV_HUGEPAGE);  // a hint; without huge pages it changes nothing
    return memory;
}

void releaseMemory(void* memory, std::size_t bytes) {
    if (memory == nullptr) return;
    if (mapped(bytes)) munmap(memory, roundUp(bytes, HUGE_PAGE_BYTES));
    else std::free(memory);
}

}  // namespace platform
