// qortafir: the bass level corrector with the linear-phase FIR corrector.
#include <cstdio>

#include "console/console_program.h"
#include "console/fir_stream.h"

namespace console {

namespace {

void printFirSettings(const CorrectorSettings& s) {
    std::printf("Setting: Quality=%d, Effect=%d, Gain=%d, FadeIn=%d, FadeOut=%d\n", s.quality,
                roundForDisplay(s.effect), roundForDisplay(s.gain), s.fadeIn, s.fadeOut);
}

const ConsoleProgram QORTAFIR = {
    "qortafir - bass level corrector (FIR0.10) for PC-QORTA/PCI line-in by KALDOR\n",
    "\nUSAGE : qortafir [option] input.wav [output.wav]\n"
    "        qortafir [option] input.wav [input2.wav...] output_dir\n"
    "        qortafir [option] input_dir output_dir\n"
    "\n"
    "OPTION: -q value  : quality. default 100\n"
    "        -e value  : effect [%%]. default 100\n"
    "        -g value  : gain [%%]. default 100.\n"
    "        -i value  : fade in time[ms]. default 0 (no op.)\n"
    "        -o value  : fade out time[ms]. default 0 (no op.)\n"
    "        -y        : overwrite without prompt\n"
    "        -n        : hide progress\n",
    true,
    printFirSettings,
    &FIR_STREAM_STAGE,
};

}  // namespace

}  // namespace console

int main(int argc, char** argv) { return console::runConsoleProgram(console::QORTAFIR, argc, argv); }
