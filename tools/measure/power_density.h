// The power spectrum of one channel, averaged over Hann-windowed segments
// (Welch's method), and what the demo reports of a recording from it.
#ifndef QORTA_TOOLS_MEASURE_POWER_DENSITY_H
#define QORTA_TOOLS_MEASURE_POWER_DENSITY_H

#include <vector>

namespace measure {

struct Spectrum {
    double binWidth = 0.0;       // Hz between bins
    std::vector<double> power;   // mean-square contribution of bins 0 .. size/2; sums to the
                                 // signal's mean square with each segment's mean removed
};

// Welch's estimate with segments of `segmentLength` frames (a power of two)
// overlapping by half; a signal shorter than one segment is zero-padded.
// Each segment's mean is taken off first, so bin 0 holds no DC offset.
Spectrum powerSpectrum(const std::vector<double>& samples, double sampleRate, int segmentLength);

// Mean square of the bins from `low` up to below `high` Hz, in dB (full-scale
// mean square 1.0 = 0 dB); -inf where they hold nothing.
double bandLevelDb(const Spectrum& spectrum, double low, double high);

}  // namespace measure

#endif
