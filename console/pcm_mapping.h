// Conversion between interleaved PCM as stored in a WAV file and
// de-interleaved planes of doubles with 1.0 = full scale.
//
// 16-bit samples s map to (s - dc) x 2^-15 and back as trunc(x x 32768.0),
// saturated to -32768..32767. 8-bit samples (unsigned bytes around 128) map
// to (s - dc) x 2^-7 and back as 128 - trunc(x x -128.0), saturated to 0..255.
#ifndef QORTA_CONSOLE_PCM_MAPPING_H
#define QORTA_CONSOLE_PCM_MAPPING_H

#include <cstdint>

#include "console/wav_container.h"

namespace console {

// Decodes `frames` frames of `pcm` (format.bitsPerSample 8 or 16,
// format.channels 1 or 2) into planes[c][offset + j], subtracting
// dcOffset[c] from every sample of channel c.
void decodePcm(const unsigned char* pcm, std::int64_t frames, const WavFormat& format,
               const double* dcOffset, double* const* planes, std::int64_t offset);

// Adds every whole sample in the first `bytes` bytes of `pcm` to the sum of
// its channel, sums[0] or sums[1]: 16-bit samples as signed values, 8-bit
// samples as unsigned bytes. The bytes start with a whole frame; the samples
// of a partial frame at their end count for the first channels.
void sumPcm(const unsigned char* pcm, std::uint32_t bytes, const WavFormat& format, std::int64_t* sums);

// Encodes frames 0 .. frames - 1 of the planes into `pcm`. A sample beyond
// the PCM range (an infinity included) is saturated, and `*clipPeak` is
// raised to its peak ratio: the magnitude of its unsaturated integer value
// over the full scale of its side (32768 or 128 below zero, 32767 or 127
// above). A value that is not a number has no sign to saturate to: it is
// written as silence and raises `*clipPeak` to infinity, so that it counts
// as clipped. Every sample gets the value, and `*clipPeak` the value, that
// encodeSample16 or encodeSample8 give it.
void encodePcm(const double* const* planes, std::int64_t frames, const WavFormat& format,
               unsigned char* pcm, double* clipPeak);

// The factor by which encodePcm scales a value before truncating it:
// 32768.0 for 16-bit samples, -128.0 for 8-bit ones (which count down from
// their bias of 128). The sample and the clip statistic of a value depend
// only on the truncated product.
double encodeScale(const WavFormat& format);

// The conversion of one value to a 16-bit sample, written plainly: the
// reference for the bulk encoder. Raises `*clipPeak` as encodePcm does.
std::int16_t encodeSample16(double x, double* clipPeak);

// The conversion of one value to an 8-bit sample; see encodeSample16.
unsigned char encodeSample8(double x, double* clipPeak);

}  // namespace console

#endif
