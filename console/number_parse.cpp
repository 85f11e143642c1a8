#include "console/number_parse.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>

namespace console {

namespace {

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

const char* skipSpace(const char* text) {
    while (isSpace(*text)) ++text;
    return text;
}

const char* skipDigits(const char* text) {
    while (isDigit(*text)) ++text;
    return text;
}

}  // namespace

std::int32_t parseInteger(const char* text) {
    const char* p = skipSpace(text);
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    // The magnitude stops growing once it is past the 32-bit range, so any
    // run of digits ends in range and the sign then picks the nearest bound.
    constexpr std::int64_t LIMIT = std::int64_t{1} << 31;
    std::int64_t magnitude = 0;
    for (; isDigit(*p); ++p)
        if (magnitude <= LIMIT) magnitude = magnitude * 10 + (*p - '0');
    if (negative) return static_cast<std::int32_t>(-std::min(magnitude, LIMIT));
    return static_cast<std::int32_t>(std::min(magnitude, LIMIT - 1));
}

double parseReal(const char* text) {
    const char* start = skipSpace(text);
    const char* p = start;
    if (*p == '+' || *p == '-') ++p;
    const char* integerEnd = skipDigits(p);
    bool hasDigits = integerEnd != p;
    p = integerEnd;
    if (*p == '.') {
        const char* fractionEnd = skipDigits(p + 1);
        hasDigits = hasDigits || fractionEnd != p + 1;
        p = fractionEnd;
    }
    if (!hasDigits) return 0.0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        const char* exponentEnd = skipDigits(q);
        if (exponentEnd != q) p = exponentEnd;
    }
    // strtod alone would also take hexadecimal, "inf" and "nan"; it is only
    // given the decimal prefix found above.
    std::string number(start, p);
    const double value = std::strtod(number.c_str(), nullptr);
    constexpr double LARGEST = std::numeric_limits<double>::max();
    return value > LARGEST ? LARGEST : value < -LARGEST ? -LARGEST : value;
}

}  // namespace console
