#include "console/output_file.h"

#include <cstdio>

namespace {

// Asks whether to overwrite `outputPath` until the answer is y or n. End of
// input counts as n, so that a script without an answer cannot hang.
bool userAllowsOverwrite(const char* outputPath) {
    for (;;) {
        std::printf("file \"%s\"already exist. overwrite?(y/n)\n", outputPath);
        int key = platform::readKey();
        if (key == 'y') return true;
        if (key == 'n' || key < 0) return false;
    }
}

}  // namespace

OutputCreation createOutput(FileRun& run, const char* outputPath) {
    platform::CreateMode mode = platform::CreateMode::CreateAlways;
    if (!run.settings.overwrite) {
        if (platform::outputExists(outputPath, run.input.get())) {
            if (!userAllowsOverwrite(outputPath)) return OutputCreation::Declined;
        } else {
            mode = platform::CreateMode::CreateNew;
        }
    }
    run.output.reset(platform::createOutputFile(outputPath, mode, run.input.get()));
    if (!run.output.isOpen()) {
        std::printf("ERROR! cannot open file to write\n");
        return OutputCreation::Failed;
    }
    return OutputCreation::Created;
}
