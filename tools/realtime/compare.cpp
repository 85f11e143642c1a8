#include "tools/realtime/compare.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace rtref {
namespace {

// The position of `value` in the ordered sequence of floats: neighbouring
// floats differ by 1, and +0 and -0 coincide.
std::int64_t floatOrder(float value) {
    std::int32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits < 0 ? -static_cast<std::int64_t>(bits & 0x7fffffff) : bits;
}

}  // namespace

bool compareFiles(const SampleFile& expected, const SampleFile& test, std::size_t shift, bool sameLength,
                  CompareResult* result, std::string* error) {
    if (expected.sampleRate != test.sampleRate || expected.channels != test.channels)
        return *error = "sample rate or channel count differs", false;
    const std::size_t expectedFrames = expected.samples[0].size();
    const std::size_t testFrames = test.samples[0].size();
    if (sameLength && expectedFrames != testFrames)
        return *error = "lengths differ: " + std::to_string(expectedFrames) + " and " + std::to_string(testFrames),
               false;
    const std::size_t frames = testFrames > shift ? std::min(expectedFrames, testFrames - shift) : 0;
    if (frames == 0) return *error = "no frames to compare", false;
    *result = CompareResult{};
    result->frames = frames;
    for (int ch = 0; ch < expected.channels; ++ch)
        for (std::size_t i = 0; i < frames; ++i) {
            const double want = expected.samples[ch][i];
            const double got = test.samples[ch][i + shift];
            result->maxAbs = std::max(result->maxAbs, std::fabs(got - want));
            const std::int64_t steps =
                std::llabs(floatOrder(static_cast<float>(got)) - floatOrder(static_cast<float>(want)));
            if (steps > result->maxSteps || std::isnan(got) != std::isnan(want)) {
                result->maxSteps = std::isnan(got) != std::isnan(want) ? INT64_MAX : steps;
                result->worstFrame = i;
                result->worstChannel = ch;
            }
        }
    return true;
}

}  // namespace rtref
