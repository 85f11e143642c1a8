// The plug-ins' output computed from dsp/ directly, without the streaming
// engine, for comparing what a host writes against it.
#ifndef QORTA_TOOLS_REALTIME_REFERENCE_H
#define QORTA_TOOLS_REALTIME_REFERENCE_H

#include <vector>

namespace rtref {

// The IIR corrector with DC removal off and constant controls: for each
// channel from a cleared state, y = process(x) x (gain x 0.01), in double.
// `rate` > 0. No failure path.
std::vector<double> iirReference(const std::vector<double>& input, double rate, double effect, double gain);

// The FIR corrector with DC removal off and constant controls, undelayed:
// output i is the exact ascending sum of fillKernel's taps (N = quality x
// rate / 5000) over the input centred on i, with zeros outside the input.
// Same length as the input. Returns an empty vector when N < 0.
std::vector<double> firReference(const std::vector<double>& input, double rate, double effect, double gain,
                                 int quality);

}  // namespace rtref

#endif
