#include "tools/host/frame_rate.h"

#include <cctype>
#include <numeric>

namespace host {
namespace {

constexpr std::int64_t MAX_TERM = 1000000000;

// Reads the decimal digits of `text` from `*pos` into `*value`; false when
// there are none or the value grows beyond MAX_TERM.
bool readDigits(const std::string& text, std::size_t* pos, std::int64_t* value, int* count) {
    *value = 0;
    *count = 0;
    while (*pos < text.size() && std::isdigit(static_cast<unsigned char>(text[*pos]))) {
        *value = *value * 10 + (text[*pos] - '0');
        if (*value > MAX_TERM) return false;
        ++*pos;
        ++*count;
    }
    return *count > 0;
}

}  // namespace

bool parseFrameRate(const std::string& text, FrameRate* rate) {
    std::size_t pos = 0;
    std::int64_t numerator = 0;
    std::int64_t denominator = 1;
    int digits = 0;
    if (!readDigits(text, &pos, &numerator, &digits)) return false;
    if (pos < text.size() && text[pos] == '/') {
        ++pos;
        if (!readDigits(text, &pos, &denominator, &digits) || denominator == 0) return false;
    } else if (pos < text.size() && text[pos] == '.') {
        ++pos;
        std::int64_t fraction = 0;
        if (!readDigits(text, &pos, &fraction, &digits) || digits > 6) return false;
        for (int i = 0; i < digits; ++i) {
            numerator *= 10;
            denominator *= 10;
        }
        numerator += fraction;
    }
    if (pos != text.size()) return false;
    if (numerator < denominator || numerator > 1000 * denominator) return false;
    const std::int64_t divisor = std::gcd(numerator, denominator);
    rate->numerator = numerator / divisor;
    rate->denominator = denominator / divisor;
    return true;
}

std::string formatFrameRate(const FrameRate& rate) {
    std::string text = std::to_string(rate.numerator);
    if (rate.denominator != 1) text += "/" + std::to_string(rate.denominator);
    return text;
}

std::int64_t frameStartSample(std::int64_t k, std::int32_t samplingRate, const FrameRate& rate) {
    // k x q / num with q = rate x den, split as q = whole x num + rest so that
    // no product overflows: terms are below 10^9 and rates below 2^31.
    const std::int64_t q = static_cast<std::int64_t>(samplingRate) * rate.denominator;
    const std::int64_t whole = q / rate.numerator;
    const std::int64_t rest = q % rate.numerator;
    return k * whole + k * rest / rate.numerator;
}

}  // namespace host
