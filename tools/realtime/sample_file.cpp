#include "tools/realtime/sample_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace rtref {
namespace {

std::uint32_t le(const unsigned char* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

void putLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

// The sample at `p` in the file's format, 1.0 = full scale.
double decode(const unsigned char* p, bool isFloat, int bits) {
    if (isFloat) {
        float f;
        std::uint32_t u = le(p, 4);
        std::memcpy(&f, &u, 4);
        return f;
    }
    const int bytes = bits / 8;
    std::uint32_t u = le(p, bytes) << (32 - bits);  // sign bit to bit 31
    return static_cast<double>(static_cast<std::int32_t>(u)) / 2147483648.0;
}

}  // namespace

bool readSampleFile(const std::string& path, SampleFile* file, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return *error = "cannot open " + path, false;
    const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return *error = path + ": not a WAV file", false;
    bool haveFormat = false;
    int blockAlign = 0;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::uint32_t size = le(&b[at + 4], 4);
        const unsigned char* body = &b[at + 8];
        if (std::memcmp(&b[at], "fmt ", 4) == 0 && size >= 16 && at + 8 + size <= b.size()) {
            std::uint32_t tag = le(body, 2);
            if (tag == 0xFFFE && size >= 26) tag = le(body + 24, 2);  // the sub-format's first two bytes
            file->channels = static_cast<int>(le(body + 2, 2));
            file->sampleRate = le(body + 4, 4);
            blockAlign = static_cast<int>(le(body + 12, 2));
            file->bitsPerSample = static_cast<int>(le(body + 14, 2));
            file->isFloat = tag == 3;
            const bool pcm = tag == 1 && (file->bitsPerSample == 16 || file->bitsPerSample == 24 ||
                                          file->bitsPerSample == 32);
            if (!(pcm || (file->isFloat && file->bitsPerSample == 32)) || file->channels < 1 ||
                blockAlign != file->channels * file->bitsPerSample / 8)
                return *error = path + ": not 16/24/32-bit PCM or 32-bit float", false;
            haveFormat = true;
        } else if (std::memcmp(&b[at], "data", 4) == 0 && haveFormat) {
            const std::size_t bytes = std::min<std::size_t>(size, b.size() - at - 8);
            const std::size_t frames = bytes / static_cast<std::size_t>(blockAlign);
            const int width = file->bitsPerSample / 8;
            file->samples.assign(static_cast<std::size_t>(file->channels), std::vector<double>(frames));
            for (std::size_t f = 0; f < frames; ++f)
                for (int ch = 0; ch < file->channels; ++ch) {
                    const unsigned char* sample = body + f * blockAlign + ch * width;
                    file->samples[ch][f] = decode(sample, file->isFloat, file->bitsPerSample);
                }
            return true;
        }
        at += 8 + static_cast<std::size_t>(size) + (size & 1);
    }
    return *error = path + ": no fmt or data chunk", false;
}

bool writeFloatFile(const std::string& path, const SampleFile& file, std::string* error) {
    const std::size_t frames = file.samples.empty() ? 0 : file.samples[0].size();
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(frames * file.channels * 4);
    // A float file carries the fmt extension size and a fact chunk.
    std::string out = "RIFF";
    putLe(out, 50 + dataBytes, 4);
    out += "WAVEfmt ";
    putLe(out, 18, 4);
    putLe(out, 3, 2);
    putLe(out, static_cast<std::uint32_t>(file.channels), 2);
    putLe(out, file.sampleRate, 4);
    putLe(out, file.sampleRate * 4 * static_cast<std::uint32_t>(file.channels), 4);
    putLe(out, static_cast<std::uint32_t>(4 * file.channels), 2);
    putLe(out, 32, 2);
    putLe(out, 0, 2);
    out += "fact";
    putLe(out, 4, 4);
    putLe(out, static_cast<std::uint32_t>(frames), 4);
    out += "data";
    putLe(out, dataBytes, 4);
    for (std::size_t f = 0; f < frames; ++f)
        for (int ch = 0; ch < file.channels; ++ch) {
            const float value = static_cast<float>(file.samples[ch][f]);
            std::uint32_t bits;
            std::memcpy(&bits, &value, 4);
            putLe(out, bits, 4);
        }
    std::ofstream stream(path, std::ios::binary);
    if (!stream.write(out.data(), static_cast<std::streamsize>(out.size())))
        return *error = "cannot write " + path, false;
    return true;
}

}  // namespace rtref
