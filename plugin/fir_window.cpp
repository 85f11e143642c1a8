#include "plugin/fir_window.h"

#include <cstdint>

#include "dsp/pcm_scale.h"

namespace plugin {
namespace {

// Asks the host for the audio of neighbouring frame `k`; returns its
// samples per channel, or 0 when there is none the window can use.
std::int32_t readNeighbour(FirState& state, ReadFrameAudioService read, void* editHandle, std::int64_t k) {
    if (read == nullptr) return 0;
    const std::int32_t count = read(editHandle, static_cast<std::int32_t>(k), state.neighbourAudio);
    return count > 0 && count <= state.capacity ? count : 0;
}

void clearPositions(FirState& state, int channels, std::int64_t first, std::int64_t end) {
    for (int ch = 0; ch < channels; ++ch)
        for (std::int64_t p = first; p < end; ++p) state.channelWindow[ch][p] = 0.0;
}

// Positions N - 1 down to 0, from the last sample of the frame before
// backwards.
void gatherPast(FirState& state, ReadFrameAudioService read, const FrameAudioRecord& frame) {
    const int channels = frame.channelCount;
    std::int64_t free = state.halfLength;  // positions 0 .. free - 1 are still to fill
    for (std::int64_t k = static_cast<std::int64_t>(frame.frame) - 1; free > 0 && k >= 0; --k) {
        const std::int32_t m = readNeighbour(state, read, frame.editHandle, k);
        if (m == 0) break;
        for (std::int64_t j = m - 1; j >= 0 && free > 0; --j) {
            --free;
            const std::int16_t* sample = state.neighbourAudio + j * channels;
            for (int ch = 0; ch < channels; ++ch) state.channelWindow[ch][free] = sample[ch] * dsp::PCM16_IN;
        }
    }
    clearPositions(state, channels, 0, free);
}

// Positions N + n up to 2N + n - 1, from the first sample of the frame after
// forwards.
void gatherFuture(FirState& state, ReadFrameAudioService read, const FrameAudioRecord& frame) {
    const int channels = frame.channelCount;
    const std::int64_t end = 2 * static_cast<std::int64_t>(state.halfLength) + frame.sampleCount;
    std::int64_t next = state.halfLength + static_cast<std::int64_t>(frame.sampleCount);
    for (std::int64_t k = static_cast<std::int64_t>(frame.frame) + 1; next < end && k < frame.frameCount; ++k) {
        const std::int32_t m = readNeighbour(state, read, frame.editHandle, k);
        if (m == 0) break;
        for (std::int64_t j = 0; j < m && next < end; ++j, ++next) {
            const std::int16_t* sample = state.neighbourAudio + j * channels;
            for (int ch = 0; ch < channels; ++ch) state.channelWindow[ch][next] = sample[ch] * dsp::PCM16_IN;
        }
    }
    clearPositions(state, channels, next, end);
}

}  // namespace

void gatherWindows(FirState& state, const HostServices* services, const FrameAudioRecord& frame) {
    ReadFrameAudioService read = services != nullptr ? services->readFrameAudio : nullptr;
    gatherPast(state, read, frame);
    const int channels = frame.channelCount;
    const std::int64_t n = frame.sampleCount;
    for (std::int64_t i = 0; i < n; ++i)
        for (int ch = 0; ch < channels; ++ch)
            state.channelWindow[ch][state.halfLength + i] = frame.audio[i * channels + ch] * dsp::PCM16_IN;
    gatherFuture(state, read, frame);
}

}  // namespace plugin
