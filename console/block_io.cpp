#include "console/block_io.h"

#include "console/pcm_mapping.h"

namespace console {

FileResult readPcm(FileRun& run, std::uint32_t count) {
    std::uint32_t delivered = 0;
    const bool ok = platform::readFile(run.input.get(), run.pcmBuffer.get(), count, &delivered) && delivered == count;
    return ok ? FileResult::Ok : FileResult::CannotRead;
}

FileResult writePcm(FileRun& run, std::uint32_t count) {
    std::uint32_t written = 0;
    const bool ok = platform::writeFile(run.output.get(), run.pcmBuffer.get(), count, &written) && written == count;
    return ok ? FileResult::Ok : FileResult::CannotWrite;
}

FileResult writeBlock(FileRun& run, std::int64_t frameCount) {
    const double* planes[dsp::MAX_CHANNELS] = {run.outputPlanes[0].get(), run.outputPlanes[1].get()};
    encodePcm(planes, frameCount, run.format, run.pcmBuffer.get(), &run.clipPeak);
    return writePcm(run, static_cast<std::uint32_t>(frameCount * run.frameBytes()));
}

}  // namespace console
