#include "dsp/fir_convolve.h"
#include "dsp/fir_corrector.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

const double GUARD = std::numeric_limits<double>::quiet_NaN();

// Values chosen so that any change in how products are rounded or summed
// shows: signed zeros, subnormals, powers of two far apart (whose sums depend
// on the order), ordinary audio, and with `wild` huge values whose products
// overflow to infinities and whose sums then give NaN.
class ValueSource {
public:
    explicit ValueSource(std::uint32_t seed) : random_(seed) {}

    double next(bool wild) {
        const unsigned kind = random_() % 64;
        const double sign = random_() % 2 ? -1.0 : 1.0;
        const double unit = static_cast<double>(random_() % 1000000 + 1) / 1000000.0;
        if (kind < 6) return sign * 0.0;
        if (kind < 12) return sign * unit * 2.2e-308 * 0.5;  // subnormal
        if (kind < 30) return sign * std::ldexp(1.0, static_cast<int>(random_() % 121) - 60);
        if (kind < 45) return sign * std::ldexp(unit, static_cast<int>(random_() % 61) - 30);
        if (wild && kind == 63) return sign * unit * 1e306;
        return sign * unit;
    }

    std::vector<double> values(std::size_t count, bool wild) {
        std::vector<double> out(count);
        for (double& value : out) value = next(wild);
        return out;
    }

private:
    std::mt19937 random_;
};

// A window whose readable part is `values`, at `shift` doubles past an
// allocation boundary (so vector loads are unaligned), with NaN guards on
// both sides: a read outside the allowed range turns an output into NaN.
struct GuardedWindow {
    std::vector<double> storage;
    const double* start;  // values[0]

    GuardedWindow(const std::vector<double>& values, std::size_t shift) {
        storage.assign(shift + 3 + values.size() + 3, GUARD);
        std::copy(values.begin(), values.end(), storage.begin() + static_cast<std::ptrdiff_t>(shift + 3));
        start = storage.data() + shift + 3;
    }
};

// Runs `path` over `count` outputs whose centres begin at position N of a
// window holding exactly the samples they need, and compares every output
// bit for bit with convolveAt. `reference` holds convolveAt for `count` or
// more outputs.
testing::AssertionResult matchesReference(dsp::ConvolvePath path, const dsp::FirCorrector& corrector,
                                          const GuardedWindow& window, const std::vector<double>& reference,
                                          std::size_t count, std::size_t outShift) {
    const std::size_t guard = 5;
    std::vector<double> out(outShift + count + guard, -7.5);
    double* const first = out.data() + outShift;
    if (!dsp::convolveRunWith(path, corrector, window.start, corrector.halfLength, count, first))
        return testing::AssertionFailure() << dsp::convolvePathName(path) << " refused to run";
    for (std::size_t i = 0; i < count; ++i)
        if (!sameBits(reference[i], first[i]))
            return testing::AssertionFailure()
                   << dsp::convolvePathName(path) << " N " << corrector.halfLength << " count " << count
                   << " output " << i << ": " << first[i] << " instead of " << reference[i];
    for (std::size_t i = 0; i < out.size(); ++i)
        if ((i < outShift || i >= outShift + count) && !sameBits(-7.5, out[i]))
            return testing::AssertionFailure() << dsp::convolvePathName(path) << " wrote outside its outputs at "
                                               << static_cast<std::ptrdiff_t>(i - outShift) << ", count " << count;
    return testing::AssertionSuccess();
}

std::vector<double> referenceRun(const dsp::FirCorrector& corrector, const double* window, std::size_t count) {
    std::vector<double> out(count);
    for (std::size_t i = 0; i < count; ++i)
        out[i] = dsp::convolveAt(corrector, window, corrector.halfLength + static_cast<std::ptrdiff_t>(i));
    return out;
}

std::vector<dsp::ConvolvePath> availablePaths() {
    std::vector<dsp::ConvolvePath> paths;
    for (int p = 0; p < dsp::CONVOLVE_PATH_COUNT; ++p)
        if (dsp::convolvePathAvailable(static_cast<dsp::ConvolvePath>(p)))
            paths.push_back(static_cast<dsp::ConvolvePath>(p));
    return paths;
}

// Widest block of any path: 8 accumulators of 8 lanes.
constexpr std::size_t WIDEST_BLOCK = 64;

TEST(FirConvolveAt, AddsInAscendingOrderFromPositiveZero) {
    // Ascending: (0 + 1) + 2^53 rounds back to 2^53, and - 2^53 leaves 0.
    // Any other order, or a pairwise split, keeps the 1.
    const double big = std::ldexp(1.0, 53);
    double taps[3] = {1.0, 1.0, 1.0};
    const double window[5] = {9.0, 1.0, big, -big, 9.0};
    dsp::FirCorrector corrector{1, taps};
    EXPECT_EQ(0.0, dsp::convolveAt(corrector, window, 2));
    // A sum of negative zeros is +0.0 because the sum starts at +0.0.
    const double zeros[3] = {-0.0, -0.0, -0.0};
    double out[1] = {1.0};
    EXPECT_FALSE(std::signbit(dsp::convolveAt(corrector, zeros, 1)));
    dsp::convolveRun(corrector, zeros, 1, 1, out);
    EXPECT_FALSE(std::signbit(out[0]));
}

TEST(FirConvolveAt, WeighsEachOffsetWithItsOwnTap) {
    double taps[5] = {1.0, 10.0, 100.0, 1000.0, 10000.0};  // kernel[N + m] weighs window[centre + m]
    const double window[7] = {5.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0};
    dsp::FirCorrector corrector{2, taps};
    EXPECT_EQ(54321.0, dsp::convolveAt(corrector, window, 3));
    EXPECT_EQ(65432.0, dsp::convolveAt(corrector, window, 4));
    double out[2];
    dsp::convolveRun(corrector, window, 3, 2, out);
    EXPECT_EQ(54321.0, out[0]);
    EXPECT_EQ(65432.0, out[1]);
}

TEST(FirConvolvePaths, GenericAndBestAreAlwaysAvailable) {
    EXPECT_TRUE(dsp::convolvePathAvailable(dsp::CONVOLVE_GENERIC));
    const dsp::ConvolvePath best = dsp::bestConvolvePath();
    EXPECT_TRUE(dsp::convolvePathAvailable(best));
    for (int p = best + 1; p < dsp::CONVOLVE_PATH_COUNT; ++p)
        EXPECT_FALSE(dsp::convolvePathAvailable(static_cast<dsp::ConvolvePath>(p)));
#if defined(__x86_64__)
    EXPECT_TRUE(dsp::convolvePathAvailable(dsp::CONVOLVE_SSE2));
#endif
    std::string names;
    for (dsp::ConvolvePath path : availablePaths()) names += std::string(dsp::convolvePathName(path)) + " ";
    std::printf("convolution paths on this machine: %s\n", names.c_str());
}

TEST(FirConvolvePaths, UnknownPathIsRefusedWithoutWriting) {
    double taps[1] = {1.0};
    const double window[1] = {2.0};
    double out[1] = {3.0};
    dsp::FirCorrector corrector{0, taps};
    EXPECT_FALSE(dsp::convolvePathAvailable(static_cast<dsp::ConvolvePath>(dsp::CONVOLVE_PATH_COUNT)));
    EXPECT_FALSE(dsp::convolveRunWith(static_cast<dsp::ConvolvePath>(dsp::CONVOLVE_PATH_COUNT), corrector, window,
                                      0, 1, out));
    EXPECT_EQ(3.0, out[0]);
    EXPECT_STREQ("unknown", dsp::convolvePathName(static_cast<dsp::ConvolvePath>(-1)));
}

TEST(FirConvolveRun, NegativeHalfLengthGivesSilence) {
    double out[3] = {1.0, 1.0, 1.0};
    const double window[1] = {1.0};
    dsp::FirCorrector corrector{-2, nullptr};
    EXPECT_EQ(0.0, dsp::convolveAt(corrector, window, 0));
    dsp::convolveRun(corrector, window, 0, 3, out);
    for (double value : out) EXPECT_TRUE(sameBits(0.0, value));
    dsp::convolveRun(corrector, nullptr, 0, 0, nullptr);  // nothing to do, nothing touched
}

// Every path against the reference, for every half-length up to 40 and every
// output count up to three widest blocks and a bit (every tail length of
// every path), with random kernels (not symmetric, so a reversed kernel
// shows) and unaligned windows and outputs.
TEST(FirConvolveRun, EveryPathMatchesTheReferenceForShortKernels) {
    const std::vector<dsp::ConvolvePath> paths = availablePaths();
    const std::size_t maxCount = 3 * WIDEST_BLOCK + 7;
    ValueSource source(20240611);
    for (std::int32_t n = 0; n <= 40; ++n) {
        const bool wild = n % 3 == 0;
        std::vector<double> taps = source.values(2 * static_cast<std::size_t>(n) + 1, false);
        const dsp::FirCorrector corrector{n, taps.data()};
        const GuardedWindow window(source.values(maxCount + 2 * static_cast<std::size_t>(n), wild), n % 8);
        const std::vector<double> reference = referenceRun(corrector, window.start, maxCount);
        for (dsp::ConvolvePath path : paths)
            for (std::size_t count = 0; count <= maxCount; ++count)
                ASSERT_TRUE(matchesReference(path, corrector, window, reference, count, (count + n) % 8));
    }
}

TEST(FirConvolveRun, EveryPathMatchesTheReferenceForLongKernels) {
    const std::vector<dsp::ConvolvePath> paths = availablePaths();
    const std::size_t counts[] = {1, 7, 8, 9, 31, 63, 64, 65, 100, 127, 128, 129, 191, 255, 1470};
    ValueSource source(77);
    struct Case {
        std::int32_t n;
        double rate;
    };
    for (const Case& c : {Case{882, 44100}, Case{2646, 44100}, Case{961, 0}}) {
        // Real kernels for the first two, a random one for the last.
        std::vector<double> taps(2 * static_cast<std::size_t>(c.n) + 1);
        dsp::FirCorrector corrector{c.n, taps.data()};
        if (c.rate > 0)
            dsp::fillKernel(corrector, 100, 100, c.rate);
        else
            taps = source.values(taps.size(), false), corrector.kernel = taps.data();
        const std::size_t maxCount = 1470;
        const GuardedWindow window(source.values(maxCount + 2 * static_cast<std::size_t>(c.n), false), 3);
        const std::vector<double> reference = referenceRun(corrector, window.start, maxCount);
        for (dsp::ConvolvePath path : paths)
            for (std::size_t count : counts)
                ASSERT_TRUE(matchesReference(path, corrector, window, reference, count, count % 8));
    }
}

// Runs of 256 outputs and more are computed in stages of 256 outputs by 256
// taps, the partial sums waiting in the output between stages: every path
// against the reference for kernels around one and two stages of taps and
// run lengths around whole stages, with unaligned windows and outputs.
TEST(FirConvolveRun, EveryPathMatchesTheReferenceAcrossStages) {
    const std::vector<dsp::ConvolvePath> paths = availablePaths();
    const std::size_t counts[] = {255, 256, 257, 263, 319, 320, 511, 512, 513, 775};
    ValueSource source(4096);
    for (std::int32_t n : {0, 1, 3, 4, 5, 127, 128, 255, 256, 300}) {
        std::vector<double> taps = source.values(2 * static_cast<std::size_t>(n) + 1, false);
        const dsp::FirCorrector corrector{n, taps.data()};
        const std::size_t maxCount = 775;
        const GuardedWindow window(source.values(maxCount + 2 * static_cast<std::size_t>(n), n % 5 == 0),
                                   static_cast<std::size_t>(n) % 8);
        const std::vector<double> reference = referenceRun(corrector, window.start, maxCount);
        for (dsp::ConvolvePath path : paths)
            for (std::size_t count : counts)
                ASSERT_TRUE(matchesReference(path, corrector, window, reference, count, (count + n) % 8));
    }
}

// The window and the output are allocations of exactly the size the run
// reads and writes, so that a sanitized build reports any access beyond
// them (the NaN guards of the other tests see only values that are used).
TEST(FirConvolveRun, EveryPathStaysInsideItsWindowAndOutput) {
    ValueSource source(99);
    for (std::int32_t n : {0, 2, 128, 300}) {
        std::vector<double> taps = source.values(2 * static_cast<std::size_t>(n) + 1, false);
        const dsp::FirCorrector corrector{n, taps.data()};
        for (std::size_t count : {1, 7, 64, 255, 256, 521}) {
            const std::vector<double> values = source.values(count + 2 * static_cast<std::size_t>(n), false);
            const std::unique_ptr<double[]> window(new double[values.size()]);
            std::copy(values.begin(), values.end(), window.get());
            const std::vector<double> reference = referenceRun(corrector, window.get(), count);
            for (dsp::ConvolvePath path : availablePaths()) {
                const std::unique_ptr<double[]> out(new double[count]);
                ASSERT_TRUE(dsp::convolveRunWith(path, corrector, window.get(), n, count, out.get()));
                ASSERT_EQ(0, std::memcmp(reference.data(), out.get(), count * sizeof(double)))
                    << dsp::convolvePathName(path) << " N " << n << " count " << count;
            }
        }
    }
}

TEST(FirConvolveRun, DispatchedRunMatchesTheReference) {
    ValueSource source(5);
    const std::int32_t n = 17;
    std::vector<double> taps = source.values(2 * n + 1, false);
    const dsp::FirCorrector corrector{n, taps.data()};
    const std::size_t count = 2 * WIDEST_BLOCK + 13;
    const GuardedWindow window(source.values(count + 2 * n, true), 1);
    const std::vector<double> reference = referenceRun(corrector, window.start, count);
    std::vector<double> out(count);
    dsp::convolveRun(corrector, window.start, n, count, out.data());
    EXPECT_EQ(0, std::memcmp(reference.data(), out.data(), count * sizeof(double)));
}

TEST(FirConvolveRun, AnImpulseComesOutAsTheKernelCentredOnIt) {
    const std::int32_t n = 882;
    std::vector<double> taps(2 * n + 1);
    const dsp::FirCorrector corrector{n, taps.data()};
    dsp::fillKernel(corrector, 100, 100, 44100);
    // Outputs from 10 before the kernel's reach to 10 after it.
    const std::ptrdiff_t impulse = 3 * n;
    std::vector<double> window(6 * n, 0.0);
    window[impulse] = 1.0;
    const std::ptrdiff_t firstCentre = impulse - n - 10;
    const std::size_t count = 2 * n + 21;
    for (dsp::ConvolvePath path : availablePaths()) {
        std::vector<double> out(count, -1.0);
        ASSERT_TRUE(dsp::convolveRunWith(path, corrector, window.data(), firstCentre, count, out.data()));
        for (std::size_t i = 0; i < count; ++i) {
            const std::ptrdiff_t offset = firstCentre + static_cast<std::ptrdiff_t>(i) - impulse;
            const double expected = std::abs(offset) <= n ? taps[n + offset] : 0.0;
            ASSERT_TRUE(sameBits(expected, out[i])) << dsp::convolvePathName(path) << " offset " << offset;
        }
    }
}

}  // namespace
