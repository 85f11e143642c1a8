#include "console/output_file.h"

#include <cstdio>

namespace console {

namespace {

// Asks whether to overwrite `outputPath` until the answer is y or n. End of
// input counts as n, so that a script without an answer cannot hang.
bool userAllowsOverwrite(const char* outputPath) {
    // With standard output redirected the question would reach only the
    // file or pipe, and the program would seem to hang: it is shown on the
    // terminal as well, through standard error.
    const bool showOnTerminal = platform::outputHiddenFromKeys();
    for (;;) {
        std::printf("file \"%s\"already exist. overwrite?(y/n)\n", outputPath);
        if (showOnTerminal) std::fprintf(stderr, "file \"%s\"already exist. overwrite?(y/n)\n", outputPath);
        int key = platform::readKey();
        if (key == 'y') return true;
        if (key == 'n' || key < 0) return false;
    }
}

// True when `outputPath` names an input of the batch, under any name.
bool namesABatchInput(const FileRun& run, const char* outputPath) {
    platform::FileIdentity output;
    if (run.batchInputs == nullptr || !platform::fileIdentity(outputPath, &output)) return false;
    for (const platform::FileIdentity& input : *run.batchInputs)
        if (platform::sameIdentity(input, output)) return true;
    return false;
}

}  // namespace

FileResult createOutput(FileRun& run, const char* outputPath) {
    // An input of the batch counts as not existing, as the run's own input
    // does: no question, and its creation is refused below.
    const bool batchInput = namesABatchInput(run, outputPath);
    platform::CreateMode mode = platform::CreateMode::CreateAlways;
    if (!run.settings.overwrite) {
        if (!batchInput && platform::outputExists(outputPath, run.input.get())) {
            if (!userAllowsOverwrite(outputPath)) return FileResult::Declined;
        } else {
            mode = platform::CreateMode::CreateNew;
        }
    }
    if (!batchInput) run.output.reset(platform::createOutputFile(outputPath, mode, run.input.get()));
    return run.output.isOpen() ? FileResult::Ok : FileResult::CannotOpenToWrite;
}

}  // namespace console
