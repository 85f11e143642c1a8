// How far a host's output lies from the expected samples.
#ifndef QORTA_TOOLS_REALTIME_COMPARE_H
#define QORTA_TOOLS_REALTIME_COMPARE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/realtime/sample_file.h"

namespace rtref {

struct CompareResult {
    std::size_t frames = 0;       // frames compared per channel
    double maxAbs = 0.0;          // largest |test - expected| (full scale = 1.0)
    std::int64_t maxSteps = 0;    // largest distance in float steps between test and expected rounded to float
    std::size_t worstFrame = 0;   // expected frame of the largest step distance
    int worstChannel = 0;
};

// Compares test frame i + `shift` with expected frame i for every i where
// both exist. Returns false with `error` set when rates or channel counts
// differ, when nothing is left to compare, or, with `sameLength`, when the
// two files differ in length.
bool compareFiles(const SampleFile& expected, const SampleFile& test, std::size_t shift, bool sameLength,
                  CompareResult* result, std::string* error);

}  // namespace rtref

#endif
