// How the response tool tells curves apart in a plot: the colour follows
// the effect, the dash pattern the corrector (IIR, or FIR at one quality),
// so that a plot of several effects for several correctors reads as a grid.
#ifndef QORTA_TOOLS_CURVE_STYLE_H
#define QORTA_TOOLS_CURVE_STYLE_H

#include <string>
#include <vector>

#include "tools/response/response.h"

namespace response {

struct CurveStyle {
    std::string colour;  // SVG colour
    std::string dashes;  // SVG dash array; empty for a solid line
};

// One style per curve of `curves`, in order. Each distinct effect value
// gets the next colour of a fixed palette of 7 colours that stay apart for
// colour-blind readers, in the order the values first appear; each
// distinct corrector (IIR, or FIR with one quality) gets the next of 4 line
// patterns, solid first. Both lists start over when they run out.
std::vector<CurveStyle> assignStyles(const std::vector<CurveSettings>& curves);

}  // namespace response

#endif
