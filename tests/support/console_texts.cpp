#include "tests/support/console_texts.h"

namespace testsupport {

const char* const IIR_BANNER = "qortaiir - bass level corrector (IIR0.10) for PC-QORTA/PCI line-in by KALDOR\n";

const char* const IIR_USAGE =
    "\nUSAGE : qortaiir [option] input.wav [output.wav]\n"
    "        qortaiir [option] input.wav [input2.wav...] output_dir\n"
    "        qortaiir [option] input_dir output_dir\n"
    "\n"
    "OPTION: -e value  : effect [%]. default 100\n"
    "        -g value  : gain [%]. default 100.\n"
    "        -i value  : fade in time[ms]. default 0 (no op.)\n"
    "        -o value  : fade out time[ms]. default 0 (no op.)\n"
    "        -y        : overwrite without prompt\n"
    "        -n        : hide progress\n";

const char* const ILLEGAL_NAMES_LINE = "ERROR : illegal filename or dir.\n";

std::string iirSettingsLine(int effect, int gain, int fadeIn, int fadeOut) {
    return "Setting: Effect=" + std::to_string(effect) + ", Gain=" + std::to_string(gain) +
           ", FadeIn=" + std::to_string(fadeIn) + ", FadeOut=" + std::to_string(fadeOut) + "\n";
}

const char* const FIR_BANNER = "qortafir - bass level corrector (FIR0.10) for PC-QORTA/PCI line-in by KALDOR\n";

const char* const FIR_USAGE =
    "\nUSAGE : qortafir [option] input.wav [output.wav]\n"
    "        qortafir [option] input.wav [input2.wav...] output_dir\n"
    "        qortafir [option] input_dir output_dir\n"
    "\n"
    "OPTION: -q value  : quality. default 100\n"
    "        -e value  : effect [%]. default 100\n"
    "        -g value  : gain [%]. default 100.\n"
    "        -i value  : fade in time[ms]. default 0 (no op.)\n"
    "        -o value  : fade out time[ms]. default 0 (no op.)\n"
    "        -y        : overwrite without prompt\n"
    "        -n        : hide progress\n";

std::string firSettingsLine(int quality, int effect, int gain, int fadeIn, int fadeOut) {
    return "Setting: Quality=" + std::to_string(quality) + ", Effect=" + std::to_string(effect) +
           ", Gain=" + std::to_string(gain) + ", FadeIn=" + std::to_string(fadeIn) +
           ", FadeOut=" + std::to_string(fadeOut) + "\n";
}

}  // namespace testsupport
