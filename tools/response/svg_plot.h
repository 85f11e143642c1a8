// A small SVG line plot: logarithmic x axis, linear y axis, grid, axis
// titles, curves with their own colour and dash pattern, and a legend.
// Written with plain text output; nothing but the standard library.
#ifndef QORTA_TOOLS_SVG_PLOT_H
#define QORTA_TOOLS_SVG_PLOT_H

#include <string>
#include <vector>

namespace plot {

struct Curve {
    std::string label;     // legend text and tooltip
    std::string colour;    // any SVG colour, e.g. "#1f77b4"
    std::string dashes;    // SVG dash array, e.g. "8 4"; empty for a solid line
    std::vector<double> x;  // > 0; points with x <= 0 are left out
    std::vector<double> y;  // same length as x; NaN points are left out
};

struct Frame {
    double xLow = 10.0;     // logarithmic axis, 0 < xLow < xHigh
    double xHigh = 20000.0;
    double yLow = -10.0;    // linear axis, yLow < yHigh
    double yHigh = 30.0;
    double yStep = 5.0;     // distance of the horizontal grid lines, > 0
    std::string title;
    std::string xTitle;
    std::string yTitle;
    int width = 900;        // picture size in pixels, at least 300 x 200
    int height = 540;
};

// Renders `curves` in `frame` as a complete SVG document into `*svg`.
// Vertical grid lines stand at every whole multiple d x 10^k (d = 1 .. 9)
// within the x range, labelled at d = 1, 2 and 5 ("1k" for 1000); the
// horizontal ones every yStep, labelled with their sign. Values beyond the
// y range (infinities included) are drawn at the edge of a clipped area.
// Text is escaped for XML.
// Returns 0, or -1 (and leaves `*svg` unchanged) for a frame that cannot be
// drawn (a range that is empty, inverted, not finite or, for x, not
// positive; a step that is not positive or leaves more than 200 grid lines;
// a picture smaller than 300 x 200) or a curve whose x and y differ in
// length.
int renderSvg(const Frame& frame, const std::vector<Curve>& curves, std::string* svg);

// `text` with &, <, >, " and ' replaced by their XML entities.
std::string escapeXml(const std::string& text);

}  // namespace plot

#endif
