#include "console/pcm_mapping.h"

#include <cmath>
#include <cstring>

#include "dsp/channels.h"
#include "dsp/pcm_scale.h"

namespace console {

namespace {

constexpr double PCM8_IN = 0.0078125;           // 2^-7
constexpr double RECIPROCAL_32767 = 3.051850947599719e-05;
constexpr double RECIPROCAL_127 = 0.007874015748031496;

// Frames converted per run of the bulk encoder: the saturated values of a
// run wait in a small array before they are interleaved.
constexpr std::int64_t RUN_FRAMES = 64;

// Reads the little-endian signed 16-bit sample at `p`.
inline std::int16_t loadPcm16(const unsigned char* p) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::int16_t value;
    std::memcpy(&value, p, 2);
    return value;
#else
    return static_cast<std::int16_t>(p[0] | (p[1] << 8));
#endif
}

inline void storePcm16(unsigned char* p, std::int16_t sample) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    std::memcpy(p, &sample, 2);
#else
    auto bits = static_cast<std::uint16_t>(sample);
    p[0] = static_cast<unsigned char>(bits);
    p[1] = static_cast<unsigned char>(bits >> 8);
#endif
}

template <int CHANNELS>
void decode16(const unsigned char* pcm, std::int64_t frames, const double* dcOffset, double* const* planes) {
    for (std::int64_t j = 0; j < frames; ++j)
        for (int c = 0; c < CHANNELS; ++c)
            planes[c][j] = (loadPcm16(pcm + 2 * (j * CHANNELS + c)) - dcOffset[c]) * dsp::PCM16_IN;
}

template <int CHANNELS>
void decode8(const unsigned char* pcm, std::int64_t frames, const double* dcOffset, double* const* planes) {
    for (std::int64_t j = 0; j < frames; ++j)
        for (int c = 0; c < CHANNELS; ++c) planes[c][j] = (pcm[j * CHANNELS + c] - dcOffset[c]) * PCM8_IN;
}

// Adds the samples of `frames` whole frames to their channels' sums. The
// frames are summed in runs whose 32-bit partial sums cannot overflow
// (2^15 frames of 16-bit samples), so that many are added at once.
template <int CHANNELS, typename Sample>
void sumFrames(const unsigned char* pcm, std::int64_t frames, Sample sample, std::int64_t* sums) {
    constexpr std::int64_t RUN = 1 << 15;
    for (std::int64_t first = 0; first < frames; first += RUN) {
        const std::int64_t end = frames - first < RUN ? frames : first + RUN;
        std::int32_t partial[CHANNELS] = {};
        for (std::int64_t j = first; j < end; ++j)
            for (int c = 0; c < CHANNELS; ++c) partial[c] += sample(pcm, j * CHANNELS + c);
        for (int c = 0; c < CHANNELS; ++c) sums[c] += partial[c];
    }
}

inline std::int32_t sample16(const unsigned char* pcm, std::int64_t i) { return loadPcm16(pcm + 2 * i); }
inline std::int32_t sample8(const unsigned char* pcm, std::int64_t i) { return pcm[i]; }

// How a bulk encoder scales and saturates: a value is scaled by `scale`;
// at or beyond `clipLow` or `clipHigh` its truncated value would leave the
// PCM range, and it is saturated to `low` or `high` instead.
struct Saturation {
    double scale, low, high, clipLow, clipHigh;
};

constexpr Saturation SATURATION_16 = {dsp::PCM16_OUT, -32768.0, 32767.0, -32769.0, 32768.0};
constexpr Saturation SATURATION_8 = {-128.0, -127.0, 128.0, -128.0, 129.0};

// The largest and the smallest scaled value that clipped. The peak ratio
// grows with the distance beyond full scale, so the largest ratio belongs to
// one of these two values. A NaN counts as an infinite `highest`.
struct Extremes {
    double highest = -HUGE_VAL;
    double lowest = HUGE_VAL;
};

// Scales, saturates and truncates plane[0 .. count - 1] into `values`. The
// first loop converts the values inside the PCM range and has no
// data-dependent branch, so that it runs in vector lanes; only a run with a
// value outside (or NaN, which stays 0) is looked at again to saturate it
// and to note the extremes.
inline void saturateRun(const double* plane, std::int64_t count, const Saturation& s, std::int32_t* values,
                        Extremes& extremes) {
    const double scale = s.scale, clipLow = s.clipLow, clipHigh = s.clipHigh;
    int outside = 0;
    for (std::int64_t j = 0; j < count; ++j) {
        const double y = plane[j] * scale;
        const bool inside = y > clipLow && y < clipHigh;
        outside |= !inside;
        values[j] = static_cast<std::int32_t>(inside ? y : 0.0);
    }
    if (outside == 0) return;
    for (std::int64_t j = 0; j < count; ++j) {
        const double y = plane[j] * scale;
        if (y >= clipHigh) {
            values[j] = static_cast<std::int32_t>(s.high);
            if (y > extremes.highest) extremes.highest = y;
        } else if (y <= clipLow) {
            values[j] = static_cast<std::int32_t>(s.low);
            if (y < extremes.lowest) extremes.lowest = y;
        } else if (y != y) {
            extremes.highest = HUGE_VAL;  // NaN: silence, counted as clipped without limit
        }
    }
}

void raise(double* clipPeak, double ratio) {
    if (ratio > *clipPeak) *clipPeak = ratio;
}

template <int CHANNELS>
void encode16(const double* const* planes, std::int64_t frames, unsigned char* pcm, double* clipPeak) {
    std::int32_t values[CHANNELS][RUN_FRAMES];
    Extremes extremes;
    for (std::int64_t first = 0; first < frames; first += RUN_FRAMES) {
        const std::int64_t count = frames - first < RUN_FRAMES ? frames - first : RUN_FRAMES;
        for (int c = 0; c < CHANNELS; ++c) saturateRun(planes[c] + first, count, SATURATION_16, values[c], extremes);
        unsigned char* out = pcm + 2 * first * CHANNELS;
        for (std::int64_t j = 0; j < count; ++j)
            for (int c = 0; c < CHANNELS; ++c)
                storePcm16(out + 2 * (j * CHANNELS + c), static_cast<std::int16_t>(values[c][j]));
    }
    if (extremes.highest >= SATURATION_16.clipHigh) raise(clipPeak, std::trunc(extremes.highest) * RECIPROCAL_32767);
    if (extremes.lowest <= SATURATION_16.clipLow) raise(clipPeak, std::trunc(extremes.lowest) * -dsp::PCM16_IN);
}

template <int CHANNELS>
void encode8(const double* const* planes, std::int64_t frames, unsigned char* pcm, double* clipPeak) {
    std::int32_t values[CHANNELS][RUN_FRAMES];
    Extremes extremes;
    for (std::int64_t first = 0; first < frames; first += RUN_FRAMES) {
        const std::int64_t count = frames - first < RUN_FRAMES ? frames - first : RUN_FRAMES;
        for (int c = 0; c < CHANNELS; ++c) saturateRun(planes[c] + first, count, SATURATION_8, values[c], extremes);
        unsigned char* out = pcm + first * CHANNELS;
        for (std::int64_t j = 0; j < count; ++j)
            for (int c = 0; c < CHANNELS; ++c) out[j * CHANNELS + c] = static_cast<unsigned char>(128 - values[c][j]);
    }
    if (extremes.highest >= SATURATION_8.clipHigh) raise(clipPeak, std::trunc(extremes.highest) * PCM8_IN);
    if (extremes.lowest <= SATURATION_8.clipLow) raise(clipPeak, -std::trunc(extremes.lowest) * RECIPROCAL_127);
}

}  // namespace

double encodeScale(const WavFormat& format) {
    return format.bitsPerSample == 16 ? SATURATION_16.scale : SATURATION_8.scale;
}

std::int16_t encodeSample16(double x, double* clipPeak) {
    const double v = std::trunc(x * dsp::PCM16_OUT);
    if (v < -32768.0) raise(clipPeak, v * -dsp::PCM16_IN);
    if (v > 32767.0) raise(clipPeak, v * RECIPROCAL_32767);
    if (v != v) raise(clipPeak, HUGE_VAL);
    return dsp::saturatePcm16(v);
}

unsigned char encodeSample8(double x, double* clipPeak) {
    const double v = std::trunc(x * -128.0);
    const double u = 128.0 - v;
    if (u < 0.0) {
        raise(clipPeak, v * PCM8_IN);
        return 0;
    }
    if (u > 255.0) {
        raise(clipPeak, -v * RECIPROCAL_127);
        return 255;
    }
    if (u != u) {
        raise(clipPeak, HUGE_VAL);
        return 128;
    }
    return static_cast<unsigned char>(u);
}

void decodePcm(const unsigned char* pcm, std::int64_t frames, const WavFormat& format,
               const double* dcOffset, double* const* planes, std::int64_t offset) {
    double* const shifted[dsp::MAX_CHANNELS] = {planes[0] + offset, format.channels == 2 ? planes[1] + offset : nullptr};
    if (format.bitsPerSample == 16) {
        if (format.channels == 2) decode16<2>(pcm, frames, dcOffset, shifted);
        else decode16<1>(pcm, frames, dcOffset, shifted);
    } else {
        if (format.channels == 2) decode8<2>(pcm, frames, dcOffset, shifted);
        else decode8<1>(pcm, frames, dcOffset, shifted);
    }
}

void encodePcm(const double* const* planes, std::int64_t frames, const WavFormat& format,
               unsigned char* pcm, double* clipPeak) {
    if (format.bitsPerSample == 16) {
        if (format.channels == 2) encode16<2>(planes, frames, pcm, clipPeak);
        else encode16<1>(planes, frames, pcm, clipPeak);
    } else {
        if (format.channels == 2) encode8<2>(planes, frames, pcm, clipPeak);
        else encode8<1>(planes, frames, pcm, clipPeak);
    }
}

void sumPcm(const unsigned char* pcm, std::uint32_t bytes, const WavFormat& format, std::int64_t* sums) {
    const int channels = format.channels;
    const std::int64_t samples = format.bitsPerSample == 16 ? bytes / 2 : bytes;
    const std::int64_t frames = samples / channels;
    if (format.bitsPerSample == 16) {
        if (channels == 2) sumFrames<2>(pcm, frames, sample16, sums);
        else sumFrames<1>(pcm, frames, sample16, sums);
    } else {
        if (channels == 2) sumFrames<2>(pcm, frames, sample8, sums);
        else sumFrames<1>(pcm, frames, sample8, sums);
    }
    // The samples of a partial frame at the end belong to the first channels.
    for (std::int64_t i = frames * channels; i < samples; ++i)
        sums[i - frames * channels] += format.bitsPerSample == 16 ? sample16(pcm, i) : sample8(pcm, i);
}

}  // namespace console
