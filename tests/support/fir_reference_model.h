// An independent model of what the FIR console program makes of one input
// file. It works on the whole file at once, with no window and no refills:
// every channel becomes one signal with N zeros before its first and after
// its last frame, and every output frame is the plain convolveAt of the
// kernel centred on that frame, then (fade-out x sum) x fade-in, then the
// PCM conversion. It shares the header parse, DC offsets, PCM mapping and
// console texts with the IIR model (reference_model.h).
#ifndef QORTA_TESTS_SUPPORT_FIR_REFERENCE_MODEL_H
#define QORTA_TESTS_SUPPORT_FIR_REFERENCE_MODEL_H

#include <cstdint>

#include "tests/support/reference_model.h"

namespace testsupport {

// The largest N whose kernel the program's window holds.
constexpr std::uint32_t MODEL_MAX_HALF_LENGTH = 0x40000;

// N = (quality x sampleRate) / 5000 from the exact product; 0 for a negative
// quality, which is refused whatever N would be.
std::uint64_t modelHalfLength(std::int32_t quality, std::uint32_t sampleRate);

// The model's result for the input file `input` run with `settings`
// (quality included). A refused header gives IllegalFormat; an N above
// MODEL_MAX_HALF_LENGTH gives QualityOutOfRange, before the data is looked
// at; a data chunk that runs past the end of the file gives ReadFailure.
// The progress values are those shown before every window refill: at
// frames 0, 0x40000, 0xC0000, 0x140000, ... below the number of frames.
ReferenceResult firReferenceRun(const Bytes& input, const ReferenceSettings& settings);

}  // namespace testsupport

#endif
