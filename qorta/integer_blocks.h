// The per-block loops over interleaved integer samples: DC sums and peak,
// decoding into planes, and encoding back with saturation. Samples of up to
// 16 bits travel as shorts, wider ones as ints, both left-justified as
// libsndfile gives them. CHANNELS is the channel count where it is known
// when compiling (1 or 2, so that the loops run in vector lanes), or 0 for
// the count `channels` given at run time.
#ifndef QORTA_QORTA_INTEGER_BLOCKS_H
#define QORTA_QORTA_INTEGER_BLOCKS_H

#include <cmath>
#include <cstdint>
#include <cstring>

#include "qorta/quantize.h"

namespace qorta {

// Adds every sample's value (shifted down by `shift`, plus `bias`) to
// sums[c] and raises *peak to its largest magnitude before the bias.
template <typename Word, int CHANNELS>
void sumBlock(const Word* buffer, int channels, std::int64_t count, int shift, int bias, std::int64_t* sums,
              std::int64_t* peak) {
    const int n = CHANNELS > 0 ? CHANNELS : channels;
    std::int64_t local[8] = {};
    std::int32_t high = 0, low = 0;
    for (std::int64_t j = 0; j < count; ++j)
        for (int c = 0; c < n; ++c) {
            const std::int32_t s = buffer[j * n + c] >> shift;
            local[c] += s + bias;
            high = s > high ? s : high;
            low = s < low ? s : low;
        }
    for (int c = 0; c < n; ++c) sums[c] += local[c];
    const std::int64_t magnitude = std::int64_t{high} > -std::int64_t{low} ? high : -std::int64_t{low};
    if (magnitude > *peak) *peak = magnitude;
}

// planes[c][offset + j] = (sample + bias - dc[c]) x scale.
template <typename Word, int CHANNELS>
void decodeBlock(const Word* buffer, int channels, std::int64_t count, int shift, int bias, const double* dc,
                 double scale, double* const* planes, std::int64_t offset) {
    const int n = CHANNELS > 0 ? CHANNELS : channels;
    for (int c = 0; c < n; ++c) {
        double* plane = planes[c] + offset;
        const double d = dc[c];
        for (std::int64_t j = 0; j < count; ++j)
            plane[j] = (static_cast<double>((buffer[j * n + c] >> shift) + bias) - d) * scale;
    }
}

// out = the samples of values[c][j] x factor, converted as quantize does,
// left-justified by `shift`; counts the saturated samples (and NaNs) in
// *clipped and raises *peak to the largest magnitude: |value x factor| for
// a saturated sample (a NaN wins), the sample's own magnitude over full
// scale for the others (within one step below the value). The loops are
// branch-free, so that they run in vector lanes.
template <typename Word, int CHANNELS>
void encodeBlock(const double* const* values, int channels, std::int64_t count, double factor, const IntegerRange& r,
                 int shift, Word* out, double* peak, std::int64_t* clipped) {
    const int n = CHANNELS > 0 ? CHANNELS : channels;
    constexpr std::int64_t RUN = 256;
    std::int32_t samples[RUN];
    const double scale = r.scale, clipLow = r.clipLow, clipHigh = r.clipHigh;
    double highest = *peak;
    for (int c = 0; c < n; ++c) {
        const double* v = values[c];
        for (std::int64_t first = 0; first < count; first += RUN) {
            const std::int64_t length = count - first < RUN ? count - first : RUN;
            int outside = 0;
            for (std::int64_t j = 0; j < length; ++j) {
                const double y = (v[first + j] * factor) * scale;
                const bool inside = y > clipLow && y < clipHigh;
                outside |= !inside;
                samples[j] = static_cast<std::int32_t>(inside ? y : 0.0);
            }
            std::int32_t high = 0, low = 0;
            for (std::int64_t j = 0; j < length; ++j) {
                high = samples[j] > high ? samples[j] : high;
                low = samples[j] < low ? samples[j] : low;
            }
            const std::int64_t magnitude = std::int64_t{high} > -std::int64_t{low} ? high : -std::int64_t{low};
            const double level = static_cast<double>(magnitude) / scale;
            if (level > highest) highest = level;
            if (outside != 0) {
                // Beyond the range: the limit of that side; not a number: silence.
                for (std::int64_t j = 0; j < length; ++j) {
                    const double x = v[first + j] * factor;
                    const double y = x * scale;
                    if (y > clipLow && y < clipHigh) continue;
                    samples[j] = quantize(x, r, clipped);
                    const double a = std::fabs(x);
                    if (a > highest || a != a) highest = a;
                }
            }
            Word* o = out + first * n + c;
            for (std::int64_t j = 0; j < length; ++j)
                o[j * n] = static_cast<Word>(static_cast<std::uint32_t>(samples[j]) << shift);
        }
    }
    *peak = highest;
}

}  // namespace qorta

#endif
