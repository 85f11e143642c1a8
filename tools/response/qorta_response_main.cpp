// qorta_response: the magnitude response of the bass correctors, computed
// from the correctors' own code, as an SVG plot and as a CSV table.
//
// Usage: qorta_response [-r RATE] [-p POINTS] [-y LOW:HIGH] [-t TITLE]
//                       [-s PLOT.svg] [-c TABLE.csv] CURVE...
//   CURVE is iir[:e=EFFECT,g=GAIN] or fir[:e=EFFECT,g=GAIN,q=QUALITY].
// Exit status 0 on success, 1 when a curve cannot be computed or a file
// cannot be written, 2 for a command line it does not understand.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/response/curve_argument.h"
#include "tools/response/curve_style.h"
#include "tools/response/response.h"
#include "tools/response/response_table.h"
#include "tools/response/svg_plot.h"

namespace {

constexpr double LOWEST_FREQUENCY = 10.0;
constexpr double HIGHEST_FREQUENCY = 20000.0;

const char USAGE[] =
    "usage: qorta_response [-r RATE] [-p POINTS] [-y LOW:HIGH] [-t TITLE]\n"
    "                      [-s PLOT.svg] [-c TABLE.csv] CURVE...\n"
    "  CURVE   iir[:e=EFFECT,g=GAIN] or fir[:e=EFFECT,g=GAIN,q=QUALITY]\n"
    "  -r      sample rate in Hz (default 44100)\n"
    "  -p      frequencies from 10 Hz up to 20 kHz or half the sample rate,\n"
    "          log spaced (default 400)\n"
    "  -y      level axis range in dB (default: fitted to the curves)\n"
    "  -t      plot title\n"
    "  -s, -c  write the plot, the table; with neither the table goes to standard output\n";

// The lowest sample rate whose half lies above the lowest frequency shown.
constexpr unsigned long LOWEST_RATE = static_cast<unsigned long>(2 * LOWEST_FREQUENCY) + 1;
// The deepest level range -y can draw: 200 grid lines 10 dB apart.
constexpr double DEEPEST_RANGE = 2000.0;

struct Options {
    unsigned long rate = 44100;
    unsigned long points = 400;
    bool fixedRange = false;
    double yLow = 0.0, yHigh = 0.0;
    const char* rangeText = nullptr;
    std::string title;
    const char* svgPath = nullptr;
    const char* csvPath = nullptr;
    std::vector<const char*> curves;
};

// Reads a whole number from `low` to `high` for the option value `text`
// that `name` describes. Returns false with what is wrong in `*error`.
bool parseUnsigned(const char* name, const char* text, unsigned long low, unsigned long high, unsigned long* value,
                   std::string* error) {
    char* end = nullptr;
    errno = 0;
    unsigned long parsed = std::strtoul(text, &end, 10);
    if (*text == '\0' || *text == '-' || end == text || *end != '\0') {
        *error = std::string(name) + " '" + text + "' is not a whole number";
        return false;
    }
    if (errno != 0 || parsed < low || parsed > high) {
        *error = std::string(name) + " '" + text + "' is out of range: from " + std::to_string(low) + " to " +
                 std::to_string(high);
        return false;
    }
    *value = parsed;
    return true;
}

// Reads "LOW:HIGH", two finite numbers with LOW below HIGH. Returns false
// with what is wrong in `*error`.
bool parseRange(const char* text, double* low, double* high, std::string* error) {
    char* end = nullptr;
    *low = std::strtod(text, &end);
    bool read = end != text && *end == ':';
    if (read) {
        const char* second = end + 1;
        *high = std::strtod(second, &end);
        read = end != second && *end == '\0' && std::isfinite(*low) && std::isfinite(*high);
    }
    if (!read) {
        *error = std::string("level range '") + text + "' is not LOW:HIGH with two finite numbers";
        return false;
    }
    if (!(*low < *high)) {
        *error = std::string("level range '") + text + "' has LOW not below HIGH";
        return false;
    }
    return true;
}

// Reads the command line into `o`. Returns false with what is wrong in
// `*error`.
bool parseOptions(int argc, char** argv, Options& o, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (a[0] != '-') {
            o.curves.push_back(a);
            continue;
        }
        if (a[1] == '\0' || a[2] != '\0' || std::strchr("rpytsc", a[1]) == nullptr) {
            *error = std::string("unknown option ") + a;
            return false;
        }
        if (i + 1 >= argc) {
            *error = std::string("option ") + a + " needs a value";
            return false;
        }
        const char* value = argv[++i];
        switch (a[1]) {
            case 'r':
                if (!parseUnsigned("sample rate", value, LOWEST_RATE, 0xFFFFFFFFul, &o.rate, error)) return false;
                break;
            case 'p':
                if (!parseUnsigned("point count", value, 2, 100000, &o.points, error)) return false;
                break;
            case 'y':
                if (!parseRange(value, &o.yLow, &o.yHigh, error)) return false;
                o.fixedRange = true;
                o.rangeText = value;
                break;
            case 't': o.title = value; break;
            case 's': o.svgPath = value; break;
            default: o.csvPath = value; break;
        }
    }
    if (o.curves.empty()) {
        *error = "no curve given";
        return false;
    }
    return true;
}

// Refuses the command line: what is wrong, then the usage. Returns the exit
// status 2.
int refuse(const std::string& what) {
    std::fprintf(stderr, "qorta_response: %s\n", what.c_str());
    std::fputs(USAGE, stderr);
    return 2;
}

// A level axis that holds every finite level with a little room, in whole
// grid steps, at most 90 dB deep.
void fitLevelRange(const std::vector<std::vector<double>>& levels, plot::Frame& frame) {
    double low = 0.0, high = 0.0;
    for (const std::vector<double>& column : levels)
        for (double level : column)
            if (std::isfinite(level)) {
                low = level < low ? level : low;
                high = level > high ? level : high;
            }
    frame.yHigh = std::ceil((high + 0.5) / 5.0) * 5.0;
    frame.yLow = std::floor((low - 0.5) / 5.0) * 5.0;
    if (frame.yLow < frame.yHigh - 90.0) frame.yLow = frame.yHigh - 90.0;
}

bool writeText(const char* path, const std::string& content) {
    std::FILE* file = std::strcmp(path, "-") == 0 ? stdout : std::fopen(path, "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    if (file != stdout) ok = std::fclose(file) == 0 && ok;
    else ok = std::fflush(stdout) == 0 && ok;
    return ok;
}

std::string rateText(unsigned long rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%g kHz", static_cast<double>(rate) / 1000.0);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::string error;
    if (!parseOptions(argc, argv, o, &error)) return refuse(error);
    const auto rate = static_cast<std::uint32_t>(o.rate);
    std::vector<response::CurveSettings> curves;
    for (const char* text : o.curves) {
        response::CurveSettings settings;
        std::string problem;
        if (response::parseCurveArgument(text, rate, &settings, &problem) != 0)
            return refuse(std::string("curve '") + text + "' " + problem);
        curves.push_back(settings);
    }
    // The audible range, up to half the sample rate (above the lowest
    // frequency: the rate is above twice that).
    const double top = rate / 2.0 < HIGHEST_FREQUENCY ? rate / 2.0 : HIGHEST_FREQUENCY;
    const std::vector<double> frequencies = response::logFrequencies(LOWEST_FREQUENCY, top, o.points);

    std::vector<std::string> labels;
    std::vector<std::vector<double>> levels;
    for (const response::CurveSettings& c : curves) {
        std::vector<double> magnitudes(frequencies.size());
        int result = response::curveMagnitudes(c, frequencies.data(), frequencies.size(), magnitudes.data());
        if (result != response::RESPONSE_OK) {
            std::fprintf(stderr, "qorta_response: %s: %s\n", response::curveLabel(c).c_str(),
                         result == response::RESPONSE_OUT_OF_MEMORY ? "out of memory"
                                                                     : "settings out of range");
            return 1;
        }
        for (double& m : magnitudes) m = response::toDecibels(m);
        labels.push_back(response::curveLabel(c));
        levels.push_back(std::move(magnitudes));
    }

    if (o.svgPath != nullptr) {
        plot::Frame frame;
        frame.xLow = LOWEST_FREQUENCY;
        frame.xHigh = HIGHEST_FREQUENCY;
        if (o.fixedRange) {
            if (o.yHigh - o.yLow > DEEPEST_RANGE)
                return refuse(std::string("level range '") + o.rangeText + "' is deeper than 2000 dB");
            frame.yLow = o.yLow;
            frame.yHigh = o.yHigh;
        } else {
            fitLevelRange(levels, frame);
        }
        frame.yStep = frame.yHigh - frame.yLow > 60.0 ? 10.0 : 5.0;
        frame.title = o.title.empty() ? "Magnitude response at " + rateText(o.rate) : o.title;
        frame.xTitle = "Frequency (Hz)";
        frame.yTitle = "Level (dB)";
        std::vector<response::CurveStyle> styles = response::assignStyles(curves);
        std::vector<plot::Curve> lines;
        for (std::size_t i = 0; i < curves.size(); ++i)
            lines.push_back(plot::Curve{labels[i], styles[i].colour, styles[i].dashes, frequencies, levels[i]});
        std::string svg;
        if (plot::renderSvg(frame, lines, &svg) != 0) return refuse("the level range cannot be drawn");
        if (!writeText(o.svgPath, svg)) {
            std::fprintf(stderr, "qorta_response: cannot write %s\n", o.svgPath);
            return 1;
        }
    }
    if (o.csvPath != nullptr || o.svgPath == nullptr) {
        std::string csv;
        response::renderCsv(frequencies, labels, levels, &csv);
        const char* path = o.csvPath != nullptr ? o.csvPath : "-";
        if (!writeText(path, csv)) {
            std::fprintf(stderr, "qorta_response: cannot write %s\n", path);
            return 1;
        }
    }
    return 0;
}
