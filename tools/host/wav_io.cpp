#include "tools/host/wav_io.h"

#include "console/wav_container.h"

namespace host {
namespace {

// Bytes moved per read or write call.
constexpr std::uint32_t CHUNK_BYTES = 1 << 20;

}  // namespace

int readWav16(platform::FileHandle input, WavAudio* audio, std::string* error) {
    WavFormat format;
    std::uint32_t dataSize = 0;
    if (readWavHeader(input, &format, &dataSize) != 1) {
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
    std::vector<unsigned char> data(bytes);
    for (std::uint32_t done = 0; done < bytes;) {
        const std::uint32_t step = bytes - done < CHUNK_BYTES ? bytes - done : CHUNK_BYTES;
        std::uint32_t delivered = 0;
        if (!platform::readFile(input, data.data() + done, step, &delivered) || delivered == 0) {
            *error = "the data chunk ends early";
            return -1;
        }
        done += delivered;
    }
    audio->samplingRate = static_cast<std::int32_t>(format.sampleRate);
    audio->channelCount = format.channels;
    audio->samples.resize(bytes / 2);
    for (std::size_t i = 0; i < audio->samples.size(); ++i)
        audio->samples[i] = static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return 0;
}

int writeWav16(const char* path, platform::FileHandle input, const WavAudio& audio, std::string* error) {
    const std::uint64_t bytes = audio.samples.size() * 2ull;
    if (bytes > UINT32_MAX - 38u) {
        *error = "too much audio for a WAV file";
        return -1;
    }
    std::vector<unsigned char> data(static_cast<std::size_t>(bytes));
    for (std::size_t i = 0; i < audio.samples.size(); ++i) {
        const auto sample = static_cast<std::uint16_t>(audio.samples[i]);
        data[2 * i] = static_cast<unsigned char>(sample);
        data[2 * i + 1] = static_cast<unsigned char>(sample >> 8);
    }
    platform::FileHandle output = platform::createOutputFile(path, platform::CreateMode::CreateAlways, input);
    if (!platform::isValid(output)) {
        *error = std::string("cannot create ") + path;
        return -1;
    }
    WavFormat format;
    format.channels = static_cast<std::uint16_t>(audio.channelCount);
    format.sampleRate = static_cast<std::uint32_t>(audio.samplingRate);
    format.bitsPerSample = 16;
    bool written = writeWavHeader(output, format, static_cast<std::uint32_t>(bytes)) == 0;
    for (std::uint64_t done = 0; written && done < bytes;) {
        const auto step = static_cast<std::uint32_t>(bytes - done < CHUNK_BYTES ? bytes - done : CHUNK_BYTES);
        std::uint32_t count = 0;
        written = platform::writeFile(output, data.data() + done, step, &count) && count == step;
        done += step;
    }
    platform::closeFile(output);
    if (!written) *error = std::string("cannot write ") + path;
    return written ? 0 : -1;
}

}  // namespace host
