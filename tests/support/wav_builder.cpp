#include "tests/support/wav_builder.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

namespace testsupport {
namespace {

void appendChunk(Bytes& bytes, const WavChunk& chunk) {
    appendText(bytes, chunk.id);
    appendU32(bytes, chunk.sizeField.value_or(static_cast<std::uint32_t>(chunk.body.size())));
    bytes.insert(bytes.end(), chunk.body.begin(), chunk.body.end());
    if (chunk.padOdd && chunk.body.size() % 2 == 1) bytes.push_back(0);
}

Bytes fmtBody(const WavLayout& l) {
    const std::uint16_t align =
        l.blockAlign.value_or(static_cast<std::uint16_t>(l.bitsPerSample / 8 * l.channels));
    Bytes body;
    appendU16(body, l.formatTag);
    appendU16(body, l.channels);
    appendU32(body, l.sampleRate);
    appendU32(body, l.byteRate.value_or(align * l.sampleRate));
    appendU16(body, align);
    appendU16(body, l.bitsPerSample);
    if (l.fmtBodySize >= 18) appendU16(body, l.cbSize);
    body.insert(body.end(), l.fmtTail.begin(), l.fmtTail.end());
    body.resize(l.fmtBodySize, 0);
    return body;
}

template <typename Sample>
Bytes sineFrames(std::size_t frames, int channels, double sampleRate, double frequency, double amplitude,
                 double offset, double low, double high, int width) {
    Bytes bytes;
    for (std::size_t n = 0; n < frames; ++n) {
        for (int c = 0; c < channels; ++c) {
            double phase = 2.0 * M_PI * frequency * (c + 1) * static_cast<double>(n) / sampleRate;
            double value = std::round(offset + amplitude * std::sin(phase));
            value = value < low ? low : (value > high ? high : value);
            if (value != value) value = 0.0;  // a rate of 0 has no phase: its samples are 0
            auto sample = static_cast<Sample>(value);
            if (width == 2) {
                appendU16(bytes, static_cast<std::uint16_t>(sample));
            } else {
                bytes.push_back(static_cast<std::uint8_t>(sample));
            }
        }
    }
    return bytes;
}

}  // namespace

void appendU16(Bytes& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void appendU32(Bytes& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void appendText(Bytes& bytes, const std::string& text) { bytes.insert(bytes.end(), text.begin(), text.end()); }

WavChunk chunk(const std::string& id, const Bytes& body, std::optional<std::uint32_t> sizeField) {
    WavChunk c;
    c.id = id;
    c.body = body;
    c.sizeField = sizeField;
    return c;
}

Bytes buildWav(const WavLayout& l) {
    Bytes bytes;
    appendText(bytes, l.riffId);
    appendU32(bytes, 0);  // RIFF size, filled in below
    appendText(bytes, l.waveId);
    for (const WavChunk& chunk : l.beforeFmt) appendChunk(bytes, chunk);
    if (l.hasFmt) {
        appendChunk(bytes, chunk("fmt ", fmtBody(l), l.fmtSizeField.value_or(l.fmtBodySize)));
    }
    for (const WavChunk& chunk : l.afterFmt) appendChunk(bytes, chunk);
    if (l.hasData) {
        appendChunk(bytes, chunk("data", l.data, l.dataSizeField));
    }
    bytes.insert(bytes.end(), l.trailing.begin(), l.trailing.end());
    std::uint32_t riffSize = l.riffSize.value_or(static_cast<std::uint32_t>(bytes.size() - 8));
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
    return bytes;
}

WavLayout pcmLayout(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample, const Bytes& data) {
    WavLayout layout;
    layout.channels = channels;
    layout.sampleRate = sampleRate;
    layout.bitsPerSample = bitsPerSample;
    layout.data = data;
    return layout;
}

Bytes pcmWav(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample, const Bytes& data) {
    return buildWav(pcmLayout(channels, sampleRate, bitsPerSample, data));
}

Bytes pcm16(const std::vector<std::int16_t>& samples) {
    Bytes bytes;
    for (std::int16_t s : samples) appendU16(bytes, static_cast<std::uint16_t>(s));
    return bytes;
}

Bytes pcm8(const std::vector<std::uint8_t>& samples) { return Bytes(samples.begin(), samples.end()); }

Bytes noiseBytes(std::size_t count, std::uint32_t seed) {
    Bytes bytes(count);
    std::uint32_t state = seed * 2654435761u + 12345u;
    for (std::size_t i = 0; i < count; ++i) {
        // xorshift32: cheap, deterministic on every platform
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

Bytes sine16(std::size_t frames, int channels, double sampleRate, double frequency, double amplitude,
             double offset) {
    return sineFrames<std::int16_t>(frames, channels, sampleRate, frequency, amplitude, offset, -32768.0, 32767.0, 2);
}

Bytes sine8(std::size_t frames, int channels, double sampleRate, double frequency, double amplitude, double offset) {
    return sineFrames<std::uint8_t>(frames, channels, sampleRate, frequency, amplitude, 128.0 + offset, 0.0, 255.0,
                                    1);
}

bool writeLongZeroWav(const std::string& path, WavLayout layout, std::uint32_t dataBytes) {
    layout.data.clear();
    layout.dataSizeField = dataBytes;
    layout.trailing.clear();
    layout.riffSize = static_cast<std::uint32_t>(buildWav(layout).size() - 8 + dataBytes);
    const Bytes header = buildWav(layout);
    std::error_code error;
    if (!writeBytes(path, header)) return false;
    std::filesystem::resize_file(path, header.size() + dataBytes, error);
    return !error;
}

Bytes cutOutput(const Bytes& whole, std::size_t size, std::uint32_t frameBytes) {
    size = std::min(size, whole.size());
    if (size < 46) return Bytes();
    const std::uint32_t data = static_cast<std::uint32_t>((size - 46) / frameBytes * frameBytes);
    Bytes cut(whole.begin(), whole.begin() + 46 + data);
    Bytes riff, dataSize;
    appendU32(riff, data + 38);
    appendU32(dataSize, data);
    std::copy(riff.begin(), riff.end(), cut.begin() + 4);
    std::copy(dataSize.begin(), dataSize.end(), cut.begin() + 42);
    return cut;
}

std::uint32_t u32At(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes.at(at)) | static_cast<std::uint32_t>(bytes.at(at + 1)) << 8 |
           static_cast<std::uint32_t>(bytes.at(at + 2)) << 16 | static_cast<std::uint32_t>(bytes.at(at + 3)) << 24;
}

}  // namespace testsupport
