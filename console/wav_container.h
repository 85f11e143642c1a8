// The RIFF WAVE container: reading the header of an input file and writing
// the fixed 46-byte header of an output file. All fields are little-endian.
#ifndef QORTA_CONSOLE_WAV_CONTAINER_H
#define QORTA_CONSOLE_WAV_CONTAINER_H

#include <cstdint>

#include "console/byte_stream.h"
#include "console/file_result.h"

namespace console {

// The fields of a PCM fmt chunk.
struct WavFormat {
    std::uint16_t formatTag = 0;      // 1 = integer PCM, the only tag accepted
    std::uint16_t channels = 0;       // interleaved channels
    std::uint32_t sampleRate = 0;     // frames per second
    std::uint32_t byteRate = 0;       // bytes per second
    std::uint16_t blockAlign = 0;     // bytes per frame
    std::uint16_t bitsPerSample = 0;  // bits per sample of one channel
    std::uint16_t extraSize = 0;      // fmt bytes behind the 18 above
};

// Size of the header that writeWavHeader writes; the first sample byte
// follows it.
constexpr std::uint32_t WAV_HEADER_BYTES = 46;

// Reads the header from `source`, standing at its start: "RIFF", "WAVE", a
// "fmt " chunk of 14 to 65549 bytes as the first chunk, then chunks up to
// "data". A chunk of odd size may be followed by its pad byte or not: the
// next identifier is looked for at both places, preferring the one behind
// the pad byte when both hold four printable characters.
// Returns
//   Ok             a PCM fmt chunk and a "data" chunk were found: `*format`
//                  is filled, `*dataSize` holds the size of the "data" chunk
//                  and the source stands at its first byte;
//   IllegalFormat  for every fault: the bytes end early, a wrong
//                  identifier, a fmt chunk too short or too long, a format
//                  tag other than 1, no "data" chunk, a chunk that cannot be
//                  skipped, a failing read or seek, a null argument.
//                  `*dataSize` is then left unchanged.
// A fmt chunk of other than 18 bytes gets its bits per sample from block
// align and channels (0 when there are no channels).
FileResult readWavHeader(const ByteSource& source, WavFormat* format, std::uint32_t* dataSize);

// Writes the 46-byte header of a PCM file holding `dataSize` bytes of
// samples to `sink` (at the start of the file). The format tag, byte rate,
// block align and extra size are computed, not taken from `format`.
// Returns
//   Ok           the whole header was written;
//   CannotWrite  the write failed or wrote fewer bytes.
FileResult writeWavHeader(const ByteSink& sink, WavFormat format, std::uint32_t dataSize);

}  // namespace console

#endif
