// The video frame rate of a simulated edit and how it cuts the audio into
// video frames: frame k holds the samples floor(k x rate / fps) up to
// floor((k + 1) x rate / fps) - 1.
#ifndef QORTA_TOOLS_HOST_FRAME_RATE_H
#define QORTA_TOOLS_HOST_FRAME_RATE_H

#include <cstdint>
#include <string>

namespace host {

// Frames per second as the exact ratio numerator / denominator, in lowest
// terms, between 1 and 1000 frames per second.
struct FrameRate {
    std::int64_t numerator = 30;
    std::int64_t denominator = 1;
};

// Parses "30", "29.97" (up to six decimals) or "30000/1001". Returns false
// for anything else and for rates below 1 or above 1000 frames per second.
bool parseFrameRate(const std::string& text, FrameRate* rate);

// The rate as text: "30" or "30000/1001".
std::string formatFrameRate(const FrameRate& rate);

// The first sample of video frame `k` (>= 0) of audio at `samplingRate`
// (> 0) samples per second: floor(k x samplingRate / fps), exact.
std::int64_t frameStartSample(std::int64_t k, std::int32_t samplingRate, const FrameRate& rate);

}  // namespace host

#endif
