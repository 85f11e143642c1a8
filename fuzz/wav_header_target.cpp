// Fuzz target: readWavHeader on arbitrary bytes.
//
// Beyond memory safety it checks what the reader promises: Ok or
// IllegalFormat only; on IllegalFormat the data size is left alone; on Ok
// every byte it consumed exists, it stands
// right behind a "data" chunk header whose size it reports, the format tag
// is 1 and the record holds the fmt chunk's fields (bits per sample derived
// from block align and channels unless the chunk is 18 bytes long).
#include <cstring>

#include "console/wav_container.h"
#include "fuzz/check.h"

using namespace console;

using fuzz::check;

namespace {

std::uint32_t u16At(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }

std::uint32_t u32At(const std::uint8_t* p) {
    return u16At(p) | (u16At(p + 2) << 16);
}

constexpr std::uint32_t UNTOUCHED = 0xA5A5A5A5u;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryBytes memory = {data, size, 0};
    WavFormat format;
    std::uint32_t dataSize = UNTOUCHED;
    const FileResult result = readWavHeader(memorySource(&memory), &format, &dataSize);
    check(result == FileResult::Ok || result == FileResult::IllegalFormat, "the result is Ok or IllegalFormat");
    if (result != FileResult::Ok) {
        check(dataSize == UNTOUCHED, "a refused header leaves the data size alone");
        return 0;
    }
    const std::int64_t position = memory.position;
    // RIFF, size, WAVE, "fmt ", size, at least 14 fmt bytes, "data", size.
    check(position >= 42 && static_cast<std::size_t>(position) <= size, "every byte read was in the file");
    check(std::memcmp(data + position - 8, "data", 4) == 0, "the file stands behind a data chunk header");
    check(dataSize == u32At(data + position - 4), "the data size is the chunk's size field");
    check(std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVEfmt ", 8) == 0,
          "RIFF, WAVE and fmt come first");
    const std::uint32_t fmtSize = u32At(data + 16);
    const std::uint8_t* fmt = data + 20;
    check(format.formatTag == 1 && u16At(fmt) == 1, "only the PCM format tag is accepted");
    check(format.channels == u16At(fmt + 2) && format.sampleRate == u32At(fmt + 4) &&
              format.byteRate == u32At(fmt + 8) && format.blockAlign == u16At(fmt + 12),
          "the record holds the fmt chunk's fields");
    if (fmtSize == 18) {
        check(format.bitsPerSample == u16At(fmt + 14) && format.extraSize == u16At(fmt + 16),
              "an 18-byte fmt chunk gives bits and extra size as stored");
    } else {
        check(fmtSize >= 14 && fmtSize <= 65549, "the fmt chunk size is within 14 to 65549");
        const std::uint32_t bits = format.channels == 0 ? 0 : format.blockAlign * 8u / format.channels;
        check(format.bitsPerSample == (bits & 0xFFFF), "bits per sample come from block align and channels");
        check(format.extraSize == fmtSize - 14, "the extra size is what the fmt chunk holds beyond 14 bytes");
    }
    return 0;
}
