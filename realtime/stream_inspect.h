// Inspection of a stream's state for tests: whether silence after a loud
// passage has left subnormal numbers behind.
#ifndef QORTA_REALTIME_STREAM_INSPECT_H
#define QORTA_REALTIME_STREAM_INSPECT_H

#include <cstddef>

#include "realtime/stream_corrector.h"

namespace realtime {

// The number of subnormal doubles in every state, delay line and buffer the
// corrector carries from one call to the next. 0 is the expected answer.
std::size_t countSubnormalState(const StreamCorrector* corrector);

}  // namespace realtime

#endif
