#include "dsp/fir_corrector.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Relative comparison: the expected values carry 12 or more significant digits.
void expectClose(double expected, double actual, double relative = 1e-13) {
    EXPECT_NEAR(expected, actual, std::fabs(expected) * relative) << "expected " << expected;
}

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A kernel of 2N + 1 taps, filled.
std::vector<double> buildKernel(std::int32_t halfLength, double effect, double gain, double sampleRate) {
    std::vector<double> taps(2 * static_cast<std::size_t>(halfLength) + 1, 12345.0);
    dsp::FirCorrector corrector{halfLength, taps.data()};
    dsp::fillKernel(corrector, effect, gain, sampleRate);
    return taps;
}

double sumOf(const std::vector<double>& taps) {
    double sum = 0.0;
    for (double tap : taps) sum += tap;
    return sum;
}

TEST(FirKernel, FullSettingsAt44100) {
    const std::int32_t n = 882;  // quality 100: 100 x 44100 / 5000
    std::vector<double> k = buildKernel(n, 100, 100, 44100);
    ASSERT_EQ(1765u, k.size());
    expectClose(1.04846807922548, k[n]);
    expectClose(0.0483396775988865, k[n + 1]);
    expectClose(0.0483396775988865, k[n - 1]);
    expectClose(-0.000549194967457496, k[0]);
    expectClose(-0.000549194967457496, k[2 * n]);
    expectClose(29.7303969219910, sumOf(k));
    // The boost one tap beyond the edge, which every tap has lost: the end tap
    // is (exp(-882 T) S T - tail) - 1 / 1765.
    const double t = 100.0 / 44100, s = 25.0;
    const double tail = std::exp(-883 * t) * s * t;
    expectClose(0.00765469094018949, tail);
    expectClose(std::exp(-882 * t) * s * t - tail - 1.0 / 1765, k[0], 1e-11);
}

TEST(FirKernel, FullSettingsAt48000) {
    const std::int32_t n = 960;
    std::vector<double> k = buildKernel(n, 100, 100, 48000);
    ASSERT_EQ(1921u, k.size());
    expectClose(1.04452872798957, k[n]);
    expectClose(29.7279033224832, sumOf(k));
}

TEST(FirKernel, ThreeTapsAt5000) {
    std::vector<double> k = buildKernel(1, 100, 100, 5000);
    ASSERT_EQ(3u, k.size());
    expectClose(-0.323628716256117, k[0]);
    expectClose(0.686271947090505, k[1]);
    expectClose(-0.323628716256117, k[2]);
}

TEST(FirKernel, SingleTapIsAlmostSilent) {
    // 1 + T S - tail, minus the average over one tap: a small difference of
    // numbers near 1, so only about 12 digits survive.
    std::vector<double> k = buildKernel(0, 100, 100, 44100);
    ASSERT_EQ(1u, k.size());
    expectClose(0.000128401626592, k[0], 1e-11);
}

TEST(FirKernel, ZeroGainLeavesTheNegatedMovingAverage) {
    for (std::int32_t n : {0, 1, 7, 882}) {
        std::vector<double> k = buildKernel(n, 100, 0, 44100);
        const double average = 1.0 / (2 * n + 1);
        for (std::size_t i = 0; i < k.size(); ++i) ASSERT_EQ(-average, k[i]) << "N " << n << " tap " << i;
    }
}

TEST(FirKernel, ZeroEffectLeavesGainAtTheCentreAndTheAverageEverywhere) {
    const std::int32_t n = 441;
    std::vector<double> k = buildKernel(n, 0, 150, 44100);
    const double average = 1.0 / (2 * n + 1);
    EXPECT_NEAR(1.5 - average, k[n], 1e-15);
    for (std::int32_t i = 0; i < 2 * n + 1; ++i) {
        if (i == n) continue;
        ASSERT_EQ(-average, k[i]) << "tap " << i;
    }
}

TEST(FirKernel, SymmetricBitForBit) {
    struct Case {
        std::int32_t n;
        double effect, gain, rate;
    };
    for (const Case& c : {Case{1, 100, 100, 5000}, Case{882, 100, 100, 44100}, Case{2646, 100, 100, 44100},
                          Case{960, 37.5, 81, 48000}, Case{313, 250, 300, 11025}, Case{57, -40, -20, 8000}}) {
        std::vector<double> k = buildKernel(c.n, c.effect, c.gain, c.rate);
        for (std::int32_t d = 1; d <= c.n; ++d)
            ASSERT_TRUE(sameBits(k[c.n + d], k[c.n - d])) << "N " << c.n << " offset " << d;
    }
}

TEST(FirKernel, FollowsTheWrittenOutFormula) {
    // (gain / 100) (delta(k) + S T (exp(-|k| T) - exp(-(N + 1) T))) - 1 / (2N + 1)
    const std::int32_t n = 500;
    const double effect = 73, gain = 121, rate = 32000;
    std::vector<double> k = buildKernel(n, effect, gain, rate);
    const double t = 100 / rate, s = effect / 4;
    for (std::int32_t d = -n; d <= n; ++d) {
        const double boost = s * t * (std::exp(-std::abs(d) * t) - std::exp(-(n + 1) * t));
        const double expected = gain / 100 * ((d == 0 ? 1.0 : 0.0) + boost) - 1.0 / (2 * n + 1);
        ASSERT_NEAR(expected, k[n + d], 1e-14) << "offset " << d;
    }
}

TEST(FirKernel, WritesExactlyItsTaps) {
    std::vector<double> buffer(2 * 5 + 1 + 2, 7.0);
    dsp::FirCorrector corrector{5, buffer.data() + 1};
    dsp::fillKernel(corrector, 100, 100, 44100);
    EXPECT_EQ(7.0, buffer.front());
    EXPECT_EQ(7.0, buffer.back());
    dsp::FirCorrector negative{-3, buffer.data()};
    std::vector<double> before = buffer;
    dsp::fillKernel(negative, 100, 100, 44100);
    EXPECT_EQ(before, buffer);
}

// The console programs' rule: product and quotient in unsigned 32 bits.
TEST(FirHalfLength, WrappingProductAndQuotientInUnsigned32Bits) {
    EXPECT_EQ(882u, dsp::halfLengthWrapping32(100, 44100));
    EXPECT_EQ(960u, dsp::halfLengthWrapping32(100, 48000));
    EXPECT_EQ(0u, dsp::halfLengthWrapping32(0, 44100));
    EXPECT_EQ(0u, dsp::halfLengthWrapping32(1, 4999));
    EXPECT_EQ(262144u, dsp::halfLengthWrapping32(250, 5242880));
    EXPECT_EQ(262145u, dsp::halfLengthWrapping32(250, 5242900));
    EXPECT_EQ(0u, dsp::halfLengthWrapping32(300, 14316558));                            // 4294967400 wraps to 104
    EXPECT_EQ((4294967296u - 220500u) / 5000u, dsp::halfLengthWrapping32(-5, 44100));  // 858949
}

// The plug-in's rule: the exact product, truncated toward zero.
TEST(FirHalfLength, ExactProductTruncatedTowardZero) {
    EXPECT_EQ(dsp::halfLengthExact(100, 44100), 882);
    EXPECT_EQ(dsp::halfLengthExact(1, 4999), 0);
    EXPECT_EQ(dsp::halfLengthExact(-1, 44100), -8);
    EXPECT_EQ(dsp::halfLengthExact(INT32_MAX, INT32_MAX), 922337202826484LL);  // no 32-bit wrap
}

// The table form rebuilds the same taps without calling exp, for every rate
// and setting the streaming plug-ins use.
TEST(FirKernel, TableFormGivesTheSameBits) {
    for (double rate : {8000.0, 44100.0, 192000.0, 22050.5}) {
        const auto n = static_cast<std::int32_t>(300 * rate / 5000);
        std::vector<double> table(static_cast<std::size_t>(n) + 2);
        dsp::fillDecayTable(table.data(), n + 2, rate);
        for (double effect : {-100.0, 0.0, 37.5, 1000.0})
            for (std::int32_t half : {0, 1, n / 3, n}) {
                std::vector<double> expected = buildKernel(half, effect, 73.25, rate);
                std::vector<double> taps(expected.size(), -1.0);
                dsp::fillKernelFromTable(dsp::FirCorrector{half, taps.data()}, table.data(), effect, 73.25, rate);
                for (std::size_t i = 0; i < taps.size(); ++i) ASSERT_TRUE(sameBits(expected[i], taps[i])) << i;
            }
    }
}

}  // namespace
