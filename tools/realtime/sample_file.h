// WAV files as the real-time host tests exchange them: read from integer
// PCM (16, 24 or 32 bits) or 32-bit float, written as 32-bit float.
#ifndef QORTA_TOOLS_REALTIME_SAMPLE_FILE_H
#define QORTA_TOOLS_REALTIME_SAMPLE_FILE_H

#include <cstdint>
#include <string>
#include <vector>

namespace rtref {

struct SampleFile {
    std::uint32_t sampleRate = 0;
    int channels = 0;
    bool isFloat = false;    // 32-bit float samples; otherwise integer PCM
    int bitsPerSample = 0;
    std::vector<std::vector<double>> samples;  // [channel][frame], 1.0 = full scale
};

// Reads `path`. Integer samples are scaled by 2^-(bits - 1); float samples
// are taken exactly. Returns false with `error` set for a file that cannot be
// read or is not such a WAV file (format tags 1, 3 and extensible of either).
bool readSampleFile(const std::string& path, SampleFile* file, std::string* error);

// Writes `file` as 32-bit float WAV (each sample rounded to float).
// Returns false with `error` set when the file cannot be written.
bool writeFloatFile(const std::string& path, const SampleFile& file, std::string* error);

}  // namespace rtref

#endif
