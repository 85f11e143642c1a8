#include "tests/support/reference_input.h"

#include <cmath>
#include <cstring>

namespace testsupport {
namespace {

// A cursor over the file's bytes that behaves like reads from a file: a
// read past the end fails, a seek past the end is allowed.
struct Cursor {
    const Bytes& bytes;
    std::uint64_t pos = 0;

    bool has(std::uint64_t count) const { return pos <= bytes.size() && bytes.size() - pos >= count; }
    bool id(const char* expected) {
        if (!has(4) || std::memcmp(&bytes[pos], expected, 4) != 0) return false;
        pos += 4;
        return true;
    }
    std::uint32_t u16() {
        std::uint32_t value = bytes[pos] | (bytes[pos + 1] << 8);
        pos += 2;
        return value;
    }
    std::uint32_t u32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(bytes[pos + i]) << (8 * i);
        pos += 4;
        return value;
    }
};

struct Header {
    std::uint32_t formatTag = 0, channels = 0, sampleRate = 0, bitsPerSample = 0;
    std::uint32_t dataSize = 0;
    std::uint64_t dataStart = 0;
};

// Four printable ASCII characters at `pos`.
bool plausibleIdAt(const Cursor& in, std::uint64_t pos) {
    if (pos > in.bytes.size() || in.bytes.size() - pos < 4) return false;
    for (std::uint64_t i = pos; i < pos + 4; ++i)
        if (in.bytes[i] < 0x20 || in.bytes[i] > 0x7E) return false;
    return true;
}

// The chunks from `in` (a copy) up to "data". Behind an odd-sized body the
// next chunk starts behind the pad byte or right at the body's end, by which
// of the two places holds a plausible identifier; where both do, the pad
// byte is taken when `padded`, and `*bothPlausible` is set.
bool scanChunks(Cursor in, bool padded, Header* h, bool* bothPlausible) {
    for (;;) {
        if (!in.has(8)) return false;
        bool isData = in.id("data");
        if (!isData) in.pos += 4;
        std::uint32_t size = in.u32();
        if (isData) {
            h->dataSize = size;
            h->dataStart = in.pos;
            return true;
        }
        in.pos += size;
        if (size % 2 == 1) {
            const bool behindPad = plausibleIdAt(in, in.pos + 1);
            const bool atEnd = plausibleIdAt(in, in.pos);
            if (behindPad && atEnd) *bothPlausible = true;
            if (behindPad && (padded || !atEnd)) in.pos += 1;
        }
    }
}

bool parseHeader(const Bytes& file, Header* h) {
    Cursor in{file};
    if (!in.id("RIFF") || !in.has(4)) return false;
    in.pos += 4;  // the RIFF size says nothing that is used
    if (!in.id("WAVE") || !in.id("fmt ") || !in.has(4)) return false;
    std::uint32_t fmtSize = in.u32();
    std::uint32_t extra = 0;
    if (fmtSize == 18) {
        if (!in.has(18)) return false;
        h->formatTag = in.u16();
        h->channels = in.u16();
        h->sampleRate = in.u32();
        in.u32();  // byte rate
        in.u16();  // block align
        h->bitsPerSample = in.u16();
        extra = in.u16();
    } else {
        if (fmtSize < 14 || fmtSize > 14 + 65535) return false;
        if (!in.has(14)) return false;
        h->formatTag = in.u16();
        h->channels = in.u16();
        h->sampleRate = in.u32();
        in.u32();  // byte rate
        std::uint32_t blockAlign = in.u16();
        extra = fmtSize - 14;
        h->bitsPerSample = h->channels == 0 ? 0 : (blockAlign * 8 / h->channels) & 0xFFFF;
    }
    if (!in.has(extra)) return false;
    in.pos += extra;
    if (h->formatTag != 1) return false;
    bool bothPlausible = false;
    if (scanChunks(in, true, h, &bothPlausible)) return true;
    return bothPlausible && scanChunks(in, false, h, &bothPlausible);
}

void putU16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putU32(Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void putText(Bytes& b, const char* text) { b.insert(b.end(), text, text + std::strlen(text)); }

int sampleAt(const Bytes& file, std::uint64_t offset, int bits) {
    if (bits == 8) return file[offset];
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(file[offset] | (file[offset + 1] << 8)));
}

void raise(double* peak, double ratio) {
    if (ratio > *peak) *peak = ratio;
}

std::uint16_t to16(double value, double* peak) {
    double v = std::trunc(value * 32768.0);
    if (std::isnan(v)) {
        raise(peak, HUGE_VAL);
        return 0;
    }
    if (v < -32768.0) {
        raise(peak, v * -0.000030517578125);
        return 0x8000;
    }
    if (v > 32767.0) {
        raise(peak, v * 3.051850947599719e-05);
        return 0x7FFF;
    }
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
}

std::uint8_t to8(double value, double* peak) {
    double v = std::trunc(value * -128.0);
    if (std::isnan(v)) {
        raise(peak, HUGE_VAL);
        return 128;
    }
    double u = 128.0 - v;
    if (u < 0.0) {
        raise(peak, v * 0.0078125);
        return 0;
    }
    if (u > 255.0) {
        raise(peak, -v * 0.007874015748031496);
        return 255;
    }
    return static_cast<std::uint8_t>(u);
}

}  // namespace

bool readModelHeader(ModelInput* in, ReferenceResult* r) {
    Header h;
    if (!parseHeader(in->file, &h)) return false;
    if ((h.bitsPerSample != 8 && h.bitsPerSample != 16) || h.channels < 1 || h.channels > 2 || h.sampleRate < 10)
        return false;
    r->bitsPerSample = static_cast<std::uint16_t>(h.bitsPerSample);
    r->channels = static_cast<std::uint16_t>(h.channels);
    r->sampleRate = h.sampleRate;
    r->dataSize = h.dataSize;
    r->totalFrames = static_cast<std::uint64_t>(h.dataSize / h.channels) * 8 / h.bitsPerSample;
    in->dataStart = h.dataStart;
    return true;
}

bool modelDataPresent(const ModelInput& in, const ReferenceResult& r) {
    return in.dataStart + r.dataSize <= in.file.size();
}

void measureModelDcOffsets(const ModelInput& in, ReferenceResult* r) {
    const int bits = r->bitsPerSample;
    const std::uint64_t channels = r->channels;
    double sum[2] = {0.0, 0.0};
    const std::uint64_t samples = r->dataSize / static_cast<std::uint32_t>(bits / 8);
    for (std::uint64_t i = 0; i < samples; ++i)
        sum[i % channels] += sampleAt(in.file, in.dataStart + i * (bits / 8), bits);
    if (r->totalFrames > 0) {
        double reciprocal = 1.0 / static_cast<double>(r->totalFrames);
        for (std::uint64_t c = 0; c < channels; ++c) r->dcOffset[c] = sum[c] * reciprocal;
    }
}

double modelPlaneValue(const ModelInput& in, const ReferenceResult& r, std::uint64_t frame, int channel) {
    const int bits = r.bitsPerSample;
    const std::uint64_t offset = in.dataStart + (frame * r.channels + static_cast<std::uint64_t>(channel)) * (bits / 8);
    const double scale = bits == 16 ? 0.000030517578125 : 0.0078125;
    return (sampleAt(in.file, offset, bits) - r.dcOffset[channel]) * scale;
}

void appendModelHeader(ReferenceResult* r) {
    const std::uint32_t bytesPerSample = r->bitsPerSample / 8u;
    const std::uint32_t dataLength = static_cast<std::uint32_t>(r->totalFrames * r->channels * bytesPerSample);
    const std::uint32_t blockAlign = (bytesPerSample * r->channels) & 0xFFFF;
    Bytes& out = r->output;
    putText(out, "RIFF");
    putU32(out, dataLength + 38);
    putText(out, "WAVE");
    putText(out, "fmt ");
    putU32(out, 18);
    putU16(out, 1);
    putU16(out, r->channels);
    putU32(out, r->sampleRate);
    putU32(out, blockAlign * r->sampleRate);
    putU16(out, blockAlign);
    putU16(out, r->bitsPerSample);
    putU16(out, 0);
    putText(out, "data");
    putU32(out, dataLength);
}

void appendModelSample(ReferenceResult* r, double value) {
    if (r->bitsPerSample == 16) putU16(r->output, to16(value, &r->clipPeak));
    else r->output.push_back(to8(value, &r->clipPeak));
}

double modelFadeIn(const ReferenceSettings& s, std::uint64_t n, std::uint32_t sampleRate) {
    if (s.fadeIn <= 0) return 1.0;
    double factor = ((static_cast<double>(n) / s.fadeIn) * 1000.0) / sampleRate;
    return factor > 1.0 ? 1.0 : factor;
}

double modelFadeOut(const ReferenceSettings& s, std::uint64_t n, std::uint64_t total, std::uint32_t sampleRate) {
    if (s.fadeOut <= 0) return 1.0;
    double factor = ((static_cast<double>(total - n) / s.fadeOut) * 1000.0) / sampleRate;
    return factor > 1.0 ? 1.0 : factor;
}

}  // namespace testsupport
