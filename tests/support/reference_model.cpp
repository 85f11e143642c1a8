#include "tests/support/reference_model.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "dsp/iir_corrector.h"

namespace testsupport {
namespace {

constexpr std::uint64_t FRAMES_PER_BLOCK = 0x100000;

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
    }
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
    if (std::isnan(v)) return 0;
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
    if (std::isnan(v)) return 128;
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

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return buffer;
}

}  // namespace

ReferenceResult referenceRun(const Bytes& file, const ReferenceSettings& settings) {
    ReferenceResult r;
    Header h;
    if (!parseHeader(file, &h)) return r;
    if ((h.bitsPerSample != 8 && h.bitsPerSample != 16) || h.channels < 1 || h.channels > 2 || h.sampleRate < 10)
        return r;
    const int bits = static_cast<int>(h.bitsPerSample);
    const int channels = static_cast<int>(h.channels);
    const int bytesPerSample = bits / 8;
    r.bitsPerSample = static_cast<std::uint16_t>(bits);
    r.channels = static_cast<std::uint16_t>(channels);
    r.sampleRate = h.sampleRate;
    r.dataSize = h.dataSize;
    r.totalFrames = static_cast<std::uint64_t>(h.dataSize / h.channels) * 8 / h.bitsPerSample;
    if (h.dataStart + h.dataSize > file.size()) {
        r.outcome = ReferenceOutcome::ReadFailure;
        return r;
    }
    r.outcome = ReferenceOutcome::Processed;

    // The DC offset: every whole sample of the data chunk, a partial last
    // frame included, summed per channel in file order, divided by the
    // number of whole frames.
    double sum[2] = {0.0, 0.0};
    const std::uint64_t samples = h.dataSize / static_cast<std::uint32_t>(bytesPerSample);
    for (std::uint64_t i = 0; i < samples; ++i)
        sum[i % static_cast<std::uint64_t>(channels)] += sampleAt(file, h.dataStart + i * bytesPerSample, bits);
    if (r.totalFrames > 0) {
        double reciprocal = 1.0 / static_cast<double>(r.totalFrames);
        for (int c = 0; c < channels; ++c) r.dcOffset[c] = sum[c] * reciprocal;
    }

    const std::uint32_t dataLength = static_cast<std::uint32_t>(r.totalFrames * channels * bytesPerSample);
    const std::uint32_t blockAlign = static_cast<std::uint32_t>(bytesPerSample * channels) & 0xFFFF;
    Bytes& out = r.output;
    putText(out, "RIFF");
    putU32(out, dataLength + 38);
    putText(out, "WAVE");
    putText(out, "fmt ");
    putU32(out, 18);
    putU16(out, 1);
    putU16(out, h.channels);
    putU32(out, h.sampleRate);
    putU32(out, blockAlign * h.sampleRate);
    putU16(out, blockAlign);
    putU16(out, h.bitsPerSample);
    putU16(out, 0);
    putText(out, "data");
    putU32(out, dataLength);

    dsp::IirCorrector corrector;
    dsp::reset(corrector);
    dsp::configure(corrector, h.sampleRate, settings.effect * 0.25);
    const double inputScale = bits == 16 ? 0.000030517578125 : 0.0078125;
    const double rate = h.sampleRate;
    const std::uint64_t total = r.totalFrames;
    for (std::uint64_t n = 0; n < total; ++n) {
        double fadeIn = 1.0;
        if (settings.fadeIn > 0) {
            fadeIn = ((static_cast<double>(n) / settings.fadeIn) * 1000.0) / rate;
            if (fadeIn > 1.0) fadeIn = 1.0;
        }
        double fadeOut = 1.0;
        if (settings.fadeOut > 0) {
            fadeOut = ((static_cast<double>(total - n) / settings.fadeOut) * 1000.0) / rate;
            if (fadeOut > 1.0) fadeOut = 1.0;
        }
        const double scale = ((fadeOut * fadeIn) * settings.gain) * 0.01;
        for (int c = 0; c < channels; ++c) {
            int s = sampleAt(file, h.dataStart + (n * channels + c) * bytesPerSample, bits);
            double x = (s - r.dcOffset[c]) * inputScale;
            double value = dsp::process(corrector, c, x) * scale;
            if (bits == 16) putU16(out, to16(value, &r.clipPeak));
            else out.push_back(to8(value, &r.clipPeak));
        }
    }
    return r;
}

std::string processingLine(const std::string& inputPath) {
    return "\nprocessing file \"" + inputPath + "\"\n";
}

std::string wavInfoLine(const ReferenceResult& r) {
    std::uint64_t l = r.totalFrames * 10 / (r.sampleRate / 10);
    return format("wav info: %dbit %dHz %dch %dmin %d.%02dsec\n", r.bitsPerSample, static_cast<int>(r.sampleRate),
                  r.channels, static_cast<int>(l / 100 / 60), static_cast<int>(l % 6000 / 100),
                  static_cast<int>(l % 100));
}

std::string streamingText(const ReferenceResult& r, bool showProgress) {
    std::string text;
    if (showProgress) {
        const std::uint64_t total = r.totalFrames;
        const std::uint64_t blocks = total == 0 ? 1 : (total - 1) / FRAMES_PER_BLOCK + 1;
        for (std::uint64_t b = 0; b < blocks; ++b) {
            double done = total == 0 ? 0.0 : static_cast<double>(b * FRAMES_PER_BLOCK) * 100.0 / total;
            std::string shown = format("%1.01f%%", done);
            text += shown + std::string(shown.size(), '\r');
        }
    }
    text += "\n";
    if (r.clipPeak > 1.0) text += format("WARN! Cliped (%2.02f%%)\n", r.clipPeak * 100.0);
    text += "elapse M:SS\n";
    return text;
}

std::string overwriteQuestion(const std::string& outputPath) {
    return "file \"" + outputPath + "\"already exist. overwrite?(y/n)\n";
}

std::string expectedFileText(const std::string& inputPath, const ReferenceResult& r, bool showProgress) {
    std::string text = processingLine(inputPath);
    switch (r.outcome) {
        case ReferenceOutcome::IllegalFormat:
            return text + "ERROR! illegal wav format\n";
        case ReferenceOutcome::ReadFailure:
            return text + wavInfoLine(r) + "ERROR! cannot read file\n";
        case ReferenceOutcome::Processed:
            break;
    }
    return text + wavInfoLine(r) + streamingText(r, showProgress);
}

}  // namespace testsupport
