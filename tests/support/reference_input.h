// The pieces that the reference models of both console programs share: the
// header parse straight from the file's bytes, the DC offsets over the whole
// data chunk, the PCM mapping in both directions, the fade factors and the
// 46-byte output header. Only the models use them; tests use the models.
#ifndef QORTA_TESTS_SUPPORT_REFERENCE_INPUT_H
#define QORTA_TESTS_SUPPORT_REFERENCE_INPUT_H

#include <cstdint>

#include "tests/support/reference_model.h"

namespace testsupport {

// Where the samples of an accepted input lie.
struct ModelInput {
    const Bytes& file;
    std::uint64_t dataStart = 0;  // offset of the first sample byte
};

// Reads the header of `in.file` into the format fields of `*r` (width,
// channels, rate, data size, whole frames) and sets in->dataStart. Returns
// false, leaving r->outcome IllegalFormat, when the header is refused: not
// RIFF WAVE PCM with the fmt chunk first, not 8 or 16 bits, not 1 or 2
// channels, or a rate below 10 Hz.
bool readModelHeader(ModelInput* in, ReferenceResult* r);

// True when the file holds the whole data chunk that the header announces.
bool modelDataPresent(const ModelInput& in, const ReferenceResult& r);

// Sets r->dcOffset: every whole sample of the data chunk, a partial last
// frame included, summed per channel in file order, times the reciprocal of
// the number of whole frames (0.0 for an empty chunk).
void measureModelDcOffsets(const ModelInput& in, ReferenceResult* r);

// The plane value of `channel` in `frame`: (sample - DC offset) x 2^-15 for
// 16 bits, x 2^-7 for 8 bits.
double modelPlaneValue(const ModelInput& in, const ReferenceResult& r, std::uint64_t frame, int channel);

// Appends the 46-byte output header for r's format and whole frames to
// r->output.
void appendModelHeader(ReferenceResult* r);

// Appends `value` as one PCM sample of r's width to r->output: truncated
// toward zero, saturated, and r->clipPeak raised to the peak level of a
// clipped sample over full scale; NaN is written as silence and counts as
// clipped with an infinite level.
void appendModelSample(ReferenceResult* r, double value);

// The fade factors of frame n of a file of `total` frames (1.0 without a
// fade), left to right in double precision.
double modelFadeIn(const ReferenceSettings& s, std::uint64_t n, std::uint32_t sampleRate);
double modelFadeOut(const ReferenceSettings& s, std::uint64_t n, std::uint64_t total, std::uint32_t sampleRate);

}  // namespace testsupport

#endif
