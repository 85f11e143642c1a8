#include "tools/response/svg_plot.h"

#include <cmath>
#include <cstdio>
#include <utility>

namespace plot {
namespace {

constexpr int MARGIN_LEFT = 64;
constexpr int MARGIN_RIGHT = 24;
constexpr int MARGIN_TOP = 44;
constexpr int MARGIN_BOTTOM = 56;
constexpr double MAX_GRID_LINES = 200;
constexpr int LEGEND_ROW = 18;       // pixels per legend entry
constexpr double LEGEND_CHAR = 7.0;  // estimated width of one character of 12 px text

// A coordinate with at most two decimals and no trailing zeros.
std::string number(double value) {
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", value);
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

std::string formatted(const char* format, double value) {
    char text[48];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// "20", "500", "1k", "20k".
std::string frequencyLabel(double value) {
    if (value >= 1000.0) return formatted("%g", value / 1000.0) + "k";
    return formatted("%g", value);
}

// "+10", "0", "-5".
std::string levelLabel(double value) { return value == 0.0 ? "0" : formatted("%+g", value); }

// The plot area and the mapping from values to pixels.
struct Area {
    double left, right, top, bottom;
    double logLow, logSpan, yLow, ySpan;

    double x(double value) const { return left + (std::log10(value) - logLow) / logSpan * (right - left); }
    double y(double value) const { return bottom - (value - yLow) / ySpan * (bottom - top); }
};

bool validFrame(const Frame& f) {
    if (!(std::isfinite(f.xLow) && std::isfinite(f.xHigh) && f.xLow > 0.0 && f.xLow < f.xHigh)) return false;
    if (!(std::isfinite(f.yLow) && std::isfinite(f.yHigh) && f.yLow < f.yHigh)) return false;
    if (!(std::isfinite(f.yStep) && f.yStep > 0.0)) return false;
    if ((f.yHigh - f.yLow) / f.yStep > MAX_GRID_LINES) return false;
    if ((std::log10(f.xHigh) - std::log10(f.xLow)) * 9.0 > MAX_GRID_LINES) return false;
    return f.width >= 300 && f.height >= 200;
}

void line(std::string& out, double x1, double y1, double x2, double y2) {
    out += "<line x1=\"" + number(x1) + "\" y1=\"" + number(y1) + "\" x2=\"" + number(x2) + "\" y2=\"" +
           number(y2) + "\"/>\n";
}

void text(std::string& out, double x, double y, const std::string& content, const std::string& extra = "") {
    out += "<text x=\"" + number(x) + "\" y=\"" + number(y) + "\"" + extra + ">" + escapeXml(content) + "</text>\n";
}

// The vertical grid lines (minor, then major ones at each power of ten)
// and the frequency labels below the area.
void verticalGrid(std::string& out, const Frame& f, const Area& a) {
    std::string minor, major, labels;
    const int firstDecade = static_cast<int>(std::floor(std::log10(f.xLow)));
    const int lastDecade = static_cast<int>(std::ceil(std::log10(f.xHigh)));
    for (int decade = firstDecade; decade <= lastDecade; ++decade) {
        const double base = std::pow(10.0, decade);
        for (int d = 1; d <= 9; ++d) {
            const double value = d * base;
            if (value < f.xLow * (1 - 1e-9) || value > f.xHigh * (1 + 1e-9)) continue;
            const double x = a.x(value);
            line(d == 1 ? major : minor, x, a.top, x, a.bottom);
            if (d == 1 || d == 2 || d == 5) text(labels, x, a.bottom + 18, frequencyLabel(value));
        }
    }
    out += "<g class=\"grid-minor\" stroke=\"#e4e4e4\" stroke-width=\"1\">\n" + minor + "</g>\n";
    out += "<g class=\"grid-major\" stroke=\"#b8b8b8\" stroke-width=\"1\">\n" + major + "</g>\n";
    out += "<g class=\"x-labels\" text-anchor=\"middle\" fill=\"#333333\">\n" + labels + "</g>\n";
}

// The horizontal grid lines every yStep, the zero line drawn darker, and
// the level labels left of the area.
void horizontalGrid(std::string& out, const Frame& f, const Area& a) {
    std::string lines, zero, labels;
    const long first = static_cast<long>(std::ceil(f.yLow / f.yStep - 1e-9));
    const long last = static_cast<long>(std::floor(f.yHigh / f.yStep + 1e-9));
    for (long i = first; i <= last; ++i) {
        const double value = static_cast<double>(i) * f.yStep;
        const double y = a.y(value);
        line(i == 0 ? zero : lines, a.left, y, a.right, y);
        text(labels, a.left - 8, y + 4, levelLabel(value));
    }
    out += "<g class=\"grid-level\" stroke=\"#d0d0d0\" stroke-width=\"1\">\n" + lines + "</g>\n";
    out += "<g class=\"grid-zero\" stroke=\"#808080\" stroke-width=\"1.5\">\n" + zero + "</g>\n";
    out += "<g class=\"y-labels\" text-anchor=\"end\" fill=\"#333333\">\n" + labels + "</g>\n";
}

void curveLine(std::string& out, const Curve& c, const Frame& f, const Area& a) {
    const double span = f.yHigh - f.yLow;
    std::string points;
    for (std::size_t i = 0; i < c.x.size(); ++i) {
        double x = c.x[i], y = c.y[i];
        if (!(x > 0.0) || std::isnan(y) || std::isinf(x)) continue;
        // Far enough beyond the edge to leave the clipped area steeply.
        if (y < f.yLow - span) y = f.yLow - span;
        if (y > f.yHigh + span) y = f.yHigh + span;
        if (!points.empty()) points += ' ';
        points += number(a.x(x)) + "," + number(a.y(y));
    }
    out += "<polyline class=\"curve\" stroke=\"" + escapeXml(c.colour) + "\"";
    if (!c.dashes.empty()) out += " stroke-dasharray=\"" + escapeXml(c.dashes) + "\"";
    out += " points=\"" + points + "\"><title>" + escapeXml(c.label) + "</title></polyline>\n";
}

// The legend box in the upper right corner of the area.
void legend(std::string& out, const std::vector<Curve>& curves, const Area& a) {
    if (curves.empty()) return;
    std::size_t longest = 0;
    for (const Curve& c : curves) longest = c.label.size() > longest ? c.label.size() : longest;
    const double width = 56 + LEGEND_CHAR * static_cast<double>(longest);
    const double height = 10 + LEGEND_ROW * static_cast<double>(curves.size());
    const double left = a.right - 12 - width;
    const double top = a.top + 12;
    out += "<g class=\"legend\">\n";
    out += "<rect x=\"" + number(left) + "\" y=\"" + number(top) + "\" width=\"" + number(width) + "\" height=\"" +
           number(height) + "\" fill=\"#ffffff\" fill-opacity=\"0.92\" stroke=\"#999999\"/>\n";
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const Curve& c = curves[i];
        const double y = top + 14 + LEGEND_ROW * static_cast<double>(i);
        out += "<line class=\"legend-key\" x1=\"" + number(left + 10) + "\" y1=\"" + number(y) + "\" x2=\"" +
               number(left + 44) + "\" y2=\"" + number(y) + "\" stroke=\"" + escapeXml(c.colour) +
               "\" stroke-width=\"2\"";
        if (!c.dashes.empty()) out += " stroke-dasharray=\"" + escapeXml(c.dashes) + "\"";
        out += "/>\n";
        text(out, left + 52, y + 4, c.label, " class=\"legend-label\"");
    }
    out += "</g>\n";
}

}  // namespace

std::string escapeXml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

int renderSvg(const Frame& frame, const std::vector<Curve>& curves, std::string* svg) {
    if (!validFrame(frame)) return -1;
    for (const Curve& c : curves)
        if (c.x.size() != c.y.size()) return -1;

    Area a;
    a.left = MARGIN_LEFT;
    a.right = frame.width - MARGIN_RIGHT;
    a.top = MARGIN_TOP;
    a.bottom = frame.height - MARGIN_BOTTOM;
    a.logLow = std::log10(frame.xLow);
    a.logSpan = std::log10(frame.xHigh) - a.logLow;
    a.yLow = frame.yLow;
    a.ySpan = frame.yHigh - frame.yLow;
    const std::string w = std::to_string(frame.width), h = std::to_string(frame.height);

    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h + "\" viewBox=\"0 0 " + w +
           " " + h + "\" font-family=\"DejaVu Sans, Arial, Helvetica, sans-serif\" font-size=\"12\">\n";
    out += "<rect width=\"" + w + "\" height=\"" + h + "\" fill=\"#ffffff\"/>\n";
    out += "<defs><clipPath id=\"plot-area\"><rect x=\"" + number(a.left) + "\" y=\"" + number(a.top) +
           "\" width=\"" + number(a.right - a.left) + "\" height=\"" + number(a.bottom - a.top) +
           "\"/></clipPath></defs>\n";
    text(out, frame.width / 2.0, 26, frame.title, " class=\"title\" text-anchor=\"middle\" font-size=\"16\"");
    verticalGrid(out, frame, a);
    horizontalGrid(out, frame, a);
    text(out, (a.left + a.right) / 2, frame.height - 14, frame.xTitle, " class=\"x-title\" text-anchor=\"middle\"");
    const double yMiddle = (a.top + a.bottom) / 2;
    text(out, 16, yMiddle, frame.yTitle,
         " class=\"y-title\" text-anchor=\"middle\" transform=\"rotate(-90 16 " + number(yMiddle) + ")\"");
    out += "<rect class=\"frame\" x=\"" + number(a.left) + "\" y=\"" + number(a.top) + "\" width=\"" +
           number(a.right - a.left) + "\" height=\"" + number(a.bottom - a.top) +
           "\" fill=\"none\" stroke=\"#555555\"/>\n";
    out += "<g class=\"curves\" clip-path=\"url(#plot-area)\" fill=\"none\" stroke-width=\"2\" "
           "stroke-linejoin=\"round\">\n";
    for (const Curve& c : curves) curveLine(out, c, frame, a);
    out += "</g>\n";
    legend(out, curves, a);
    out += "</svg>\n";
    *svg = std::move(out);
    return 0;
}

}  // namespace plot
