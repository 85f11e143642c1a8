#include "console/output_header.h"

#include <atomic>

#include "console/wav_container.h"

namespace console {

namespace {

// The watched output, read by the interruption handler: the frame size is
// stored before the handle, so a valid handle always comes with its size.
std::atomic<std::intptr_t> watchedOutput{platform::invalidFile().value};
std::atomic<std::uint32_t> watchedFrameBytes{1};

// Byte positions of the two sizes in the header that writeWavHeader writes.
constexpr std::int64_t RIFF_SIZE_AT = 4;
constexpr std::int64_t DATA_SIZE_AT = 42;

void putU32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

void fitWatchedOutput() {
    fitOutputToFrames(platform::FileHandle{watchedOutput.load()}, watchedFrameBytes.load());
}

}  // namespace

void fitOutputToFrames(platform::FileHandle output, std::uint32_t frameBytes) {
    if (!platform::isValid(output) || frameBytes == 0) return;
    const std::int64_t size = platform::regularFileSize(output);
    if (size < 0) return;
    if (size < static_cast<std::int64_t>(WAV_HEADER_BYTES)) {
        platform::truncateFile(output, 0);
        return;
    }
    std::int64_t data = size - WAV_HEADER_BYTES;
    if (data % frameBytes != 0) {
        data -= data % frameBytes;
        platform::truncateFile(output, WAV_HEADER_BYTES + data);
    }
    if (data > 0xFFFFFFFF) data = 0xFFFFFFFF - 0xFFFFFFFF % frameBytes;
    const std::int64_t riff = data + (WAV_HEADER_BYTES - 8);
    unsigned char field[4];
    putU32(field, static_cast<std::uint32_t>(riff > 0xFFFFFFFF ? 0xFFFFFFFF : riff));
    if (!platform::writeFileAt(output, RIFF_SIZE_AT, field, 4)) return;
    putU32(field, static_cast<std::uint32_t>(data));
    platform::writeFileAt(output, DATA_SIZE_AT, field, 4);
}

void watchStreamedOutput(platform::FileHandle output, std::uint32_t frameBytes) {
    watchedOutput.store(platform::invalidFile().value);
    watchedFrameBytes.store(frameBytes);
    watchedOutput.store(output.value);
}

void fitOutputOnInterruption() { platform::handleInterruptions(fitWatchedOutput); }

}  // namespace console
