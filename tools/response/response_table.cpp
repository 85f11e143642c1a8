#include "tools/response/response_table.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace response {
namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string cell(double value) {
    if (!std::isfinite(value)) return "";
    char text[40];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

}  // namespace

int renderCsv(const std::vector<double>& frequencies, const std::vector<std::string>& labels,
              const std::vector<std::vector<double>>& levels, std::string* csv) {
    if (levels.size() != labels.size()) return -1;
    for (const std::vector<double>& column : levels)
        if (column.size() != frequencies.size()) return -1;
    std::string out = "frequency_hz";
    for (const std::string& label : labels) out += "," + quoted(label + " dB");
    out += "\n";
    for (std::size_t row = 0; row < frequencies.size(); ++row) {
        out += cell(frequencies[row]);
        for (const std::vector<double>& column : levels) out += "," + cell(column[row]);
        out += "\n";
    }
    *csv = std::move(out);
    return 0;
}

}  // namespace response
