// The conversion of corrected values back to integer PCM of b bits: scaled
// by 2^(b-1), truncated toward zero and saturated to -2^(b-1) .. 2^(b-1) - 1.
// For 16 bits this is the console programs' conversion; for 8 bits it is
// theirs too, counted around the unsigned bias of 128.
#ifndef QORTA_QORTA_QUANTIZE_H
#define QORTA_QORTA_QUANTIZE_H

#include <cstdint>

namespace qorta {

// The limits of one integer width.
struct IntegerRange {
    double scale;     // 2^(b-1)
    double clipHigh;  // a scaled value at or above this saturates to scale - 1
    double clipLow;   // at or below this saturates to -scale
    std::int32_t high;
    std::int32_t low;
    int shift;        // 32 - b: left-justifies a sample for libsndfile's int calls
};

inline IntegerRange integerRange(int bits) {
    const double scale = static_cast<double>(std::int64_t{1} << (bits - 1));
    return {scale, scale, -scale - 1.0, static_cast<std::int32_t>((std::int64_t{1} << (bits - 1)) - 1),
            static_cast<std::int32_t>(-(std::int64_t{1} << (bits - 1))), 32 - bits};
}

// The sample of value `x` (1.0 = full scale); `*clipped` counts a saturated
// sample, and a value that is not a number, which becomes silence.
inline std::int32_t quantize(double x, const IntegerRange& r, std::int64_t* clipped) {
    const double y = x * r.scale;
    if (y >= r.clipHigh) {
        ++*clipped;
        return r.high;
    }
    if (y <= r.clipLow) {
        ++*clipped;
        return r.low;
    }
    if (y != y) {
        ++*clipped;
        return 0;
    }
    return static_cast<std::int32_t>(y);
}

}  // namespace qorta

#endif
