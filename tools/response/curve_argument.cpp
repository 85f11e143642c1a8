#include "tools/response/curve_argument.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace response {
namespace {

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the `length` characters at `text` equal `word` (lower case) in
// any letter case.
bool matches(const char* text, std::size_t length, const char* word) {
    for (std::size_t i = 0; i < length; ++i)
        if (word[i] == '\0' || lower(text[i]) != word[i]) return false;
    return word[length] == '\0';
}

// A whole finite decimal number from the `length` characters at `text`.
bool parseNumber(const char* text, std::size_t length, double* value) {
    std::string digits(text, length);
    if (digits.empty()) return false;
    char* end = nullptr;
    errno = 0;
    double parsed = std::strtod(digits.c_str(), &end);
    if (end != digits.c_str() + digits.size() || errno != 0 || !std::isfinite(parsed)) return false;
    *value = parsed;
    return true;
}

bool parseInteger(const char* text, std::size_t length, std::int32_t* value) {
    std::string digits(text, length);
    if (digits.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long parsed = std::strtol(digits.c_str(), &end, 10);
    if (end != digits.c_str() + digits.size() || errno != 0 || parsed < INT32_MIN || parsed > INT32_MAX)
        return false;
    *value = static_cast<std::int32_t>(parsed);
    return true;
}

// Applies one "key=value" item of `length` characters. Returns false, with
// what is wrong in `*problem`, for an item that does not fit.
bool applyItem(const char* item, std::size_t length, CurveSettings& settings, bool seen[3], std::string* problem) {
    const std::string text(item, length);
    if (length < 3 || item[1] != '=') {
        *problem = "has '" + text + "', which is not KEY=VALUE";
        return false;
    }
    const char key = lower(item[0]);
    const char* value = item + 2;
    const std::size_t valueLength = length - 2;
    const std::string shown = text.substr(0, 1);
    int slot = key == 'e' ? 0 : key == 'g' ? 1 : key == 'q' ? 2 : -1;
    if (slot < 0) {
        *problem = "has the unknown key '" + shown + "' (e, g or, for fir, q)";
        return false;
    }
    if (seen[slot]) {
        *problem = "gives '" + shown + "' twice";
        return false;
    }
    seen[slot] = true;
    if (key == 'q' && settings.kind != CorrectorKind::Fir) {
        *problem = "gives 'q', which only fir takes";
        return false;
    }
    const bool read = key == 'e'   ? parseNumber(value, valueLength, &settings.effect)
                      : key == 'g' ? parseNumber(value, valueLength, &settings.gain)
                                   : parseInteger(value, valueLength, &settings.quality);
    if (!read)
        *problem = "has '" + text + "', which is not " +
                   (key == 'q' ? "an integer within 32 bits" : "a finite number");
    return read;
}

std::string formatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

}  // namespace

int parseCurveArgument(const char* text, std::uint32_t sampleRate, CurveSettings* settings, std::string* problem) {
    std::string unused;
    if (problem == nullptr) problem = &unused;
    CurveSettings parsed;
    parsed.sampleRate = sampleRate;
    const char* colon = text;
    while (*colon != '\0' && *colon != ':') ++colon;
    const std::size_t nameLength = static_cast<std::size_t>(colon - text);
    if (matches(text, nameLength, "iir")) {
        parsed.kind = CorrectorKind::Iir;
    } else if (matches(text, nameLength, "fir")) {
        parsed.kind = CorrectorKind::Fir;
    } else {
        *problem = "names neither iir nor fir";
        return -1;
    }
    if (*colon == ':') {
        bool seen[3] = {false, false, false};
        const char* item = colon + 1;
        for (;;) {
            const char* end = item;
            while (*end != '\0' && *end != ',') ++end;
            if (!applyItem(item, static_cast<std::size_t>(end - item), parsed, seen, problem)) return -1;
            if (*end == '\0') break;
            item = end + 1;
        }
    }
    *settings = parsed;
    return 0;
}

std::string curveLabel(const CurveSettings& settings) {
    std::string label = settings.kind == CorrectorKind::Iir ? "IIR" : "FIR q" + std::to_string(settings.quality);
    label += " effect " + formatNumber(settings.effect);
    if (settings.gain != 100.0) label += ", gain " + formatNumber(settings.gain);
    return label;
}

}  // namespace response
