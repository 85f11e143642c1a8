#include "dsp/iir_corrector.h"

#include <cmath>
#include <complex>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Relative comparison to `digits` significant digits.
void expectClose(double expected, double actual, double relative = 1e-12) {
    EXPECT_NEAR(expected, actual, std::fabs(expected) * relative) << "expected " << expected;
}

dsp::IirCorrector makeCorrector(double sampleRate, double strength) {
    dsp::IirCorrector corrector;
    dsp::reset(corrector);
    dsp::configure(corrector, sampleRate, strength);
    return corrector;
}

std::vector<double> impulseResponse(dsp::IirCorrector corrector, int length) {
    std::vector<double> out;
    for (int i = 0; i < length; ++i) out.push_back(dsp::process(corrector, 0, i == 0 ? 1.0 : 0.0));
    return out;
}

TEST(IirCorrector, CoefficientsAt44100) {
    dsp::IirCorrector c = makeCorrector(44100, 25);
    expectClose(0.998866855645396, c.bassPole);
    expectClose(0.999546588083036, c.highPassPole);
    expectClose(0.0283286088650997, c.bassGain);
    EXPECT_EQ(1.0 - c.highPassPole, c.highPassWeight);
}

TEST(IirCorrector, ImpulseResponseWithFullStrength) {
    std::vector<double> y = impulseResponse(makeCorrector(44100, 25), 4);
    expectClose(1.01370447025116, y[0]);
    expectClose(0.0278400957249, y[1], 1e-11);
    expectClose(0.0277954050242, y[2], 1e-11);
    expectClose(0.0277507709240, y[3], 1e-11);
}

TEST(IirCorrector, ImpulseResponseWithoutBoostIsTheHighPassAlone) {
    std::vector<double> y = impulseResponse(makeCorrector(44100, 0), 3);
    expectClose(0.999546588083036, y[0]);
    expectClose(-0.000453206334597, y[1], 1e-11);
    expectClose(-0.000453000845444, y[2], 1e-11);
}

TEST(IirCorrector, StepRisesToItsPeakAndDecays) {
    dsp::IirCorrector c = makeCorrector(44100, 25);
    std::vector<double> y;
    for (int i = 0; i < 44100; ++i) y.push_back(dsp::process(c, 0, 1.0));
    expectClose(1.01370447, y[0], 1e-8);
    expectClose(1.04154457, y[1], 1e-8);
    expectClose(1.06933997, y[2], 1e-8);
    std::size_t peak = 0;
    for (std::size_t i = 1; i < y.size(); ++i)
        if (y[i] > y[peak]) peak = i;
    EXPECT_EQ(1312u, peak);
    EXPECT_NEAR(14.116, y[peak], 0.001);
    EXPECT_LT(std::fabs(y.back()), 1e-7);
}

TEST(IirCorrector, MatchesItsTransferFunction) {
    // H(z) = (1 + g (1 + 1/z) / (2 (1 - b/z))) x h (1 - 1/z) / (1 - h/z),
    // evaluated against the DFT of a long impulse response.
    const double rate = 48000, strength = 12.5;
    dsp::IirCorrector c = makeCorrector(rate, strength);
    std::vector<double> y = impulseResponse(c, 20 * 48000);
    for (double f : {5.0, 30.0, 100.0, 1000.0, 15000.0}) {
        std::complex<double> dft = 0.0;
        for (std::size_t k = 0; k < y.size(); ++k)
            dft += y[k] * std::polar(1.0, -2 * M_PI * f * static_cast<double>(k) / rate);
        std::complex<double> zi = std::polar(1.0, -2 * M_PI * f / rate);
        std::complex<double> bass = c.bassGain * (1.0 + zi) / (2.0 * (1.0 - c.bassPole * zi));
        std::complex<double> highPass = c.highPassPole * (1.0 - zi) / (1.0 - c.highPassPole * zi);
        std::complex<double> expected = (1.0 + bass) * highPass;
        EXPECT_NEAR(0.0, std::abs(dft - expected) / std::abs(expected), 1e-9) << f << " Hz";
    }
}

TEST(IirCorrector, EverySampleHasTheBitsOfTheWrittenOrderOfOperations) {
    // Golden values, worked out step by step in IEEE double precision from
    // the recurrence as written; a reordered or fused operation changes them.
    // The coefficients are set directly (they are those of 44.1 kHz and
    // strength 25), since the platform's exp may differ in the last bit.
    dsp::IirCorrector c;
    dsp::reset(c);
    c.bassPole = 0x1.ff6b79fc1c541p-1;
    c.highPassPole = 0x1.ffc492054a407p-1;
    c.highPassWeight = 1.0 - c.highPassPole;
    c.bassGain = 0x1.d022cc27794e0p-6;
    const double input[] = {1.0, -0.5, 0.25, 0.0, 0.75, -1.0, 0.125, 0.3};
    const double expected[] = {0x1.038222db89a95p+0, -0x1.ea82288473999p-2, 0x1.11b77a50751dcp-2,
                               0x1.55006fbc53b50p-6, 0x1.8fe6d5f243833p-1, -0x1.f1b4398446c8cp-1,
                               0x1.1f9b0a93c131cp-3, 0x1.48ffe3a027f1dp-2};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(expected[i], dsp::process(c, 1, input[i])) << "sample " << i;
}

TEST(IirCorrector, ChannelsKeepTheirOwnState) {
    dsp::IirCorrector stereo = makeCorrector(44100, 25);
    dsp::IirCorrector mono = makeCorrector(44100, 25);
    for (int i = 0; i < 100; ++i) {
        double left = std::sin(i * 0.1), right = (i % 7) - 3.0;
        double expectedLeft = dsp::process(mono, 0, left);
        EXPECT_EQ(expectedLeft, dsp::process(stereo, 0, left));
        dsp::process(stereo, 1, right);
    }
}

TEST(IirCorrector, ConfigureKeepsStateAndResetClearsIt) {
    dsp::IirCorrector c = makeCorrector(44100, 25);
    dsp::process(c, 0, 1.0);
    dsp::process(c, 1, -1.0);
    double bass = c.bassState[0];
    dsp::configure(c, 48000, 10);
    EXPECT_EQ(bass, c.bassState[0]);
    dsp::reset(c);
    for (int ch = 0; ch < dsp::MAX_CHANNELS; ++ch) {
        EXPECT_EQ(0.0, c.bassState[ch]);
        EXPECT_EQ(0.0, c.highPassState[ch]);
    }
    for (int i = 0; i < 10; ++i) EXPECT_EQ(0.0, dsp::process(c, 0, 0.0));
}

}  // namespace
