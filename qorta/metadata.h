// The metadata libsndfile carries from an input to its output: the text
// strings (LIST INFO, Vorbis comments, AIFF and CAF strings), the bext
// chunk with a CodingHistory line for the correction, and cue points.
#ifndef QORTA_QORTA_METADATA_H
#define QORTA_QORTA_METADATA_H

#include <sndfile.h>

#include <string>

#include "qorta/settings.h"

namespace qorta {

// The CodingHistory line of EBU R 98 form for the output: "A=PCM,F=rate,
// W=bits,M=mode,T=qorta ..." ending in CR LF.
std::string codingHistoryLine(const Settings& settings, int outputFormat, int sampleRate, int channels);

// Copies what `in` carries to `out`, before the first sample is written.
void copyMetadata(SNDFILE* in, SNDFILE* out, const Settings& settings, int outputFormat, int sampleRate,
                  int channels);

}  // namespace qorta

#endif
