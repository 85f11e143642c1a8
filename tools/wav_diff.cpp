// Compares two PCM WAV files sample by sample and tells how far they differ:
// whether everything ahead of the samples is the same, how many samples
// differ and by how much (in steps of the sample format).
//
// Usage: qortawavdiff A.wav B.wav
// Prints one line:
//   identical SAMPLES
//   differ SAMPLES DIFFERING MAX-STEPS [steps=COUNT ...]
//   header-differs            (bytes ahead of the samples or lengths differ)
// Exit status: 0 identical, 1 different, 2 a file could not be read as WAV.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t u32At(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// Where the samples of a WAV file begin and how they are stored.
struct Samples {
    std::size_t start = 0;
    std::size_t bytes = 0;
    int bitsPerSample = 0;
};

// Walks the chunks behind "WAVE" up to "data". Returns false for anything
// that is not a PCM WAV file of 8 or 16 bits.
bool locateSamples(const Bytes& file, Samples* samples) {
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return false;
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::uint32_t size = u32At(file, at + 4);
        if (std::memcmp(file.data() + at, "fmt ", 4) == 0 && size >= 16 && at + 24 <= file.size()) {
            samples->bitsPerSample = file[at + 22] | (file[at + 23] << 8);
        } else if (std::memcmp(file.data() + at, "data", 4) == 0) {
            samples->start = at + 8;
            samples->bytes = std::min<std::size_t>(size, file.size() - samples->start);
            return samples->bitsPerSample == 8 || samples->bitsPerSample == 16;
        }
        at += 8 + static_cast<std::size_t>(size);
    }
    return false;
}

bool readFile(const char* path, Bytes* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

long sampleAt(const Bytes& file, const Samples& s, std::size_t index) {
    if (s.bitsPerSample == 8) return file[s.start + index];
    const std::size_t at = s.start + 2 * index;
    return static_cast<std::int16_t>(file[at] | (file[at + 1] << 8));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qortawavdiff A.wav B.wav\n");
        return 2;
    }
    Bytes a, b;
    Samples sa, sb;
    for (int i = 1; i <= 2; ++i) {
        Bytes& file = i == 1 ? a : b;
        Samples& s = i == 1 ? sa : sb;
        if (!readFile(argv[i], &file) || !locateSamples(file, &s)) {
            std::fprintf(stderr, "qortawavdiff: %s is no 8-bit or 16-bit PCM WAV file\n", argv[i]);
            return 2;
        }
    }
    if (a.size() != b.size() || sa.start != sb.start || sa.bytes != sb.bytes ||
        std::memcmp(a.data(), b.data(), sa.start) != 0) {
        std::printf("header-differs\n");
        return 1;
    }
    const std::size_t count = sa.bytes / (sa.bitsPerSample / 8);
    std::size_t differing = 0;
    long largest = 0;
    std::map<long, std::size_t> bySteps;
    for (std::size_t i = 0; i < count; ++i) {
        const long d = std::labs(sampleAt(a, sa, i) - sampleAt(b, sb, i));
        if (d == 0) continue;
        ++differing;
        ++bySteps[d];
        if (d > largest) largest = d;
    }
    if (differing == 0 && std::memcmp(a.data(), b.data(), a.size()) == 0) {
        std::printf("identical %zu\n", count);
        return 0;
    }
    std::printf("differ %zu %zu %ld", count, differing, largest);
    for (const auto& entry : bySteps) std::printf(" %ld=%zu", entry.first, entry.second);
    std::printf("\n");
    return 1;
}
