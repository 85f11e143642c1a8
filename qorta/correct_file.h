// One file run: the DC offset of every channel measured over the whole file
// first, then (with --peak) a pass that measures the corrected output's
// peak, then the pass that corrects and writes. The correction is the
// console programs' computation, channel by channel, for any channel count
// and sample format libsndfile reads; nothing of the file is held beyond a
// block of frames and the FIR corrector's window.
#ifndef QORTA_QORTA_CORRECT_FILE_H
#define QORTA_QORTA_CORRECT_FILE_H

#include <sndfile.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "qorta/settings.h"

namespace qorta {

// Channels a file may have.
constexpr int MAX_FILE_CHANNELS = 8;

// The lowest sample rate accepted, as the console programs accept it.
constexpr int MIN_SAMPLE_RATE = 10;

// The largest FIR half-length accepted: the console programs' window limit.
constexpr std::int64_t MAX_HALF_LENGTH = 0x40000;

struct FileStats {
    std::int64_t frames = 0;
    int channels = 0;
    int sampleRate = 0;
    int inputFormat = 0;
    int outputFormat = 0;
    std::vector<double> dcOffset;  // per channel, 1.0 = full scale
    double peakIn = 0.0;           // largest input sample magnitude, 1.0 = full scale
    double peakOut = 0.0;          // largest output magnitude before saturation (integer outputs: to one step)
    std::int64_t clipped = 0;      // samples saturated (integer outputs) or beyond full scale (others)
    double peakGain = 1.0;         // the factor --peak applied
    bool peakGainSet = false;
};

// Samples of a partial frame at the end of a WAV data chunk, which
// libsndfile does not deliver: raw values as stored (unsigned for 8-bit
// WAV), for the first channels. The console programs add them to the DC
// sums, and so does the file run.
struct InputExtras {
    std::vector<std::int64_t> partialFrame;
};

// Opens the output once the first passes succeeded. Returns null and sets
// `*error` when it cannot.
struct OutputOpener {
    SNDFILE* (*open)(void* context, std::string* error);
    void* context;
};

// The checks made before any pass: channel count, sample rate, FIR kernel
// size. Returns "" or what is wrong.
std::string checkInput(const SF_INFO& info, const Settings& settings);

// Corrects every frame of `in` (described by `info`, standing at its first
// frame) into the file `opener` opens, written as `outputFormat`.
// `progress`, when not null, is raised by the frames of every pass done
// (passCount(settings) passes of info.frames frames). Returns "" on success
// or what went wrong; `*stats` is filled as far as the run came. The caller
// closes the output.
std::string correctFile(SNDFILE* in, const SF_INFO& info, const InputExtras& extras, int outputFormat,
                        const Settings& settings, const OutputOpener& opener, FileStats* stats,
                        std::atomic<std::int64_t>* progress);

// Passes over the input a run makes: 2, or 3 with --peak.
inline int passCount(const Settings& settings) { return settings.peakSet ? 3 : 2; }

}  // namespace qorta

#endif
