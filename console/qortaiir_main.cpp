// qortaiir: the bass level corrector with the IIR corrector.
#include <cstdio>

#include "console/console_program.h"
#include "console/iir_stream.h"

namespace console {

namespace {

void printIirSettings(const CorrectorSettings& s) {
    std::printf("Setting: Effect=%d, Gain=%d, FadeIn=%d, FadeOut=%d\n", roundForDisplay(s.effect),
                roundForDisplay(s.gain), s.fadeIn, s.fadeOut);
}

const ConsoleProgram QORTAIIR = {
    "qortaiir - bass level corrector (IIR0.10) for PC-QORTA/PCI line-in by KALDOR\n",
    "\nUSAGE : qortaiir [option] input.wav [output.wav]\n"
    "        qortaiir [option] input.wav [input2.wav...] output_dir\n"
    "        qortaiir [option] input_dir output_dir\n"
    "\n"
    "OPTION: -e value  : effect [%%]. default 100\n"
    "        -g value  : gain [%%]. default 100.\n"
    "        -i value  : fade in time[ms]. default 0 (no op.)\n"
    "        -o value  : fade out time[ms]. default 0 (no op.)\n"
    "        -y        : overwrite without prompt\n"
    "        -n        : hide progress\n",
    false,
    printIirSettings,
    &IIR_STREAM_STAGE,
};

}  // namespace

}  // namespace console

int main(int argc, char** argv) { return console::runConsoleProgram(console::QORTAIIR, argc, argv); }
