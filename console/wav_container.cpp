#include "console/wav_container.h"

#include <cstring>

namespace {

// The largest fmt chunk whose extra byte count fits 16 bits: 14 + 65535.
constexpr std::uint32_t MAX_FMT_BYTES = 65549;

std::uint16_t getU16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t getU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

unsigned char* putU16(unsigned char* p, std::uint16_t value) {
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    return p + 2;
}

unsigned char* putU32(unsigned char* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
    return p + 4;
}

unsigned char* putId(unsigned char* p, const char* id) {
    std::memcpy(p, id, 4);
    return p + 4;
}

bool readExactly(platform::FileHandle file, void* buffer, std::uint32_t count) {
    std::uint32_t delivered = 0;
    return platform::readFile(file, buffer, count, &delivered) && delivered == count;
}

bool readId(platform::FileHandle file, const char* expected) {
    unsigned char id[4];
    return readExactly(file, id, 4) && std::memcmp(id, expected, 4) == 0;
}

bool readU32(platform::FileHandle file, std::uint32_t* value) {
    unsigned char bytes[4];
    if (!readExactly(file, bytes, 4)) return false;
    *value = getU32(bytes);
    return true;
}

// Reads and drops `count` bytes; fails unless all of them arrive.
bool discard(platform::FileHandle file, std::uint32_t count) {
    unsigned char scratch[4096];
    while (count > 0) {
        std::uint32_t step = count < sizeof scratch ? count : sizeof scratch;
        if (!readExactly(file, scratch, step)) return false;
        count -= step;
    }
    return true;
}

bool readFmtChunk(platform::FileHandle file, WavFormat* format) {
    std::uint32_t size = 0;
    if (!readId(file, "fmt ") || !readU32(file, &size)) return false;
    unsigned char fields[18];
    if (size == 18) {
        if (!readExactly(file, fields, 18)) return false;
        format->bitsPerSample = getU16(fields + 14);
        format->extraSize = getU16(fields + 16);
    } else {
        if (size < 14 || size > MAX_FMT_BYTES) return false;
        if (!readExactly(file, fields, 14)) return false;
    }
    format->formatTag = getU16(fields);
    format->channels = getU16(fields + 2);
    format->sampleRate = getU32(fields + 4);
    format->byteRate = getU32(fields + 8);
    format->blockAlign = getU16(fields + 12);
    if (size != 18) {
        format->extraSize = static_cast<std::uint16_t>(size - 14);
        format->bitsPerSample =
            format->channels == 0 ? 0 : static_cast<std::uint16_t>(format->blockAlign * 8 / format->channels);
    }
    // An 18-byte chunk announces its own extra bytes; they are read too.
    return discard(file, format->extraSize) && format->formatTag == 1;
}

// Skips chunks up to "data" and returns its size.
bool findDataChunk(platform::FileHandle file, std::uint32_t* dataSize) {
    for (;;) {
        unsigned char id[4];
        std::uint32_t delivered = 0;
        if (!platform::readFile(file, id, 4, &delivered) || delivered < 4) return false;
        std::uint32_t size = 0;
        if (!readU32(file, &size)) return false;
        if (std::memcmp(id, "data", 4) == 0) {
            *dataSize = size;
            return true;
        }
        if (size != 0) {
            std::int64_t before = platform::seekFile(file, 0, platform::SeekOrigin::Current);
            std::int64_t after = platform::seekFile(file, size, platform::SeekOrigin::Current);
            if (before < 0 || after != before + static_cast<std::int64_t>(size)) return false;
        }
    }
}

}  // namespace

int readWavHeader(platform::FileHandle file, WavFormat* format, std::uint32_t* dataSize) {
    if (format == nullptr || dataSize == nullptr || !platform::isValid(file)) return 0;
    std::uint32_t riffSize = 0;  // not checked against anything
    if (!readId(file, "RIFF") || !readU32(file, &riffSize) || !readId(file, "WAVE")) return 0;
    if (!readFmtChunk(file, format)) return 0;
    return findDataChunk(file, dataSize) ? 1 : 0;
}

int writeWavHeader(platform::FileHandle file, WavFormat format, std::uint32_t dataSize) {
    format.blockAlign = static_cast<std::uint16_t>((format.bitsPerSample / 8) * format.channels);
    format.byteRate = format.blockAlign * format.sampleRate;
    format.formatTag = 1;
    format.extraSize = 0;

    unsigned char header[WAV_HEADER_BYTES];
    unsigned char* p = putId(header, "RIFF");
    p = putU32(p, dataSize + 38);
    p = putId(p, "WAVE");
    p = putId(p, "fmt ");
    p = putU32(p, 18);
    p = putU16(p, format.formatTag);
    p = putU16(p, format.channels);
    p = putU32(p, format.sampleRate);
    p = putU32(p, format.byteRate);
    p = putU16(p, format.blockAlign);
    p = putU16(p, format.bitsPerSample);
    p = putU16(p, format.extraSize);
    p = putId(p, "data");
    putU32(p, dataSize);

    std::uint32_t written = 0;
    bool ok = platform::writeFile(file, header, WAV_HEADER_BYTES, &written) && written == WAV_HEADER_BYTES;
    return ok ? 0 : -1;
}
