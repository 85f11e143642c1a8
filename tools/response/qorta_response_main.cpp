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

struct Options {
    unsigned long rate = 44100;
    unsigned long points = 400;
    bool fixedRange = false;
    double yLow = 0.0, yHigh = 0.0;
    std::string title;
    const char* svgPath = nullptr;
    const char* csvPath = nullptr;
    std::vector<const char*> curves;
};

bool parseUnsigned(const char* text, unsigned long low, unsigned long high, unsigned long* value) {
    char* end = nullptr;
    errno = 0;
    unsigned long parsed = std::strtoul(text, &end, 10);
    if (*text == '\0' || *text == '-' || *end != '\0' || errno != 0 || parsed < low || parsed > high) return false;
    *value = parsed;
    return true;
}

bool parseRange(const char* text, double* low, double* high) {
    char* end = nullptr;
    *low = std::strtod(text, &end);
    if (end == text || *end != ':') return false;
    const char* second = end + 1;
    *high = std::strtod(second, &end);
    return end != second && *end == '\0' && std::isfinite(*low) && std::isfinite(*high) && *low < *high;
}

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (a[0] != '-') {
            o.curves.push_back(a);
            continue;
        }
        if (a[1] == '\0' || a[2] != '\0' || i + 1 >= argc) return false;
        const char* value = argv[++i];
        switch (a[1]) {
            case 'r': if (!parseUnsigned(value, response::MIN_SAMPLE_RATE, 0xFFFFFFFFul, &o.rate)) return false; break;
            case 'p': if (!parseUnsigned(value, 2, 100000, &o.points)) return false; break;
            case 'y': if (!parseRange(value, &o.yLow, &o.yHigh)) return false; o.fixedRange = true; break;
            case 't': o.title = value; break;
            case 's': o.svgPath = value; break;
            case 'c': o.csvPath = value; break;
            default: return false;
        }
    }
    return !o.curves.empty();
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
    if (!parseOptions(argc, argv, o)) {
        std::fputs(USAGE, stderr);
        return 2;
    }
    const auto rate = static_cast<std::uint32_t>(o.rate);
    std::vector<response::CurveSettings> curves;
    for (const char* text : o.curves) {
        response::CurveSettings settings;
        if (response::parseCurveArgument(text, rate, &settings) != 0) {
            std::fprintf(stderr, "qorta_response: cannot read the curve \"%s\"\n", text);
            std::fputs(USAGE, stderr);
            return 2;
        }
        curves.push_back(settings);
    }
    // The audible range, up to half the sample rate.
    const double top = rate / 2.0 < HIGHEST_FREQUENCY ? rate / 2.0 : HIGHEST_FREQUENCY;
    if (top <= LOWEST_FREQUENCY) {
        std::fprintf(stderr, "qorta_response: the sample rate must be above %g Hz\n", 2 * LOWEST_FREQUENCY);
        return 2;
    }
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
        if (plot::renderSvg(frame, lines, &svg) != 0) {
            std::fputs("qorta_response: the level range cannot be drawn\n", stderr);
            return 2;
        }
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
