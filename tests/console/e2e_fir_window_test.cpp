// The sliding window of qortafir, end to end: the refill schedule, full and
// final writes, progress before every refill, and impulses across every
// refill and write boundary coming out centred on their own frames.
#include <algorithm>
#include <cmath>
#include <map>

#include "dsp/fir_corrector.h"
#include "tests/console/e2e_fir_fixture.h"

namespace e2e {
namespace {

using testsupport::processingLine;
using testsupport::wavInfoLine;

constexpr std::size_t REFILL = 0x40000;     // the second refill comes before this frame
constexpr std::size_t HALF_BLOCK = 0x80000;  // frames per later refill and per full write

class FirWindow : public QortafirRun {
protected:
    // Long files run at quality 5 and 8000 Hz: N = 8, so the model's plain
    // convolution stays cheap while the kernel still reaches across every
    // boundary.
    const ReferenceSettings narrow = firSettings(5);
    const std::vector<std::string> narrowOptions = {"-q", "5"};

    // The progress text shown before the refills at `frames`.
    static std::string progressText(const std::vector<const char*>& shown) {
        std::string text;
        for (const char* value : shown) text += value + std::string(std::string(value).size(), '\r');
        return text;
    }
};

// Mono 8-bit noise around 128 at 8000 Hz, `frames` long.
Bytes longMono8(std::size_t frames, std::uint32_t seed) {
    Bytes data = testsupport::noiseBytes(frames, seed);
    for (std::uint8_t& b : data) b = static_cast<std::uint8_t>(128 + (static_cast<int>(b) - 128) / 4);
    return testsupport::pcmWav(1, 8000, 8, data);
}

TEST_F(FirWindow, UpTo0x40000FramesOneRefill) {
    for (std::size_t frames : {std::size_t{1000}, REFILL}) {
        SCOPED_TRACE(frames);
        const ReferenceResult r = expectProcessed(longMono8(frames, 3), narrow, narrowOptions);
        ASSERT_EQ(1u, r.progress.size());
        const std::string out = testsupport::normaliseElapsed(run({"-y", "-q", "5", "in.wav", "out.wav"}).out);
        EXPECT_NE(std::string::npos, out.find("sec\n" + progressText({"0.0%"}) + "\nelapse")) << out;
    }
}

TEST_F(FirWindow, OneFrameMoreRefillsAgainWithNothingLeftToRead) {
    // The second refill, before the last frame, only slides the window and
    // clears its upper half; the last frame's later taps read that silence.
    const ReferenceResult r = expectProcessed(longMono8(REFILL + 1, 4), narrow, narrowOptions);
    ASSERT_EQ(2u, r.progress.size());
    const std::string out = testsupport::normaliseElapsed(run({"-y", "-q", "5", "in.wav", "out.wav"}).out);
    EXPECT_NE(std::string::npos, out.find("sec\n" + progressText({"0.0%", "100.0%"}) + "\nelapse")) << out;
}

TEST_F(FirWindow, HalfABlockIsOneFullWriteAndNoMore) {
    // 16-bit stereo: the planes fill exactly once. A file size limit at the
    // exact length lets any further write fail loudly (where there are such
    // limits; elsewhere the length of the output shows it).
    const Bytes input =
        testsupport::pcmWav(2, 8000, 16, testsupport::sine16(HALF_BLOCK, 2, 8000, 55, 12000, 300));
    put("in.wav", input);
    const ReferenceResult expected = firModel(input, narrow);
#ifdef _WIN32
    const std::int64_t sizeLimit = -1;
#else
    const std::int64_t sizeLimit = static_cast<std::int64_t>(46 + HALF_BLOCK * 4);
#endif
    expectRun({"-q", "5", "in.wav", "out.wav"},
              head(narrow) + pairLines("in.wav", "out.wav") + testsupport::expectedFileText("in.wav", expected, true),
              "", sizeLimit);
    expectOutput("out.wav", expected);
    EXPECT_EQ(0u, testsupport::streamingText(expected, true).find(progressText({"0.0%", "50.0%"}) + "\nelapse"));
}

TEST_F(FirWindow, FailedFullWriteEndsTheFileAfterTheRefillsBeforeIt) {
    // The planes fill at frame 0x80000; the write of them runs into the
    // file size limit, and nothing follows the message.
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no limit on the size of a process's files";
#endif
    const Bytes input = longMono8(HALF_BLOCK + 10, 6);
    put("in.wav", input);
    const ReferenceResult expected = firModel(input, narrow);
    expectRun({"-q", "5", "in.wav", "out.wav"},
              head(narrow) + pairLines("in.wav", "out.wav") + processingLine("in.wav") + wavInfoLine(expected) +
                  progressText({"0.0%", "50.0%"}) + "ERROR! cannot write file\n",
              "", 46 + 1000);
    EXPECT_EQ(testsupport::cutOutput(expected.output, 1046, 1), get("out.wav"));
}

TEST_F(FirWindow, LongFilesRefillEveryHalfBlock) {
    // Refills before frames 0, 0x40000, 0xC0000 and 0x140000; writes at
    // 0x80000, 0x100000 and at the end.
    const std::size_t frames = 0x140000 + 0x2345;
    const ReferenceResult r = expectProcessed(longMono8(frames, 5), narrow, narrowOptions);
    ASSERT_EQ(4u, r.progress.size());
    const std::string out = testsupport::normaliseElapsed(run({"-y", "-q", "5", "in.wav", "out.wav"}).out);
    EXPECT_NE(std::string::npos, out.find("sec\n" + progressText({"0.0%", "19.9%", "59.6%", "99.3%"}) + "\nelapse"))
        << out;

    // 16-bit stereo with a partial frame at the end, which the last refill
    // drops; and hidden progress.
    Bytes data = testsupport::sine16(0x140000 + 0x80, 2, 8000, 45, 9000, -400);
    data.insert(data.end(), {0x11, 0x22});
    expectProcessed(testsupport::pcmWav(2, 8000, 16, data), narrow, {"-q", "5", "-n"}, false);
}

// Impulses on a silent 16-bit mono file whose samples sum to exactly 0, so
// that its DC offset is 0.0 and every other frame enters the kernel as 0.0.
// Each output frame is then the sum, in ascending position, of kernel tap
// times impulse over the impulses within N of it; every other frame is 0.
struct ImpulseFile {
    std::size_t frames;
    std::map<std::size_t, int> impulses;  // frame -> sample value

    Bytes wav(std::uint32_t rate) const {
        Bytes data(frames * 2, 0);
        for (const auto& [frame, value] : impulses) {
            data[2 * frame] = static_cast<std::uint8_t>(value & 0xFF);
            data[2 * frame + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
        }
        return testsupport::pcmWav(1, rate, 16, data);
    }

    // The output samples that the kernel gives, worked out from the
    // impulses alone.
    std::vector<std::int16_t> expected(const std::vector<double>& kernel) const {
        const std::int64_t n = static_cast<std::int64_t>(kernel.size() / 2);
        std::vector<std::int16_t> out(frames, 0);
        for (const auto& [frame, value] : impulses) {
            const std::int64_t first = std::max<std::int64_t>(0, static_cast<std::int64_t>(frame) - n);
            const std::int64_t last = std::min<std::int64_t>(static_cast<std::int64_t>(frames) - 1,
                                                             static_cast<std::int64_t>(frame) + n);
            for (std::int64_t f = first; f <= last; ++f) {
                double sum = 0.0;
                for (auto it = impulses.lower_bound(static_cast<std::size_t>(std::max<std::int64_t>(0, f - n)));
                     it != impulses.end() && static_cast<std::int64_t>(it->first) <= f + n; ++it)
                    sum += kernel[static_cast<std::size_t>(n + static_cast<std::int64_t>(it->first) - f)] *
                           (it->second * 0.000030517578125);
                out[static_cast<std::size_t>(f)] = static_cast<std::int16_t>(std::trunc(sum * 32768.0));
            }
        }
        return out;
    }
};

// Impulses of alternating sign at `frames`, plus one that balances the sum.
ImpulseFile impulseFile(std::size_t total, const std::vector<std::size_t>& frames, std::size_t balanceAt) {
    ImpulseFile file{total, {}};
    int sum = 0;
    int sign = 1;
    for (std::size_t f : frames) {
        file.impulses[f] = 9000 * sign;
        sum += 9000 * sign;
        sign = -sign;
    }
    file.impulses[balanceAt] -= sum;
    return file;
}

std::vector<double> kernelFor(std::uint32_t halfLength, double rate) {
    std::vector<double> kernel(2 * halfLength + 1);
    dsp::fillKernel(dsp::FirCorrector{static_cast<std::int32_t>(halfLength), kernel.data()}, 100.0, 100.0, rate);
    return kernel;
}

std::vector<std::int16_t> samplesOf(const Bytes& wav) {
    std::vector<std::int16_t> samples;
    for (std::size_t i = 46; i + 1 < wav.size(); i += 2)
        samples.push_back(static_cast<std::int16_t>(wav[i] | (wav[i + 1] << 8)));
    return samples;
}

TEST_F(FirWindow, ImpulsesLandCentredAcrossEveryBoundary) {
    // N = 40 (quality 25 at 8000 Hz). Impulses at the start and the end, on
    // both sides of every refill boundary and every full write, and N away
    // from them, so that taps reach across each boundary from both sides.
    const std::uint32_t rate = 8000;
    const std::size_t n = 40;
    const std::size_t total = 0x180000 + 0x123;
    const std::size_t lone = 0x30000;
    std::vector<std::size_t> at = {0, 1, n - 1, n, lone, total - 1, total - 2, total - n, total - n - 1};
    for (std::size_t boundary : {REFILL, HALF_BLOCK, REFILL + HALF_BLOCK, 2 * HALF_BLOCK, REFILL + 2 * HALF_BLOCK,
                                 3 * HALF_BLOCK}) {
        for (std::size_t f : {boundary - n - 1, boundary - n, boundary - 1, boundary, boundary + 1, boundary + n,
                              boundary + n + 1})
            at.push_back(f);
    }
    const ImpulseFile file = impulseFile(total, at, 0x20000);
    const Bytes input = file.wav(rate);
    put("in.wav", input);
    const ReferenceResult model = firModel(input, firSettings(25));
    ASSERT_EQ(testsupport::ReferenceOutcome::Processed, model.outcome);
    ASSERT_EQ(0.0, model.dcOffset[0]);
    expectRun({"-q", "25", "in.wav", "out.wav"},
              head(25) + pairLines("in.wav", "out.wav") + testsupport::expectedFileText("in.wav", model, true));
    const Bytes out = get("out.wav");
    expectOutput("out.wav", model);

    // The same from the impulses alone, frame by frame.
    const std::vector<double> kernel = kernelFor(n, rate);
    const std::vector<std::int16_t> expected = file.expected(kernel);
    const std::vector<std::int16_t> actual = samplesOf(out);
    ASSERT_EQ(expected.size(), actual.size());
    std::size_t wrong = 0;
    for (std::size_t f = 0; f < total; ++f) {
        if (expected[f] != actual[f] && ++wrong <= 10) ADD_FAILURE() << "frame " << f << ": " << actual[f]
                                                                     << " instead of " << expected[f];
    }
    EXPECT_EQ(0u, wrong);
    // An isolated impulse comes out as the kernel centred on it.
    const double height = file.impulses.at(lone) * 0.000030517578125;
    for (std::size_t k = 0; k <= 2 * n; ++k)
        EXPECT_EQ(static_cast<std::int16_t>(std::trunc(kernel[k] * height * 32768.0)), actual[lone - n + k]);
}

}  // namespace
}  // namespace e2e
