// 16-bit PCM WAV files for the host simulator, read whole into memory and
// written with the console programs' 46-byte header.
#ifndef QORTA_TOOLS_HOST_WAV_IO_H
#define QORTA_TOOLS_HOST_WAV_IO_H

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace host {

struct WavAudio {
    std::int32_t samplingRate = 0;
    std::int32_t channelCount = 0;
    std::vector<std::int16_t> samples;  // interleaved
};

// Reads the WAV file `input`, open at its start. Returns 0 on success;
// returns -1 and describes the fault in `*error` for a file that is not a
// PCM WAV file, is not 16-bit mono or stereo, has a sampling rate beyond
// 32-bit signed range or 0, or whose data chunk ends early. Whole sample
// frames are kept; a partial frame at the end of the data is dropped.
int readWav16(platform::FileHandle input, WavAudio* audio, std::string* error);

// Creates (or replaces) the WAV file `path` holding `audio`. `input` is the
// open input file; a path that names it is refused, so the input is never
// overwritten. Returns 0, or -1 with the fault in `*error`.
int writeWav16(const char* path, platform::FileHandle input, const WavAudio& audio, std::string* error);

}  // namespace host

#endif
