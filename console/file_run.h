// The state of one input/output pair while processFile works on it, and the
// streaming stage through which the two console programs differ.
#ifndef QORTA_CONSOLE_FILE_RUN_H
#define QORTA_CONSOLE_FILE_RUN_H

#include <cstdint>
#include <vector>

#include "console/buffer.h"
#include "console/corrector_settings.h"
#include "console/file_result.h"
#include "console/wav_container.h"
#include "dsp/channels.h"
#include "platform/platform.h"

namespace console {

// Frames that one block of the IIR program, and one window of the FIR
// program, holds. Builds for fuzzing and for fault tests may lower it by
// defining QORTA_BLOCK_FRAMES, so that small files cross block and window
// boundaries; the programs themselves always use 0x100000.
#ifdef QORTA_BLOCK_FRAMES
constexpr std::int64_t BLOCK_FRAMES = QORTA_BLOCK_FRAMES;
#else
constexpr std::int64_t BLOCK_FRAMES = 0x100000;
#endif
static_assert(BLOCK_FRAMES >= 16 && BLOCK_FRAMES % 4 == 0, "the FIR window is cut into quarters");

// Closes its file when it goes out of scope.
class ScopedFile {
public:
    ScopedFile() = default;
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    ~ScopedFile() { platform::closeFile(handle_); }
    void reset(platform::FileHandle handle) {
        platform::closeFile(handle_);
        handle_ = handle;
    }
    platform::FileHandle get() const { return handle_; }
    bool isOpen() const { return platform::isValid(handle_); }

private:
    platform::FileHandle handle_ = platform::invalidFile();
};

// The identities of every input file of a batch, taken before its first
// file is processed: no output is opened for writing on one of them.
using BatchInputs = std::vector<platform::FileIdentity>;

struct FileRun {
    explicit FileRun(const CorrectorSettings& s) : settings(s) {}

    const CorrectorSettings& settings;
    const BatchInputs* batchInputs = nullptr;  // the inputs of the batch; null: none besides `input`
    WavFormat format;
    ScopedFile input;
    ScopedFile output;
    std::uint32_t dataSize = 0;      // bytes of the data chunk as stored
    std::int64_t dataStart = 0;      // file position of the first sample byte
    std::int64_t totalFrames = 0;    // whole frames in the data chunk
    double dcOffset[dsp::MAX_CHANNELS] = {0.0, 0.0};  // mean raw sample value per channel
    Buffer<unsigned char> pcmBuffer;             // interleaved PCM as stored in the file
    std::uint32_t pcmBufferBytes = 0;
    // De-interleaved input, DC removed, 1.0 = full scale. The IIR stage
    // decodes one slice of the current block at a time into them (its first
    // frames only); the FIR stage keeps a sliding window of BLOCK_FRAMES
    // frames per channel in them, moved down and refilled by halves.
    Buffer<double> inputPlanes[dsp::MAX_CHANNELS];
    // Corrected output of one slice (IIR) or piece (FIR), before it is encoded.
    Buffer<double> outputPlanes[dsp::MAX_CHANNELS];
    double clipPeak = 0.0;  // peak level of a clipped sample over full scale; > 1.0 means clipping

    std::uint32_t frameBytes() const { return static_cast<std::uint32_t>(format.bitsPerSample / 8) * format.channels; }
};

// What a console program does between the header and the closing report.
// Each hook returns Ok to go on, or the failure that abandons the file,
// whose message processFile prints. Null hooks are skipped.
struct StreamStage {
    // After the wav info line, before the DC measurement: refuse a file the
    // stage cannot process. Returns Ok or QualityOutOfRange.
    FileResult (*checkFormat)(FileRun& run);
    // After the DC measurement, before the output is created. Returns Ok or
    // OutOfMemory.
    FileResult (*prepareInput)(FileRun& run);
    // After the output header: prepare the corrector, then read, correct and
    // write every frame. Returns Ok, OutOfMemory, CannotRead or CannotWrite.
    FileResult (*streamSamples)(FileRun& run);
};

}  // namespace console

#endif
