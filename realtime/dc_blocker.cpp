#include "realtime/dc_blocker.h"

#include <cmath>

namespace realtime {

void configureDcBlocker(DcBlocker& blocker, double sampleRate) {
    blocker = DcBlocker{};
    blocker.pole = std::exp(-2.0 * M_PI * DC_CORNER_HZ / sampleRate);
}

}  // namespace realtime
