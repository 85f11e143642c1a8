#include "console/byte_stream.h"

#include <cstring>

namespace console {

namespace {

platform::FileHandle& handleOf(void* context) { return *static_cast<platform::FileHandle*>(context); }

bool readFromFile(void* context, void* buffer, std::uint32_t count, std::uint32_t* delivered) {
    return platform::readFile(handleOf(context), buffer, count, delivered);
}

std::int64_t seekInFile(void* context, std::int64_t distance, platform::SeekOrigin origin) {
    return platform::seekFile(handleOf(context), distance, origin);
}

bool writeToFile(void* context, const void* buffer, std::uint32_t count, std::uint32_t* written) {
    return platform::writeFile(handleOf(context), buffer, count, written);
}

bool readFromMemory(void* context, void* buffer, std::uint32_t count, std::uint32_t* delivered) {
    MemoryBytes& memory = *static_cast<MemoryBytes*>(context);
    const auto size = static_cast<std::int64_t>(memory.size);
    const std::int64_t available = memory.position < size ? size - memory.position : 0;
    const auto length = static_cast<std::uint32_t>(available < count ? available : count);
    if (length > 0) std::memcpy(buffer, memory.data + memory.position, length);
    memory.position += length;
    *delivered = length;
    return true;
}

std::int64_t seekInMemory(void* context, std::int64_t distance, platform::SeekOrigin origin) {
    MemoryBytes& memory = *static_cast<MemoryBytes*>(context);
    const std::int64_t base = origin == platform::SeekOrigin::Begin ? 0 : memory.position;
    if (distance < -base || distance > INT64_MAX - base) return -1;
    memory.position = base + distance;
    return memory.position;
}

}  // namespace

ByteSource fileSource(platform::FileHandle* file) { return {readFromFile, seekInFile, file}; }

ByteSink fileSink(platform::FileHandle* file) { return {writeToFile, file}; }

ByteSource memorySource(MemoryBytes* memory) { return {readFromMemory, seekInMemory, memory}; }

}  // namespace console
