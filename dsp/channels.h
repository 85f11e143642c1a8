// The channel count every corrector, buffer and conversion is built for.
#ifndef QORTA_DSP_CHANNELS_H
#define QORTA_DSP_CHANNELS_H

namespace dsp {

// Channels with their own state and buffers: stereo; mono uses channel 0.
constexpr int MAX_CHANNELS = 2;

}  // namespace dsp

#endif
