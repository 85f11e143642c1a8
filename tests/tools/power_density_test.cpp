#include "tools/measure/power_density.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

namespace {

// A 50 Hz sine of amplitude 0.5 on a DC offset, with a weaker 1 kHz tone:
// the level below 120 Hz is the sine's mean square alone (0.125, -9.03 dB),
// the whole band the sum of both tones, and the offset counts nowhere.
TEST(Spectrum, BandLevelsAreTheTonesMeanSquaresWithoutTheOffset) {
    const double rate = 44100.0;
    std::vector<double> x(88200);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        x[i] = 0.02 + 0.5 * std::sin(2.0 * M_PI * 50.0 * t) + 0.1 * std::sin(2.0 * M_PI * 1000.0 * t);
    }
    const measure::Spectrum s = measure::powerSpectrum(x, rate, 16384);
    EXPECT_NEAR(measure::bandLevelDb(s, 0.0, 120.0), 10.0 * std::log10(0.125), 0.05);
    EXPECT_NEAR(measure::bandLevelDb(s, 0.0, rate / 2.0), 10.0 * std::log10(0.125 + 0.005), 0.05);
    EXPECT_LT(measure::bandLevelDb(s, 0.0, 3.0), 10.0 * std::log10(0.02 * 0.02) - 6.0);  // well below the offset
}

}  // namespace
