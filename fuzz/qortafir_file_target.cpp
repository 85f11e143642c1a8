// Fuzz target: a whole qortafir file run on arbitrary bytes as the input file.
#include "fuzz/file_run_target.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::runFileTarget(fuzz::Program::Fir, data, size);
    return 0;
}
