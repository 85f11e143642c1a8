#include "console/block_io.h"

namespace console {

FileResult readPcm(FileRun& run, std::uint32_t count) {
    std::uint32_t delivered = 0;
    const bool ok = platform::readFile(run.input.get(), run.pcmBuffer.get(), count, &delivered) && delivered == count;
    return ok ? FileResult::Ok : FileResult::CannotRead;
}

FileResult writePcm(FileRun& run, const unsigned char* pcm, std::uint32_t count) {
    std::uint32_t written = 0;
    const bool ok = platform::writeFile(run.output.get(), pcm, count, &written) && written == count;
    return ok ? FileResult::Ok : FileResult::CannotWrite;
}

}  // namespace console
