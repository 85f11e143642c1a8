// The byte streams the WAV header reader and writer work on: a record of
// function pointers and the context they are called with, so that a header
// can be read from a file, from memory or from anything else that delivers
// bytes in order.
#ifndef QORTA_CONSOLE_BYTE_STREAM_H
#define QORTA_CONSOLE_BYTE_STREAM_H

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"

namespace console {

// Bytes read in order, with a position that can be moved.
struct ByteSource {
    // Reads up to `count` bytes into `buffer`. Returns false when the read
    // fails; otherwise `*delivered` holds the byte count, fewer (down to 0)
    // at the end of the bytes.
    bool (*read)(void* context, void* buffer, std::uint32_t count, std::uint32_t* delivered);
    // Moves the position and returns the new one, or -1 on failure. A
    // position beyond the end is allowed; reads there deliver nothing.
    std::int64_t (*seek)(void* context, std::int64_t distance, platform::SeekOrigin origin);
    void* context;
};

// Bytes written in order.
struct ByteSink {
    // Writes `count` bytes. Returns false when the write fails; otherwise
    // `*written` holds the byte count written.
    bool (*write)(void* context, const void* buffer, std::uint32_t count, std::uint32_t* written);
    void* context;
};

// Reads and seeks `*file` through the platform file services, one call for
// each call of the source. `*file` must outlive the source.
ByteSource fileSource(platform::FileHandle* file);

// Writes `*file` through the platform file services. `*file` must outlive
// the sink.
ByteSink fileSink(platform::FileHandle* file);

// Bytes in memory and the read position in them.
struct MemoryBytes {
    const unsigned char* data;
    std::size_t size;
    std::int64_t position;  // may lie beyond `size`
};

// Reads `*memory` from its position on. `*memory` must outlive the source.
ByteSource memorySource(MemoryBytes* memory);

}  // namespace console

#endif
