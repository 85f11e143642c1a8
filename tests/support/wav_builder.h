// Builds the bytes of RIFF WAVE files for tests, well-formed or not: any fmt
// chunk size and field values, extra chunks before or after the fmt chunk,
// a data chunk whose size field need not match its bytes, trailing bytes.
#ifndef QORTA_TESTS_SUPPORT_WAV_BUILDER_H
#define QORTA_TESTS_SUPPORT_WAV_BUILDER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace testsupport {

// One chunk: a 4-character identifier, the size field and the body. The
// size field is the body length unless `sizeField` is set. `padOdd` appends
// the zero pad byte behind an odd-sized body.
struct WavChunk {
    std::string id;
    Bytes body;
    std::optional<std::uint32_t> sizeField;
    bool padOdd = false;
};

// A chunk with the given body; the size field says its length unless
// `sizeField` is given.
WavChunk chunk(const std::string& id, const Bytes& body, std::optional<std::uint32_t> sizeField = std::nullopt);

// The layout of a WAV file. The defaults give a canonical 44-byte header
// with a 16-byte PCM fmt chunk.
struct WavLayout {
    std::string riffId = "RIFF";
    std::optional<std::uint32_t> riffSize;  // default: file length - 8
    std::string waveId = "WAVE";
    std::vector<WavChunk> beforeFmt;         // chunks between "WAVE" and "fmt "
    bool hasFmt = true;

    // The fmt chunk: the body holds the 16 standard bytes, then cbSize when
    // fmtBodySize is 18 or more, then `fmtTail`, cut or zero-filled to
    // fmtBodySize bytes. The size field says fmtBodySize unless
    // fmtSizeField is set.
    std::uint32_t fmtBodySize = 16;
    std::optional<std::uint32_t> fmtSizeField;
    std::uint16_t formatTag = 1;
    std::uint16_t channels = 2;
    std::uint32_t sampleRate = 44100;
    std::optional<std::uint32_t> byteRate;    // default: blockAlign x sampleRate
    std::optional<std::uint16_t> blockAlign;  // default: bits / 8 x channels
    std::uint16_t bitsPerSample = 16;
    std::uint16_t cbSize = 0;
    Bytes fmtTail;

    std::vector<WavChunk> afterFmt;  // chunks between "fmt " and "data"
    bool hasData = true;
    Bytes data;
    std::optional<std::uint32_t> dataSizeField;  // default: data.size()
    Bytes trailing;                              // bytes behind the data
};

// The file bytes of `layout`.
Bytes buildWav(const WavLayout& layout);

// The layout of a canonical PCM file: 16-byte fmt chunk, then "data" with
// `data`; callers may change any field before building it.
WavLayout pcmLayout(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample, const Bytes& data);

// A canonical PCM file: buildWav of pcmLayout.
Bytes pcmWav(std::uint16_t channels, std::uint32_t sampleRate, std::uint16_t bitsPerSample, const Bytes& data);

// Interleaved 16-bit samples as little-endian bytes.
Bytes pcm16(const std::vector<std::int16_t>& samples);

// 8-bit samples as stored (unsigned, 128 = silence).
Bytes pcm8(const std::vector<std::uint8_t>& samples);

// `count` bytes of a fixed pseudo-random sequence that depends only on
// `seed`; as 16-bit or 8-bit PCM it is loud broadband noise.
Bytes noiseBytes(std::size_t count, std::uint32_t seed);

// Interleaved 16-bit frames of a test signal: per channel a sine of
// `frequency` Hz (channel c at frequency x (c + 1)) with peak `amplitude`,
// plus a constant `offset`, rounded to the nearest integer.
Bytes sine16(std::size_t frames, int channels, double sampleRate, double frequency, double amplitude,
             double offset);

// Interleaved 8-bit frames of the same test signal around the bias 128.
Bytes sine8(std::size_t frames, int channels, double sampleRate, double frequency, double amplitude, double offset);

// Writes to `path` a WAV file with the header of `layout` (its data and
// data size left out) and `dataBytes` zero bytes of samples, which the file
// system may keep as a hole: a long recording without holding it in
// memory. Returns false when the file cannot be written.
bool writeLongZeroWav(const std::string& path, WavLayout layout, std::uint32_t dataBytes);

// What the programs leave of the output `whole` when writing stops after
// `size` bytes: its 46-byte header and the whole frames of `frameBytes`
// bytes among the bytes that follow it, with the RIFF and data sizes of
// the header set to those frames. Shorter than the header: nothing.
Bytes cutOutput(const Bytes& whole, std::size_t size, std::uint32_t frameBytes);

// The little-endian 32-bit value at byte `at` of `bytes`.
std::uint32_t u32At(const Bytes& bytes, std::size_t at);

// Little-endian field writers used by the builder, for hand-made bytes.
void appendU16(Bytes& bytes, std::uint16_t value);
void appendU32(Bytes& bytes, std::uint32_t value);
void appendText(Bytes& bytes, const std::string& text);

}  // namespace testsupport

#endif
