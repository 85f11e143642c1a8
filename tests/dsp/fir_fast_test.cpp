// The fast closed form of the FIR sums: its proven error bound holds on long
// material, the settled sums give exactly the samples of the exact ones, and
// the truncation test decides only where the integer is certain.
#include "dsp/fir_fast.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "dsp/fir_corrector.h"

namespace {

// A kernel and its fast form, built as the programs build them.
struct Built {
    std::vector<double> kernel, powers;
    dsp::FirCorrector corrector;
    dsp::FastFir fast;
    bool usable;

    Built(std::int32_t n, double effect, double gain, double rate, double inputBound)
        : kernel(2 * static_cast<std::size_t>(n) + 1), powers(dsp::fastFirTableLength(n)), corrector{n, kernel.data()} {
        dsp::fillKernel(corrector, effect, gain, rate);
        usable = dsp::prepareFastFir(&fast, powers.data(), corrector, effect, gain, rate, inputBound);
    }
};

// `count` values within +-bound with N positions of context on each side,
// exactly as many as the sums may read: music-like tones whose level swells
// up to the bound, with noise, full-scale impulses and silent stretches.
std::vector<double> material(std::size_t count, std::int32_t n, double bound, std::uint32_t seed) {
    std::vector<double> w(count + 2 * static_cast<std::size_t>(n));
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    for (std::size_t i = 0; i < w.size(); ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        const double level = 0.5 + 0.5 * std::sin(2 * M_PI * 0.3 * t);
        double x = level * (0.5 * std::sin(2 * M_PI * 50 * t) + 0.3 * std::sin(2 * M_PI * 440 * t) + 0.2 * noise(random));
        if (i % 20000 < 500) x = 0.0;
        if (i % 7919 == 0) x = 1.0;
        w[i] = std::fmax(-bound, std::fmin(bound, x * bound));
    }
    return w;
}

struct BoundCase {
    std::int32_t quality;
    double rate, effect, gain, inputBound;
};

TEST(FastFirTest, ErrorStaysWithinTheProvenBoundOnLongMaterial) {
    const BoundCase cases[] = {{100, 44100, 100, 100, 2.0},   {300, 44100, 400, 400, 2.0}, {100, 48000, -100, -100, 2.0},
                               {300, 8000, 100, 200, 2.0},     {100, 44100, 0, 300, 2.0},   {100, 48000, 100, 100, 1.0},
                               {25, 96000, 250, 50, 1.0},      {100, 44100, 1e300, 100, 0x1p-900}};
    for (const BoundCase& c : cases) {
        const auto n = static_cast<std::int32_t>(static_cast<std::uint32_t>(c.quality) * static_cast<std::uint32_t>(c.rate) / 5000u);
        const Built built(n, c.effect, c.gain, c.rate, c.inputBound);
        ASSERT_TRUE(built.usable) << n;
        const std::size_t count = 1 << 17;
        const std::vector<double> w = material(count, n, c.inputBound, static_cast<std::uint32_t>(n));
        std::vector<double> fast(count), vector(count), exact(count), scratch(dsp::fastFirScratchLength(n));
        dsp::fastConvolveRun(built.fast, w.data(), n, count, fast.data(), nullptr);
        dsp::fastConvolveRun(built.fast, w.data(), n, count, vector.data(), scratch.data());
        EXPECT_EQ(0, std::memcmp(fast.data(), vector.data(), count * sizeof(double))) << "vector lanes differ";
        dsp::convolveRun(built.corrector, w.data(), n, count, exact.data());
        double largest = 0.0;
        for (std::size_t i = 0; i < count; ++i) largest = std::fmax(largest, std::fabs(fast[i] - exact[i]));
        EXPECT_LE(largest, built.fast.errorBound) << "N = " << n;
        EXPECT_GT(largest, 0.0) << "N = " << n;  // the forms do differ: the bound is what joins them
        std::printf("N = %5d effect %4g gain %4g |w| <= %g: largest |fast - exact| %.3g, bound %.3g (%.0f times)\n",
                    n, c.effect, c.gain, c.inputBound, largest, built.fast.errorBound,
                    built.fast.errorBound / largest);
    }
}

// Runs the fast sums, decides the 16-bit samples and settles the rest;
// expects every sample to be the exact sum's and returns the share of
// samples computed exactly.
double settledShare(const Built& built, const std::vector<double>& w, std::size_t count) {
    const std::int32_t n = built.corrector.halfLength;
    std::vector<double> sums(count), exact(count), low(count), high(count);
    dsp::fastConvolveRun(built.fast, w.data(), n, count, sums.data(), nullptr);
    for (std::size_t i = 0; i < count; ++i) {
        low[i] = (sums[i] - built.fast.errorBound) * 32768.0;
        high[i] = (sums[i] + built.fast.errorBound) * 32768.0;
    }
    std::vector<unsigned char> undecided(count);
    dsp::markUndecided(low.data(), high.data(), count, undecided.data());
    std::size_t marked = 0;
    for (unsigned char u : undecided) marked += u;
    EXPECT_EQ(marked, dsp::countUndecided(low.data(), high.data(), count));
    EXPECT_EQ(marked, dsp::countUndecidedScaled(sums.data(), built.fast.errorBound, 32768.0, count));
    const std::size_t settled =
        dsp::settleUndecided(built.corrector, w.data(), n, count, undecided.data(), sums.data());
    EXPECT_GE(settled, marked);
    dsp::convolveRun(built.corrector, w.data(), n, count, exact.data());
    for (std::size_t i = 0; i < count; ++i)
        EXPECT_EQ(std::trunc(sums[i] * 32768.0), std::trunc(exact[i] * 32768.0)) << i;
    return static_cast<double>(settled) / static_cast<double>(count);
}

TEST(FastFirTest, SettledSumsGiveTheExactSamples) {
    const std::int32_t n = 882;
    const std::size_t count = 1 << 16;
    const Built music(n, 100, 100, 44100, 2.0);
    const double musicShare = settledShare(music, material(count, n, 2.0, 1), count);
    EXPECT_LT(musicShare, 0.001);

    // Integer plateaus with effect 0 and gain 200: nearly every exact sum is
    // a whole number of sample steps, which the fast form cannot decide.
    std::vector<double> plateaus(count + 2 * n);
    for (std::size_t i = 0; i < plateaus.size(); ++i) plateaus[i] = ((i / 8000) % 2 ? 1200.0 : -77.0) / 32768.0;
    const Built flat(n, 0, 200, 44100, 2.0);
    const double plateauShare = settledShare(flat, plateaus, count);
    EXPECT_GT(plateauShare, 0.5);
    std::printf("computed exactly: %.4f %% of music-like samples, %.1f %% of plateau samples\n", 100 * musicShare,
                100 * plateauShare);
}

TEST(FastFirTest, TruncationIsDecidedOnlyWhereItIsCertain) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Pair {
        double low, high;
        bool undecided;
    };
    const Pair pairs[] = {
        {0.3, 0.7, false},     {-0.5, 0.5, false},   {-0.99, 0.99, false},  {5.000001, 5.9, false},
        {-5.9, -5.000001, false}, {0.9, 1.1, true},  {0.5, 1.0, true},      {-1.1, -0.9, true},
        {-1.0, -0.5, true},    {-3.0, -3.0 + 1e-9, true}, {6.9, 6.9, false}, {1.1, 0.9, true},  // either order
        {2.2, 2.1, false},     {0x1p51, 0x1p51, true}, {-0x1p52, -0x1p52, true}, {nan, 0.5, true}, {0.5, nan, true},
        {1.0, 1.5, false},     {-1.5, -1.0, false},  {0x1p51 - 1, 0x1p51 - 1, false}, {-0.0, 0.0, false}};
    std::vector<double> lows, highs;
    std::size_t undecided = 0;
    for (const Pair& p : pairs) {
        unsigned char flag = 2;
        dsp::markUndecided(&p.low, &p.high, 1, &flag);
        EXPECT_EQ(flag, p.undecided ? 1 : 0) << p.low << " " << p.high;
        EXPECT_EQ(dsp::countUndecided(&p.low, &p.high, 1), p.undecided ? 1u : 0u) << p.low << " " << p.high;
        lows.push_back(p.low);
        highs.push_back(p.high);
        undecided += p.undecided ? 1 : 0;
    }
    // The same pairs side by side, as the vector lanes count them.
    EXPECT_EQ(dsp::countUndecided(lows.data(), highs.data(), lows.size()), undecided);
}

TEST(FastFirTest, PreparesOnlyKernelsWithAFiniteBound) {
    EXPECT_FALSE(Built(0, 100, 100, 44100, 2.0).usable);
    EXPECT_TRUE(Built(1, 100, 100, 44100, 2.0).usable);
    dsp::FastFir unused;  // refused before the kernel or the table is touched
    EXPECT_FALSE(dsp::prepareFastFir(&unused, nullptr, dsp::FirCorrector{dsp::FAST_FIR_MAX_HALF_LENGTH + 1, nullptr},
                                     100, 100, 44100, 2.0));
    EXPECT_FALSE(Built(882, 1e308, 1e308, 44100, 2.0).usable);  // the boost weight overflows
    const Built huge(882, 1e300, 100, 44100, 2.0);  // finite, but the bound decides no sample
    EXPECT_TRUE(!huge.usable || huge.fast.errorBound > 1e280);
    // Window values so small that the recursions' products underflow, by
    // amounts the boost weight multiplies past any bound the terms give: refused.
    EXPECT_FALSE(Built(882, 1e300, 100, 44100, 0x1p-1060).usable);
    EXPECT_FALSE(Built(882, 100, 100, 44100, 0x1p-901).usable);
    EXPECT_FALSE(Built(882, 100, 100, 44100, 0x1p101).usable);
}

}  // namespace
