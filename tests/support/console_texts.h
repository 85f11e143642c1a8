// The fixed texts of the IIR console program, as tests expect them.
#ifndef QORTA_TESTS_SUPPORT_CONSOLE_TEXTS_H
#define QORTA_TESTS_SUPPORT_CONSOLE_TEXTS_H

#include <string>

namespace testsupport {

extern const char* const IIR_BANNER;
// The usage text as printed (each "%%" of its format shown as "%").
extern const char* const IIR_USAGE;
extern const char* const ILLEGAL_NAMES_LINE;

// "Setting: Effect=..., Gain=..., FadeIn=..., FadeOut=...\n".
std::string iirSettingsLine(int effect, int gain, int fadeIn, int fadeOut);

}  // namespace testsupport

#endif
