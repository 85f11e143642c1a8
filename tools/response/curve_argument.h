// Curve descriptions on the response tool's command line, and the labels
// the plot and the table show for them.
//
//   iir[:e=EFFECT,g=GAIN]
//   fir[:e=EFFECT,g=GAIN,q=QUALITY]
//
// The letters are those of the console programs' options; settings not
// given keep the programs' defaults (effect 100, gain 100, quality 100).
#ifndef QORTA_TOOLS_CURVE_ARGUMENT_H
#define QORTA_TOOLS_CURVE_ARGUMENT_H

#include <cstdint>
#include <string>

#include "tools/response/response.h"

namespace response {

// Parses `text` into `settings`, whose sample rate is set to `sampleRate`.
// Names, keys and letters are matched in any letter case; values are
// decimal numbers (q an integer within 32 bits), each key at most once, q
// only for fir. Returns 0, or -1 for any text that does not fit the form
// above, in which case `settings` is unchanged and `*problem` (when given)
// says what is wrong, worded to follow "curve 'TEXT' ".
int parseCurveArgument(const char* text, std::uint32_t sampleRate, CurveSettings* settings,
                       std::string* problem = nullptr);

// A short label: "IIR effect 50", "FIR q300 effect 200", with ", gain G"
// added when the gain is not 100. Numbers are shown with up to 6
// significant digits.
std::string curveLabel(const CurveSettings& settings);

}  // namespace response

#endif
