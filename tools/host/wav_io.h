// 16-bit PCM WAV files for the host simulator, read and written a piece at a
// time, so that an edit of any length needs no more memory than a few of
// its frames. Outputs get the console programs' 46-byte header.
#ifndef QORTA_TOOLS_HOST_WAV_IO_H
#define QORTA_TOOLS_HOST_WAV_IO_H

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace host {

// The audio of an open WAV input file: where its samples lie and what they
// are. The file handle is not owned.
struct WavSource {
    platform::FileHandle file = platform::invalidFile();
    std::int64_t dataStart = 0;  // file position of the first sample
    std::int64_t frames = 0;     // whole sample frames in the data chunk
    std::int32_t samplingRate = 0;
    std::int32_t channelCount = 0;
};

// Reads the header of the WAV file `input`, open at its start, into
// `*source`. Returns 0 on success; returns -1 and describes the fault in
// `*error` for a file that is not a PCM WAV file, is not 16-bit mono or
// stereo, has a sampling rate beyond 32-bit signed range or 0, or whose data
// chunk ends early. Whole sample frames count; a partial frame at the end of
// the data is left out.
int openWav16(platform::FileHandle input, WavSource* source, std::string* error);

// Reads `count` frames from frame `first` on (first + count <= frames) into
// `samples`, interleaved. Returns false when the file cannot deliver them.
bool readWavFrames(const WavSource& source, std::int64_t first, std::int64_t count, std::int16_t* samples);

// An output WAV file being written.
struct WavOutput {
    platform::FileHandle file = platform::invalidFile();
    std::string path;
    std::int32_t channelCount = 0;
    bool failed = false;  // a write failed; nothing more is written
};

// Creates (or replaces) the WAV file `path` for `frames` frames of 16-bit
// audio and writes its header. `input` is the open input file and
// `inputPath` its name; a path that names it (also through links) is
// refused, so the input is never overwritten, and the fault then says so.
// Returns 0, or -1 with the fault in `*error`. Until it is closed, the
// output is the one an interruption fits (console::watchStreamedOutput).
int createWav16(const char* path, platform::FileHandle input, const char* inputPath, std::int32_t samplingRate,
                std::int32_t channelCount, std::int64_t frames, WavOutput* output, std::string* error);

// Appends `count` interleaved samples. Returns false once a write failed.
bool writeWavSamples(WavOutput& output, const std::int16_t* samples, std::size_t count);

// Closes the output. An output that is not `complete` (the run ended
// early) or whose write failed keeps its header and the whole frames
// written, the header telling those frames (console::fitOutputToFrames).
// Returns 0, or -1 with the fault in `*error` when a write failed.
int closeWav16(WavOutput& output, bool complete, std::string* error);

}  // namespace host

#endif
