#include "console/wav_container.h"

#include <cstring>

namespace console {

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

bool readExactly(const ByteSource& source, void* buffer, std::uint32_t count) {
    std::uint32_t delivered = 0;
    return source.read(source.context, buffer, count, &delivered) && delivered == count;
}

bool readId(const ByteSource& source, const char* expected) {
    unsigned char id[4];
    return readExactly(source, id, 4) && std::memcmp(id, expected, 4) == 0;
}

bool readU32(const ByteSource& source, std::uint32_t* value) {
    unsigned char bytes[4];
    if (!readExactly(source, bytes, 4)) return false;
    *value = getU32(bytes);
    return true;
}

// Reads and drops `count` bytes; fails unless all of them arrive.
bool discard(const ByteSource& source, std::uint32_t count) {
    unsigned char scratch[4096];
    while (count > 0) {
        std::uint32_t step = count < sizeof scratch ? count : sizeof scratch;
        if (!readExactly(source, scratch, step)) return false;
        count -= step;
    }
    return true;
}

bool readFmtChunk(const ByteSource& source, WavFormat* format) {
    std::uint32_t size = 0;
    if (!readId(source, "fmt ") || !readU32(source, &size)) return false;
    unsigned char fields[18];
    if (size == 18) {
        if (!readExactly(source, fields, 18)) return false;
        format->bitsPerSample = getU16(fields + 14);
        format->extraSize = getU16(fields + 16);
    } else {
        if (size < 14 || size > MAX_FMT_BYTES) return false;
        if (!readExactly(source, fields, 14)) return false;
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
    return discard(source, format->extraSize) && format->formatTag == 1;
}

// A chunk identifier as writers make them: four printable ASCII characters.
bool plausibleId(const unsigned char* id) {
    for (int i = 0; i < 4; ++i)
        if (id[i] < 0x20 || id[i] > 0x7E) return false;
    return true;
}

// Reads the identifier of the chunk behind one of odd size into `id` and
// leaves the file behind it. The RIFF rules put a pad byte behind an odd
// body, which older writers leave out: the identifier is taken behind the
// pad byte when only that position holds a plausible identifier, right
// behind the body when only that one does or neither does, and when both do,
// from the position `preferPadded` names; `*guessed` is then set. Returns
// the bytes delivered for the identifier, or -1 when the read fails.
int readIdAfterOddChunk(const ByteSource& source, bool preferPadded, unsigned char* id, bool* guessed) {
    unsigned char bytes[5];
    std::uint32_t delivered = 0;
    if (!source.read(source.context, bytes, 5, &delivered)) return -1;
    const bool padded = delivered == 5 && plausibleId(bytes + 1);
    const bool unpadded = delivered >= 4 && plausibleId(bytes);
    if (padded && unpadded) *guessed = true;
    if (padded && (preferPadded || !unpadded)) {
        std::memcpy(id, bytes + 1, 4);
        return 4;
    }
    if (delivered == 5 && source.seek(source.context, -1, platform::SeekOrigin::Current) < 0) return -1;
    std::memcpy(id, bytes, 4);
    return delivered < 4 ? static_cast<int>(delivered) : 4;
}

// How a scan for the "data" chunk ends.
enum class ChunkScan {
    Found,   // the data chunk's header was read; the source stands at its first byte
    AtEnd,   // the bytes ended before a data chunk, also inside an identifier or size
    Broken,  // a read or a seek failed, or a chunk could not be skipped
};

// Skips chunks up to "data" and returns its size. Behind a chunk of odd size
// the next identifier is looked for as readIdAfterOddChunk tells.
ChunkScan findDataChunk(const ByteSource& source, bool preferPadded, std::uint32_t* dataSize, bool* guessed) {
    unsigned char id[4];
    std::uint32_t delivered = 0;
    if (!source.read(source.context, id, 4, &delivered)) return ChunkScan::Broken;
    for (;;) {
        if (delivered < 4) return ChunkScan::AtEnd;
        unsigned char sizeField[4];
        if (!source.read(source.context, sizeField, 4, &delivered)) return ChunkScan::Broken;
        if (delivered < 4) return ChunkScan::AtEnd;
        const std::uint32_t size = getU32(sizeField);
        if (std::memcmp(id, "data", 4) == 0) {
            *dataSize = size;
            return ChunkScan::Found;
        }
        if (size != 0) {
            std::int64_t before = source.seek(source.context, 0, platform::SeekOrigin::Current);
            std::int64_t after = source.seek(source.context, size, platform::SeekOrigin::Current);
            if (before < 0 || after != before + static_cast<std::int64_t>(size)) return ChunkScan::Broken;
        }
        if (size % 2 == 0) {
            if (!source.read(source.context, id, 4, &delivered)) return ChunkScan::Broken;
        } else {
            int count = readIdAfterOddChunk(source, preferPadded, id, guessed);
            if (count < 0) return ChunkScan::Broken;
            delivered = static_cast<std::uint32_t>(count);
        }
    }
}

}  // namespace

FileResult readWavHeader(const ByteSource& source, WavFormat* format, std::uint32_t* dataSize) {
    if (format == nullptr || dataSize == nullptr || source.read == nullptr || source.seek == nullptr)
        return FileResult::IllegalFormat;
    std::uint32_t riffSize = 0;  // not checked against anything
    if (!readId(source, "RIFF") || !readU32(source, &riffSize) || !readId(source, "WAVE"))
        return FileResult::IllegalFormat;
    if (!readFmtChunk(source, format)) return FileResult::IllegalFormat;
    // The scan prefers padded odd chunks; when that guess was made and the
    // scan fails, at the end or on a broken chunk, the chunks are scanned
    // again as ones without pad bytes.
    const std::int64_t chunksStart = source.seek(source.context, 0, platform::SeekOrigin::Current);
    bool guessed = false;
    if (findDataChunk(source, true, dataSize, &guessed) == ChunkScan::Found) return FileResult::Ok;
    if (!guessed || chunksStart < 0 ||
        source.seek(source.context, chunksStart, platform::SeekOrigin::Begin) != chunksStart)
        return FileResult::IllegalFormat;
    return findDataChunk(source, false, dataSize, &guessed) == ChunkScan::Found ? FileResult::Ok
                                                                                  : FileResult::IllegalFormat;
}

FileResult writeWavHeader(const ByteSink& sink, WavFormat format, std::uint32_t dataSize) {
    format.blockAlign = static_cast<std::uint16_t>((format.bitsPerSample / 8) * format.channels);
    format.byteRate = format.blockAlign * format.sampleRate;
    format.formatTag = 1;
    format.extraSize = 0;

    unsigned char header[WAV_HEADER_BYTES];
    unsigned char* p = putId(header, "RIFF");
    // Every byte after the size field; a data chunk within 38 bytes of 4 GiB
    // gets the largest size the field holds rather than a wrapped one.
    p = putU32(p, dataSize > 0xFFFFFFFFu - 38u ? 0xFFFFFFFFu : dataSize + 38u);
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
    const bool ok = sink.write != nullptr && sink.write(sink.context, header, WAV_HEADER_BYTES, &written) &&
                    written == WAV_HEADER_BYTES;
    return ok ? FileResult::Ok : FileResult::CannotWrite;
}

}  // namespace console
