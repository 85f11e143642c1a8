#include "tools/host/wav_io.h"

#include "console/output_header.h"
#include "console/wav_container.h"

using namespace console;

namespace host {
namespace {

// Bytes moved per read or write call.
constexpr std::uint32_t CHUNK_BYTES = 1 << 16;

// Reads exactly `count` bytes at the current position.
bool readExactly(platform::FileHandle file, unsigned char* bytes, std::uint64_t count) {
    while (count > 0) {
        const auto step = static_cast<std::uint32_t>(count < CHUNK_BYTES ? count : CHUNK_BYTES);
        std::uint32_t delivered = 0;
        if (!platform::readFile(file, bytes, step, &delivered) || delivered == 0) return false;
        bytes += delivered;
        count -= delivered;
    }
    return true;
}

}  // namespace

int openWav16(platform::FileHandle input, WavSource* source, std::string* error) {
    WavFormat format;
    std::uint32_t dataSize = 0;
    if (readWavHeader(fileSource(&input), &format, &dataSize) != FileResult::Ok) {
        *error = "not a PCM WAV file";
        return -1;
    }
    if (format.bitsPerSample != 16 || format.channels < 1 || format.channels > 2) {
        *error = "only 16-bit mono or stereo WAV files can be used";
        return -1;
    }
    if (format.sampleRate == 0 || format.sampleRate > static_cast<std::uint32_t>(INT32_MAX)) {
        *error = "unusable sampling rate " + std::to_string(format.sampleRate);
        return -1;
    }
    const std::uint32_t frameBytes = 2u * format.channels;
    const std::uint32_t bytes = dataSize / frameBytes * frameBytes;
    const std::int64_t dataStart = platform::seekFile(input, 0, platform::SeekOrigin::Current);
    // The data is read frame by frame later on; its last byte tells now
    // whether all of it is there.
    unsigned char last = 0;
    const std::int64_t lastByte = dataStart + bytes - 1;
    const bool present = bytes == 0 || (platform::seekFile(input, lastByte, platform::SeekOrigin::Begin) == lastByte &&
                                        readExactly(input, &last, 1));
    if (dataStart < 0 || !present) {
        *error = "the data chunk ends early";
        return -1;
    }
    source->file = input;
    source->dataStart = dataStart;
    source->frames = bytes / frameBytes;
    source->samplingRate = static_cast<std::int32_t>(format.sampleRate);
    source->channelCount = format.channels;
    return 0;
}

bool readWavFrames(const WavSource& source, std::int64_t first, std::int64_t count, std::int16_t* samples) {
    const std::int64_t frameBytes = 2 * source.channelCount;
    const std::int64_t position = source.dataStart + first * frameBytes;
    if (platform::seekFile(source.file, position, platform::SeekOrigin::Begin) != position) return false;
    // The little-endian bytes land in the sample buffer and are turned into
    // samples in place: each sample is built from its own two bytes.
    auto* bytes = reinterpret_cast<unsigned char*>(samples);
    const std::int64_t sampleCount = count * source.channelCount;
    if (!readExactly(source.file, bytes, static_cast<std::uint64_t>(sampleCount) * 2)) return false;
    for (std::int64_t i = 0; i < sampleCount; ++i)
        samples[i] = static_cast<std::int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return true;
}

int createWav16(const char* path, platform::FileHandle input, const char* inputPath, std::int32_t samplingRate,
                std::int32_t channelCount, std::int64_t frames, WavOutput* output, std::string* error) {
    const std::uint64_t bytes = static_cast<std::uint64_t>(frames) * 2u * static_cast<std::uint32_t>(channelCount);
    if (bytes > UINT32_MAX - 38u) {
        *error = "too much audio for a WAV file";
        return -1;
    }
    output->file = platform::createOutputFile(path, platform::CreateMode::CreateAlways, input);
    output->path = path;
    output->channelCount = channelCount;
    output->failed = false;
    if (!platform::isValid(output->file)) {
        // The creation itself refuses the input; the names tell why.
        platform::FileIdentity created;
        platform::FileIdentity read;
        const bool isInput = platform::fileIdentity(path, &created) && platform::fileIdentity(inputPath, &read) &&
                             platform::sameIdentity(created, read);
        *error = std::string("cannot create ") + path + (isInput ? ": it is the input file" : "");
        return -1;
    }
    watchStreamedOutput(output->file, 2u * static_cast<std::uint32_t>(channelCount));
    WavFormat format;
    format.channels = static_cast<std::uint16_t>(channelCount);
    format.sampleRate = static_cast<std::uint32_t>(samplingRate);
    format.bitsPerSample = 16;
    const auto dataSize = static_cast<std::uint32_t>(bytes);
    output->failed = writeWavHeader(fileSink(&output->file), format, dataSize) != FileResult::Ok;
    return 0;
}

bool writeWavSamples(WavOutput& output, const std::int16_t* samples, std::size_t count) {
    unsigned char bytes[CHUNK_BYTES];
    for (std::size_t done = 0; !output.failed && done < count;) {
        const std::size_t step = count - done < CHUNK_BYTES / 2 ? count - done : CHUNK_BYTES / 2;
        for (std::size_t i = 0; i < step; ++i) {
            const auto sample = static_cast<std::uint16_t>(samples[done + i]);
            bytes[2 * i] = static_cast<unsigned char>(sample);
            bytes[2 * i + 1] = static_cast<unsigned char>(sample >> 8);
        }
        std::uint32_t written = 0;
        const auto length = static_cast<std::uint32_t>(2 * step);
        output.failed = !platform::writeFile(output.file, bytes, length, &written) || written != length;
        done += step;
    }
    return !output.failed;
}

int closeWav16(WavOutput& output, bool complete, std::string* error) {
    const std::uint32_t frameBytes = 2u * static_cast<std::uint32_t>(output.channelCount);
    if (!complete || output.failed) fitOutputToFrames(output.file, frameBytes);
    watchStreamedOutput(platform::invalidFile(), 1);
    platform::closeFile(output.file);
    output.file = platform::invalidFile();
    if (output.failed) *error = "cannot write " + output.path;
    return output.failed ? -1 : 0;
}

}  // namespace host
