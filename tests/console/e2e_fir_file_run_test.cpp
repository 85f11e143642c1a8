// One file through qortafir, end to end: sample formats, the settings that
// enter the kernel, the range of the quality, the fade order, short and
// empty files and failed writes.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "dsp/fir_corrector.h"
#include "tests/console/e2e_fir_fixture.h"

namespace e2e {
namespace {

using testsupport::expectedFileText;
using testsupport::processingLine;
using testsupport::wavInfoLine;

class FirFileRun : public QortafirRun {};

std::int16_t sample16(const Bytes& wav, std::size_t index) {
    return static_cast<std::int16_t>(wav[46 + 2 * index] | (wav[47 + 2 * index] << 8));
}

TEST_F(FirFileRun, EightAndSixteenBitMonoAndStereoMatchTheModel) {
    expectProcessed(stereo16File(1, 3000, 44100), ReferenceSettings(), {});
    expectProcessed(testsupport::pcmWav(1, 48000, 16, testsupport::sine16(4000, 1, 48000, 50, 20000, -900)),
                    firSettings(20), {"-q", "20"});
    expectProcessed(mono8File(1, 3000, 11025), ReferenceSettings(), {});
    expectProcessed(testsupport::pcmWav(2, 22050, 8, testsupport::sine8(4000, 2, 22050, 40, 90, -5)),
                    firSettings(50), {"-q", "50"});
    // Loud noise clips on both sides in both widths.
    const ReferenceResult loud =
        expectProcessed(testsupport::pcmWav(2, 8000, 16, testsupport::noiseBytes(8000, 1)), ReferenceSettings(), {});
    EXPECT_GT(loud.clipPeak, 1.0);
    const ReferenceResult loud8 =
        expectProcessed(testsupport::pcmWav(1, 8000, 8, testsupport::noiseBytes(3001, 2)), ReferenceSettings(), {});
    EXPECT_GT(loud8.clipPeak, 1.0);
}

TEST_F(FirFileRun, SettingsEnterTheKernel) {
    const Bytes input = stereo16File(2, 6000, 8000);
    for (const ReferenceSettings& s : {firSettings(100, 0), firSettings(100, -60), firSettings(300, 37.3, 55.5),
                                       firSettings(1, 250, 120), firSettings(100, 100, 0)}) {
        SCOPED_TRACE(::testing::PrintToString(firOptions(s)));
        expectProcessed(input, s, firOptions(s));
    }
}

TEST_F(FirFileRun, ZeroGainGivesTheNegatedMovingAverage) {
    // Every tap is -1 / (2N + 1): where the whole kernel lies inside one
    // level of a square wave, the output is that level negated (give or
    // take the last step that the rounded taps lose).
    Bytes data;
    for (int i = 0; i < 400; ++i) testsupport::appendU16(data, static_cast<std::uint16_t>(i < 200 ? 1000 : -1000));
    const Bytes input = testsupport::pcmWav(1, 8000, 16, data);
    const ReferenceSettings s = firSettings(10, 100, 0);  // N = 16
    expectProcessed(input, s, firOptions(s));
    const Bytes out = get("out.wav");
    EXPECT_LE(std::abs(sample16(out, 100) + 1000), 1);
    EXPECT_LE(std::abs(sample16(out, 300) - 1000), 1);
    EXPECT_EQ(0, sample16(out, 199) + sample16(out, 200));
}

TEST_F(FirFileRun, QualityZeroIsASingleAlmostSilentTap) {
    const Bytes input = stereo16File(3, 3000, 44100);
    const ReferenceSettings s = firSettings(0);
    const ReferenceResult expected = expectProcessed(input, s, {"-q", "0"});
    EXPECT_EQ(0u, expected.halfLength);
    // The tap is about 0.000128: a full-scale input comes out within one step.
    const Bytes out = get("out.wav");
    for (std::size_t i = 0; i < 6000; ++i) ASSERT_LE(std::abs(sample16(out, i)), 4) << i;
    EXPECT_NE(std::count(out.begin() + 46, out.end(), 0), static_cast<std::ptrdiff_t>(out.size() - 46));
}

TEST_F(FirFileRun, HalfLengthUpToTheWindowIsTakenBeyondItRefused) {
    // 250 x 5242880 / 5000 = 0x40000 exactly: the longest kernel the window
    // holds, every tap of a short file reaching into the silence around it.
    const Bytes data = testsupport::sine8(50, 1, 50, 3, 90, 0);
    const Bytes widest = testsupport::pcmWav(1, 5242880, 8, data);
    const ReferenceResult taken = expectProcessed(widest, firSettings(250), {"-q", "250"});
    EXPECT_EQ(0x40000u, taken.halfLength);

    // One hertz more is N = 0x40000 still; 20 Hz more is 0x40001.
    const Bytes beyond = testsupport::pcmWav(1, 5242900, 8, data);
    const ReferenceResult refused = firModel(beyond, firSettings(250));
    ASSERT_EQ(testsupport::ReferenceOutcome::QualityOutOfRange, refused.outcome);
    EXPECT_EQ(0x40001u, refused.halfLength);
    put("in.wav", beyond);
    std::remove(path("out.wav").c_str());
    expectRun({"-q", "250", "in.wav", "out.wav"}, head(250) + pairLines("in.wav", "out.wav") +
                                                      processingLine("in.wav") + wavInfoLine(refused) +
                                                      "ERROR! quality out of range\n");
    EXPECT_FALSE(exists("out.wav"));

    // The product counts in full where it passes 32 bits: 300 x 14316558
    // is N = 858993 (not 0, as it would be modulo 2^32), refused.
    const Bytes wide = testsupport::pcmWav(1, 14316558, 8, data);
    const ReferenceResult wideRefused = firModel(wide, firSettings(300));
    ASSERT_EQ(testsupport::ReferenceOutcome::QualityOutOfRange, wideRefused.outcome);
    EXPECT_EQ(858993u, wideRefused.halfLength);
    put("in.wav", wide);
    expectRun({"-q", "300", "in.wav", "out.wav"}, head(300) + pairLines("in.wav", "out.wav") +
                                                      processingLine("in.wav") + wavInfoLine(wideRefused) +
                                                      "ERROR! quality out of range\n");
    EXPECT_FALSE(exists("out.wav"));
}

// The corrected sum of frame n of a 16-bit mono file, before the fades, for
// the kernel of `halfLength` and `gain`, computed as the driver feeds the
// corrector: DC removed with the reciprocal of the frame count, silence
// around the file.
struct MonoSignal {
    std::vector<double> padded;  // the samples with halfLength zeros on each side
    std::int32_t halfLength;
    double rate;

    double sumAt(std::size_t n, double gain) const {
        std::vector<double> kernel(2 * static_cast<std::size_t>(halfLength) + 1);
        const dsp::FirCorrector corrector{halfLength, kernel.data()};
        dsp::fillKernel(corrector, 100.0, gain, rate);
        return dsp::convolveAt(corrector, padded.data(), halfLength + static_cast<std::ptrdiff_t>(n));
    }
};

MonoSignal monoSignal(const Bytes& data, std::int32_t halfLength, double rate) {
    const std::size_t frames = data.size() / 2;
    auto at = [&](std::size_t i) { return static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8)); };
    double sum = 0.0;
    for (std::size_t i = 0; i < frames; ++i) sum += at(i);
    const double dc = sum * (1.0 / static_cast<double>(frames));
    MonoSignal signal{std::vector<double>(frames + 2 * halfLength, 0.0), halfLength, rate};
    for (std::size_t i = 0; i < frames; ++i) signal.padded[halfLength + i] = (at(i) - dc) * 0.000030517578125;
    return signal;
}

// The output value of sum y with fade-out fo and fade-in fi, grouped as
// `order` says: 0 is the program's (fo x y) x fi; the others are groupings
// that a faster or tidier form might use instead.
constexpr int OTHER_ORDERS = 2;

double faded(double y, double fo, double fi, int order) {
    switch (order) {
        case 0: return (fo * y) * fi;
        case 1: return fo * (y * fi);
        default: return (fo * fi) * y;
    }
}

TEST_F(FirFileRun, FadesAreAppliedInTheirWrittenOrder) {
    // Gains that put one frame's output on a truncation boundary, chosen so
    // that each other grouping of the fades writes a different sample in at
    // least one run. Both fades are longer than the file, so both factors
    // take part in every frame.
    const double rate = 8000;
    const std::size_t total = 1999;
    const std::int32_t halfLength = 8;  // quality 5
    const Bytes data = testsupport::sine16(total, 1, rate, 130, 3000, 20000);
    const Bytes input = testsupport::pcmWav(1, 8000, 16, data);
    const MonoSignal signal = monoSignal(data, halfLength, rate);

    struct Choice {
        std::size_t frame;
        double gain;
    };
    std::vector<Choice> choices;
    bool caught[OTHER_ORDERS + 1] = {true};
    for (std::size_t n = 40; n < total && choices.size() < 6; n += 53) {
        const double fi = std::min(1.0, ((static_cast<double>(n) / 300) * 1000.0) / rate);
        const double fo = std::min(1.0, ((static_cast<double>(total - n) / 300) * 1000.0) / rate);
        // The sum is close to affine in the gain; walk from the estimate to
        // the exact boundary one representable gain at a time.
        const double y0 = signal.sumAt(n, 0.0), slope = (signal.sumAt(n, 200.0) - y0) / 200.0;
        auto value = [&](double g) { return faded(signal.sumAt(n, g), fo, fi, 0) * 32768.0; };
        if (!(slope * fo * fi * 32768.0 > 1.0)) continue;
        for (double k = 300; k < 340 && choices.size() < 6; ++k) {
            double g = (k / 32768.0 / (fo * fi) - y0) / slope;
            for (int i = 0; i < 4096 && value(g) >= k; ++i) g = std::nextafter(g, -HUGE_VAL);
            for (int i = 0; i < 4096 && value(g) < k; ++i) g = std::nextafter(g, HUGE_VAL);
            for (double candidate : {g, std::nextafter(g, -HUGE_VAL)}) {
                const double y = signal.sumAt(n, candidate);
                bool catchesMore = false;
                for (int order = 1; order <= OTHER_ORDERS; ++order) {
                    if (!caught[order] && std::trunc(faded(y, fo, fi, order) * 32768.0) !=
                                              std::trunc(faded(y, fo, fi, 0) * 32768.0)) {
                        caught[order] = catchesMore = true;
                    }
                }
                if (catchesMore) choices.push_back({n, candidate});
            }
        }
    }
    for (int order = 1; order <= OTHER_ORDERS; ++order)
        ASSERT_TRUE(caught[order]) << "no gain separates order " << order;

    for (const Choice& c : choices) {
        char gain[64];
        std::snprintf(gain, sizeof gain, "%.17g", c.gain);
        SCOPED_TRACE(::testing::Message() << "frame " << c.frame << " gain " << gain);
        ASSERT_EQ(c.gain, std::strtod(gain, nullptr));
        const ReferenceSettings s = firSettings(5, 100, c.gain, 300, 300);
        expectProcessed(input, s, firOptions(s), true);
        const double fi = ((static_cast<double>(c.frame) / 300) * 1000.0) / rate;
        const double fo = ((static_cast<double>(total - c.frame) / 300) * 1000.0) / rate;
        EXPECT_EQ(std::trunc(((fo * signal.sumAt(c.frame, c.gain)) * fi) * 32768.0), sample16(get("out.wav"), c.frame));
    }
}

TEST_F(FirFileRun, FadesMatchTheModelInBothWidths) {
    const Bytes input = stereo16File(4, 9000, 8000);
    for (const ReferenceSettings& s : {firSettings(100, 100, 100, 1000, 1000), firSettings(20, 80, 90, 5000, 3000),
                                       firSettings(100, 100, 100, 7, 0), firSettings(100, 100, 100, 0, 333)}) {
        SCOPED_TRACE(::testing::PrintToString(firOptions(s)));
        expectProcessed(input, s, firOptions(s));
    }
    const ReferenceSettings s = firSettings(40, 250, 120, 50, 250);
    std::vector<std::string> hidden = firOptions(s);
    hidden.push_back("-n");
    expectProcessed(mono8File(3, 4000, 8000), s, hidden, false);
    // The first frame of a fade-in is silence.
    const Bytes out = get("out.wav");
    EXPECT_EQ(128, out[46]);
}

TEST_F(FirFileRun, FileShorterThanTheKernelReadsSilenceAroundIt) {
    // N = 160 at quality 100 and 8000 Hz; 100 frames.
    expectProcessed(stereo16File(5, 100, 8000), ReferenceSettings(), {});
    expectProcessed(mono8File(5, 7, 8000), ReferenceSettings(), {});
    // A single frame: its DC offset is its own value, so it comes out silent.
    const ReferenceResult single = expectProcessed(testsupport::pcmWav(2, 8000, 16, {0x10, 0x27, 0xF0, 0xD8}),
                                                   ReferenceSettings(), {});
    EXPECT_EQ(50u, single.output.size());
}

TEST_F(FirFileRun, EmptyDataChunkWritesAnEmptyFileWithoutProgress) {
    const Bytes input = testsupport::pcmWav(2, 44100, 16, {});
    put("in.wav", input);
    expectRun({"in.wav", "out.wav"}, head() + pairLines("in.wav", "out.wav") + processingLine("in.wav") +
                                         "wav info: 16bit 44100Hz 2ch 0min 0.00sec\n\nelapse M:SS\n");
    EXPECT_EQ(firModel(input).output, get("out.wav"));
    EXPECT_EQ(46u, get("out.wav").size());
}

TEST_F(FirFileRun, PartialLastFrameCountsForTheDcOffsetButIsNotWritten) {
    const Bytes data = testsupport::sine16(400, 2, 8000, 100, 3000, 0);
    for (const Bytes& tail : {Bytes{0x30, 0x75}, Bytes{0x30, 0x75, 0x7F}}) {
        Bytes partial = data;
        partial.insert(partial.end(), tail.begin(), tail.end());
        expectProcessed(testsupport::pcmWav(2, 8000, 16, partial), ReferenceSettings(), {});
        EXPECT_EQ(46u + data.size(), get("out.wav").size());
    }
    Bytes data8 = testsupport::sine8(300, 2, 8000, 100, 50, 0);
    data8.push_back(250);
    expectProcessed(testsupport::pcmWav(2, 8000, 8, data8), ReferenceSettings(), {});
    EXPECT_EQ(46u + 600u, get("out.wav").size());
}

TEST_F(FirFileRun, HiddenProgressKeepsTheLineBreak) {
    const Bytes input = stereo16File(1, 2000, 8000);
    expectProcessed(input, ReferenceSettings(), {"-n"}, false);
    EXPECT_EQ(std::string::npos, run({"-n", "-y", "in.wav", "out.wav"}).out.find('\r'));
}

TEST_F(FirFileRun, FailedFinalWriteLeavesWhatWasWritten) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no limit on the size of a process's files";
#endif
    const Bytes input = stereo16File(1, 3000, 8000);
    put("in.wav", input);
    const ReferenceResult expected = firModel(input);
    expectRun({"in.wav", "out.wav"},
              head() + pairLines("in.wav", "out.wav") + processingLine("in.wav") + wavInfoLine(expected) +
                  "0.0%\r\r\r\rERROR! cannot write file\n",
              "", 1046);
    EXPECT_EQ(testsupport::cutOutput(expected.output, 1046, 4), get("out.wav"));
}

}  // namespace
}  // namespace e2e
