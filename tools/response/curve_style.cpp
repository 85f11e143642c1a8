#include "tools/response/curve_style.h"

#include <cstddef>

namespace response {
namespace {

const char* const COLOURS[] = {"#0072B2", "#009E73", "#D55E00", "#CC79A7", "#E69F00", "#56B4E9", "#000000"};
const char* const DASHES[] = {"", "9 5", "2 4", "14 4 3 4"};

// Position of `value` in `seen`, appending it when it is new.
template <typename T>
std::size_t indexOf(std::vector<T>& seen, const T& value) {
    for (std::size_t i = 0; i < seen.size(); ++i)
        if (seen[i] == value) return i;
    seen.push_back(value);
    return seen.size() - 1;
}

// IIR curves share one pattern whatever their (unused) quality.
long long correctorKey(const CurveSettings& c) {
    return c.kind == CorrectorKind::Iir ? -(1LL << 40) : static_cast<long long>(c.quality);
}

}  // namespace

std::vector<CurveStyle> assignStyles(const std::vector<CurveSettings>& curves) {
    std::vector<double> effects;
    std::vector<long long> correctors;
    std::vector<CurveStyle> styles;
    for (const CurveSettings& c : curves) {
        const std::size_t colour = indexOf(effects, c.effect) % (sizeof COLOURS / sizeof COLOURS[0]);
        const std::size_t dash = indexOf(correctors, correctorKey(c)) % (sizeof DASHES / sizeof DASHES[0]);
        styles.push_back(CurveStyle{COLOURS[colour], DASHES[dash]});
    }
    return styles;
}

}  // namespace response
