// How the samples of a libsndfile format are read and written: integer PCM
// of a given width, 32- or 64-bit float, or a coding that libsndfile
// converts (lossy or companded), and the short names that --format and the
// report use for containers and sample formats.
#ifndef QORTA_QORTA_SAMPLE_FORMAT_H
#define QORTA_QORTA_SAMPLE_FORMAT_H

#include <string>

namespace qorta {

enum class SampleKind {
    Integer,  // PCM of `bits` bits: scaled by 2^-(bits-1) in and 2^(bits-1) out, truncated, saturated
    Float32,  // 32-bit float: values kept as they are, beyond full scale too
    Float64,  // 64-bit float
    Coded,    // converted by libsndfile (Vorbis, Opus, companded, ADPCM): read and written as doubles
};

struct SampleCoding {
    SampleKind kind = SampleKind::Coded;
    int bits = 0;          // Integer: 8, 16, 24 or 32
    bool unsignedBias = false;  // Integer 8-bit stored as unsigned bytes around 128 (WAV)
};

// The coding of libsndfile format `format` (major | subtype | endian).
SampleCoding codingOf(int format);

// A short name of `format`: "wav:16", "flac:24", "aiff:float", "ogg:vorbis".
std::string formatName(int format);

// The output format for --format `name` given the input's `inputFormat`:
// "CONTAINER" keeps the input's sample format where the container holds it
// (a close one otherwise), "CONTAINER:SAMPLE" names both. Containers: wav,
// wavex, rf64, w64, aiff, aifc, caf, au, flac, ogg (Vorbis), opus; samples:
// 8, 16, 24, 32, float, double, vorbis, opus. Returns 0 for a name it does
// not know or a combination libsndfile cannot write.
int parseFormat(const std::string& name, int inputFormat);

// The usual file name extension of `format`'s container, without the dot.
std::string extensionOf(int format);

}  // namespace qorta

#endif
