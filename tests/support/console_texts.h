// The fixed texts of the console programs, as tests expect them.
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

extern const char* const FIR_BANNER;
extern const char* const FIR_USAGE;

// "Setting: Quality=..., Effect=..., Gain=..., FadeIn=..., FadeOut=...\n".
std::string firSettingsLine(int quality, int effect, int gain, int fadeIn, int fadeOut);

}  // namespace testsupport

#endif
