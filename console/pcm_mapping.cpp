#include "console/pcm_mapping.h"

#include <cmath>

namespace {

constexpr double PCM16_IN = 0.000030517578125;          // 2^-15
constexpr double PCM8_IN = 0.0078125;                   // 2^-7
constexpr double RECIPROCAL_32767 = 3.051850947599719e-05;
constexpr double RECIPROCAL_127 = 0.007874015748031496;

// The conversions work on the truncated value as a double, so that values
// far beyond the integer range saturate on their own side.
std::int16_t toPcm16(double x, double* clipPeak) {
    double v = std::trunc(x * 32768.0);
    double ratio;
    std::int16_t sample;
    if (v < -32768.0) {
        ratio = v * -PCM16_IN;
        sample = -32768;
    } else if (v > 32767.0) {
        ratio = v * RECIPROCAL_32767;
        sample = 32767;
    } else {
        return v == v ? static_cast<std::int16_t>(v) : 0;
    }
    if (ratio > *clipPeak) *clipPeak = ratio;
    return sample;
}

unsigned char toPcm8(double x, double* clipPeak) {
    double v = std::trunc(x * -128.0);
    double u = 128.0 - v;
    double ratio;
    unsigned char sample;
    if (u < 0.0) {
        ratio = v * PCM8_IN;
        sample = 0;
    } else if (u > 255.0) {
        ratio = -v * RECIPROCAL_127;
        sample = 255;
    } else {
        return u == u ? static_cast<unsigned char>(u) : 128;
    }
    if (ratio > *clipPeak) *clipPeak = ratio;
    return sample;
}

}  // namespace

void decodePcm(const unsigned char* pcm, std::int64_t frames, const WavFormat& format,
               const double* dcOffset, double* const* planes, std::int64_t offset) {
    const int channels = format.channels;
    for (int c = 0; c < channels; ++c) {
        double* plane = planes[c] + offset;
        const double dc = dcOffset[c];
        if (format.bitsPerSample == 16) {
            const unsigned char* p = pcm + 2 * c;
            for (std::int64_t j = 0; j < frames; ++j, p += 2 * channels) {
                auto s = static_cast<std::int16_t>(p[0] | (p[1] << 8));
                plane[j] = (s - dc) * PCM16_IN;
            }
        } else {
            const unsigned char* p = pcm + c;
            for (std::int64_t j = 0; j < frames; ++j, p += channels) plane[j] = (*p - dc) * PCM8_IN;
        }
    }
}

void encodePcm(const double* const* planes, std::int64_t frames, const WavFormat& format,
               unsigned char* pcm, double* clipPeak) {
    const int channels = format.channels;
    for (int c = 0; c < channels; ++c) {
        const double* plane = planes[c];
        if (format.bitsPerSample == 16) {
            unsigned char* p = pcm + 2 * c;
            for (std::int64_t j = 0; j < frames; ++j, p += 2 * channels) {
                auto sample = static_cast<std::uint16_t>(toPcm16(plane[j], clipPeak));
                p[0] = static_cast<unsigned char>(sample);
                p[1] = static_cast<unsigned char>(sample >> 8);
            }
        } else {
            unsigned char* p = pcm + c;
            for (std::int64_t j = 0; j < frames; ++j, p += channels) *p = toPcm8(plane[j], clipPeak);
        }
    }
}
