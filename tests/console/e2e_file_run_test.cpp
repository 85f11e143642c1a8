// One file through qortaiir, end to end: sample formats, settings, block
// boundaries, clipping, odd data chunks and every failure of a file run.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "dsp/iir_corrector.h"
#include "tests/console/e2e_fixture.h"

namespace e2e {
namespace {

using testsupport::expectedFileText;
using testsupport::processingLine;
using testsupport::WavLayout;
using testsupport::wavInfoLine;

constexpr std::size_t BLOCK = 0x100000;

class FileRun : public QortaiirRun {
protected:
    // Runs "qortaiir [options] in.wav out.wav" and expects the model's text
    // and output file.
    void expectProcessed(const Bytes& input, const ReferenceSettings& s, const std::vector<std::string>& options,
                         bool showProgress = true) {
        put("in.wav", input);
        std::remove(path("out.wav").c_str());
        const ReferenceResult expected = model(input, s);
        std::vector<std::string> args = options;
        args.push_back("in.wav");
        args.push_back("out.wav");
        expectRun(args, head(s) + pairLines("in.wav", "out.wav") + expectedFileText("in.wav", expected, showProgress));
        expectOutput("out.wav", expected);
    }

    // Runs "qortaiir in.wav out.wav" on a file that fails before any output
    // exists, expecting `failure` after the lines that `lead` ends with.
    void expectRefused(const Bytes& input, const std::string& lead, const std::string& failure) {
        put("in.wav", input);
        expectRun({"in.wav", "out.wav"}, head() + pairLines("in.wav", "out.wav") + processingLine("in.wav") + lead +
                                             failure);
        EXPECT_FALSE(exists("out.wav"));
    }
};

TEST_F(FileRun, EightAndSixteenBitMonoAndStereoMatchTheModel) {
    expectProcessed(stereo16File(1, 5000), ReferenceSettings(), {});
    expectProcessed(testsupport::pcmWav(1, 48000, 16, testsupport::sine16(5000, 1, 48000, 50, 20000, -900)),
                    ReferenceSettings(), {});
    expectProcessed(mono8File(1, 5000), ReferenceSettings(), {});
    expectProcessed(testsupport::pcmWav(2, 22050, 8, testsupport::sine8(5000, 2, 22050, 40, 90, -5)),
                    ReferenceSettings(), {});
    // Loud noise clips on both sides in both widths.
    expectProcessed(testsupport::pcmWav(2, 44100, 16, testsupport::noiseBytes(8000, 1)), ReferenceSettings(), {});
    expectProcessed(testsupport::pcmWav(1, 8000, 8, testsupport::noiseBytes(3001, 2)), ReferenceSettings(), {});
}

TEST_F(FileRun, SettingsEnterTheCorrectorAndTheOutputScale) {
    const Bytes input = stereo16File(2, 16000, 8000);
    expectProcessed(input, settings(0), {"-e", "0"});
    expectProcessed(input, settings(-60, 100), {"-e", "-60"});
    expectProcessed(input, settings(37.3, 55.5), {"-e", "37.3", "-g", "55.5"});
    expectProcessed(input, settings(100, 100, 1000, 1000), {"-i", "1000", "-o", "1000"}, true);
    // Fades longer than the file never reach full level.
    expectProcessed(input, settings(100, 100, 5000, 3000), {"-i", "5000", "-o", "3000", "-n"}, false);
    expectProcessed(mono8File(3, 9000, 8000), settings(250, 120, 7, 333), {"-e", "250", "-g", "120", "-i", "7",
                                                                           "-o", "333"});
}

TEST_F(FileRun, FadeInStartsAtSilence) {
    const Bytes input = testsupport::pcmWav(1, 1000, 16, testsupport::sine16(1000, 1, 1000, 50, 20000, 0));
    expectProcessed(input, settings(100, 100, 1000, 1000), {"-i", "1000", "-o", "1000"});
    Bytes out = get("out.wav");
    ASSERT_EQ(46u + 2000u, out.size());
    EXPECT_EQ(0, out[46]);
    EXPECT_EQ(0, out[47]);
}

TEST_F(FileRun, BlockBoundariesDoNotChangeTheResult) {
    // Exactly one block: one progress value.
    const Bytes one = testsupport::pcmWav(1, 44100, 8, testsupport::sine8(BLOCK, 1, 44100, 30, 100, 2));
    put("one.wav", one);
    const ReferenceResult oneExpected = model(one);
    testsupport::RunResult r = run({"one.wav", "one_out.wav"});
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_EQ(head() + pairLines("one.wav", "one_out.wav") + expectedFileText("one.wav", oneExpected, true),
              testsupport::normaliseElapsed(r.out));
    EXPECT_NE(std::string::npos, r.out.find("sec\n0.0%\r\r\r\r\n"));
    expectOutput("one_out.wav", oneExpected);

    // One frame more: a second block of one frame, its progress shown
    // rounded to 100.0.
    const Bytes two = testsupport::pcmWav(2, 44100, 16, testsupport::sine16(BLOCK + 1, 2, 44100, 35, 12000, 300));
    put("two.wav", two);
    const ReferenceResult twoExpected = model(two);
    r = run({"two.wav", "two_out.wav"});
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_EQ(head() + pairLines("two.wav", "two_out.wav") + expectedFileText("two.wav", twoExpected, true),
              testsupport::normaliseElapsed(r.out));
    EXPECT_NE(std::string::npos, r.out.find("sec\n0.0%\r\r\r\r100.0%\r\r\r\r\r\r\n"));
    expectOutput("two_out.wav", twoExpected);
}

// A mono file whose first sample is `first` and all others `rest`, and the
// gain that makes its first corrected value (with effect 0) land at
// `target`.
struct ClipCase {
    Bytes file;
    std::string gain;
};

ClipCase clipCase(int bits, int first, int rest, double target) {
    const int frames = 100;
    Bytes data;
    for (int i = 0; i < frames; ++i) {
        int s = i == 0 ? first : rest;
        if (bits == 16) testsupport::appendU16(data, static_cast<std::uint16_t>(static_cast<std::int16_t>(s)));
        else data.push_back(static_cast<std::uint8_t>(s));
    }
    const double dc = (first + static_cast<double>(rest) * (frames - 1)) * (1.0 / frames);
    const double x = (first - dc) * (bits == 16 ? 1.0 / 32768 : 1.0 / 128);
    dsp::IirCorrector c;
    dsp::reset(c);
    dsp::configure(c, 8000, 0.0);
    const double y = dsp::process(c, 0, x);
    char gain[64];
    std::snprintf(gain, sizeof gain, "%.17g", target / y * 100.0);
    return {testsupport::pcmWav(1, 8000, static_cast<std::uint16_t>(bits), data), gain};
}

TEST_F(FileRun, ClippingIsReportedWithTheOvershootOfItsSide) {
    struct Case {
        int bits, first, rest;
        double target;
        const char* warning;  // empty: no clipping
    };
    const Case cases[] = {
        {16, 20000, 0, 1.0 + 1.0 / 65536, "WARN! Cliped (100.00%)\n"},     // v = 32768
        {16, 20000, 0, 1.5 + 1.0 / 65536, "WARN! Cliped (150.00%)\n"},     // v = 49152
        {16, -20000, 0, -1.5 - 1.0 / 65536, "WARN! Cliped (150.00%)\n"},   // v = -49152
        {16, -20000, 0, -2.0 - 1.0 / 65536, "WARN! Cliped (200.00%)\n"},   // v = -65536: 65536 / 32768
        {16, -20000, 0, -1.0 - 1.0 / 131072, ""},                          // v = -32768 fits
        {8, 250, 128, 1.0 + 1.0 / 512, "WARN! Cliped (100.79%)\n"},        // v = -128, 255 written
        {8, 5, 128, -1.0 - 1.0 / 512, ""},                                  // v = 128, 0 written
        {8, 5, 128, -129.5 / 128, "WARN! Cliped (100.78%)\n"},             // v = 129
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.bits << " bit, target " << c.target);
        ClipCase clip = clipCase(c.bits, c.first, c.rest, c.target);
        put("in.wav", clip.file);
        std::remove(path("out.wav").c_str());
        const ReferenceResult expected = model(clip.file, settings(0, std::strtod(clip.gain.c_str(), nullptr)));
        const std::string text = expectedFileText("in.wav", expected, false);
        if (*c.warning != '\0') {
            EXPECT_NE(std::string::npos, text.find(c.warning)) << text;
        } else {
            EXPECT_EQ(std::string::npos, text.find("WARN!")) << text;
        }
        const int shownGain = static_cast<int>(std::strtod(clip.gain.c_str(), nullptr) + 0.5);
        expectRun({"-e", "0", "-g", clip.gain, "-n", "in.wav", "out.wav"},
                  head(0, shownGain) + pairLines("in.wav", "out.wav") + text);
        expectOutput("out.wav", expected);
        // The first sample is at the full scale of its side.
        Bytes out = get("out.wav");
        if (c.bits == 16) {
            int s = static_cast<std::int16_t>(out[46] | (out[47] << 8));
            EXPECT_EQ(c.target > 0 ? 32767 : -32768, s);
        } else {
            EXPECT_EQ(c.target > 0 ? 255 : 0, out[46]);
        }
    }
}

// The corrector output of every frame of a 16-bit mono file, before the
// output scale, computed the way the driver feeds the corrector.
std::vector<double> correctedFrames(const Bytes& data, double rate, double effect) {
    const std::size_t frames = data.size() / 2;
    double sum = 0.0;
    for (std::size_t i = 0; i < frames; ++i) sum += static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    const double dc = sum * (1.0 / static_cast<double>(frames));
    dsp::IirCorrector c;
    dsp::reset(c);
    dsp::configure(c, rate, effect * 0.25);
    std::vector<double> y;
    for (std::size_t i = 0; i < frames; ++i) {
        const int s = static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
        y.push_back(dsp::process(c, 0, (s - dc) * 0.000030517578125));
    }
    return y;
}

// The 16-bit sample that frame value y becomes with the output scale of
// fade-out fo, fade-in fi and gain g, grouped as `order` says: 0 is the
// program's order ((fo x fi) x g) x 0.01, the others are groupings of the
// same factors that a faster or tidier form might use instead.
constexpr int OTHER_ORDERS = 5;

double truncated(double y, double fo, double fi, double g, int order) {
    double scale = 0.0;
    switch (order) {
        case 0: scale = ((fo * fi) * g) * 0.01; break;
        case 1: scale = (fo * fi) * (g * 0.01); break;
        case 2: scale = ((fo * fi) * g) / 100.0; break;
        case 3: scale = ((fi * g) * fo) * 0.01; break;
        case 4: scale = (fo * (fi * g)) * 0.01; break;
        default: scale = ((fo * fi) * 0.01) * g; break;
    }
    return std::trunc((y * scale) * 32768.0);
}

// The gain at which frame value y, scaled in the program's order, reaches
// k / 32768 (`fromAbove`: the first gain at or above it; else the last one
// below it).
double gainAtBoundary(double y, double fo, double fi, double k, bool fromAbove) {
    auto value = [&](double g) { return (y * (((fo * fi) * g) * 0.01)) * 32768.0; };
    double g = k / 32768.0 / (y * fo * fi) * 100.0;
    for (int i = 0; i < 4096 && value(g) >= k; ++i) g = std::nextafter(g, 0.0);
    for (int i = 0; i < 4096 && value(g) < k; ++i) g = std::nextafter(g, HUGE_VAL);
    return fromAbove ? g : std::nextafter(g, 0.0);
}

TEST_F(FileRun, OutputScaleIsComputedInItsWrittenOrder) {
    // Gains that put one frame on a truncation boundary, chosen so that every
    // other grouping of the output scale writes a different sample in at
    // least one of the runs. Both fades are longer than the file, so all
    // three factors take part in every frame. The gain is the only input
    // that moves, so the corrected value itself is checked to its last bit.
    const double rate = 8000;
    // A large DC offset makes the samples enter the corrector as exact
    // differences, so that the last bit of the offset reaches the output;
    // for this file the offset's sum x (1 / frames) is not sum / frames.
    const std::size_t total = 1999;
    const Bytes data = testsupport::sine16(total, 1, rate, 130, 3000, 20000);
    double sum = 0.0;
    for (std::size_t i = 0; i < total; ++i) sum += static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    ASSERT_NE(sum * (1.0 / static_cast<double>(total)), sum / static_cast<double>(total));
    const Bytes input = testsupport::pcmWav(1, 8000, 16, data);
    put("in.wav", input);
    const std::vector<double> y = correctedFrames(data, rate, 100);
    struct Choice {
        std::size_t frame;
        double gain;
    };
    std::vector<Choice> choices;
    bool caught[OTHER_ORDERS + 1] = {true};
    for (std::size_t n = 30; n < total && choices.size() < 8; n += 37) {
        const double fi = std::min(1.0, ((static_cast<double>(n) / 300) * 1000.0) / rate);
        const double fo = std::min(1.0, ((static_cast<double>(total - n) / 300) * 1000.0) / rate);
        const double top = std::floor(y[n] * fo * fi * 32768.0);
        if (y[n] <= 0.0 || top < 200) continue;
        if (choices.empty()) {
            // One frame from both sides: a corrected value that is off by
            // more than its last bit, in either direction, changes a sample.
            choices.push_back({n, gainAtBoundary(y[n], fo, fi, top, true)});
            choices.push_back({n, gainAtBoundary(y[n], fo, fi, top, false)});
        }
        for (double k = top; k > top - 40; --k) {
            for (bool fromAbove : {true, false}) {
                const double g = gainAtBoundary(y[n], fo, fi, k, fromAbove);
                bool catchesMore = false;
                for (int order = 1; order <= OTHER_ORDERS; ++order) {
                    if (!caught[order] && truncated(y[n], fo, fi, g, order) != truncated(y[n], fo, fi, g, 0)) {
                        caught[order] = true;
                        catchesMore = true;
                    }
                }
                if (catchesMore) choices.push_back({n, g});
            }
        }
    }
    for (int order = 1; order <= OTHER_ORDERS; ++order) ASSERT_TRUE(caught[order]) << "no gain separates order " << order;

    for (const Choice& c : choices) {
        char gain[64];
        std::snprintf(gain, sizeof gain, "%.17g", c.gain);
        SCOPED_TRACE(::testing::Message() << "frame " << c.frame << " gain " << gain);
        ASSERT_EQ(c.gain, std::strtod(gain, nullptr));
        const ReferenceResult expected = model(input, settings(100, c.gain, 300, 300));
        std::remove(path("out.wav").c_str());
        expectRun({"-n", "-g", gain, "-i", "300", "-o", "300", "in.wav", "out.wav"},
                  head(settings(100, c.gain, 300, 300)) + pairLines("in.wav", "out.wav") +
                      expectedFileText("in.wav", expected, false));
        expectOutput("out.wav", expected);
    }
}

TEST_F(FileRun, EmptyDataChunkWritesAnEmptyFile) {
    const Bytes input = testsupport::pcmWav(2, 44100, 16, {});
    put("in.wav", input);
    expectRun({"in.wav", "out.wav"}, head() + pairLines("in.wav", "out.wav") + processingLine("in.wav") +
                                         "wav info: 16bit 44100Hz 2ch 0min 0.00sec\n0.0%\r\r\r\r\nelapse M:SS\n");
    expectOutput("out.wav", model(input));
    EXPECT_EQ(46u, get("out.wav").size());
}

TEST_F(FileRun, PartialLastFrameCountsForTheDcOffsetButIsNotWritten) {
    Bytes data = testsupport::sine16(400, 2, 8000, 100, 3000, 0);
    const Bytes whole = testsupport::pcmWav(2, 8000, 16, data);
    for (const Bytes& tail : {Bytes{0x30, 0x75}, Bytes{0x30, 0x75, 0x7F}}) {  // 30000, and one byte more
        Bytes partial = data;
        partial.insert(partial.end(), tail.begin(), tail.end());
        const Bytes input = testsupport::pcmWav(2, 8000, 16, partial);
        expectProcessed(input, ReferenceSettings(), {});
        EXPECT_EQ(46u + data.size(), get("out.wav").size());
        // The partial sample moves the left channel's DC offset.
        EXPECT_NE(model(whole).output, model(input).output);
    }
    Bytes mono = testsupport::sine16(5000, 1, 8000, 100, 3000, 0);
    mono.push_back(0x7F);  // half a sample: not a sample at all
    expectProcessed(testsupport::pcmWav(1, 8000, 16, mono), ReferenceSettings(), {});
    EXPECT_EQ(46u + 10000u, get("out.wav").size());
    Bytes data8 = testsupport::sine8(300, 2, 8000, 100, 50, 0);
    data8.push_back(250);
    expectProcessed(testsupport::pcmWav(2, 8000, 8, data8), ReferenceSettings(), {});
    EXPECT_EQ(46u + 600u, get("out.wav").size());
}

TEST_F(FileRun, HeaderVariantsAreReadAsTheirFieldsSay) {
    WavLayout l;
    l.channels = 1;
    l.sampleRate = 22050;
    l.bitsPerSample = 16;
    l.data = testsupport::sine16(3000, 1, 22050, 70, 8000, 100);
    l.fmtBodySize = 18;
    l.afterFmt.push_back(testsupport::chunk("LIST", Bytes(26, 'x')));
    l.afterFmt.push_back(testsupport::chunk("odd ", {1, 2, 3}));  // no pad byte
    l.afterFmt.push_back(testsupport::chunk("fact", {0xB8, 0x0B, 0, 0}));
    l.riffSize = 12;
    l.trailing = {'J', 'U', 'N', 'K', 0, 0, 0, 0};
    expectProcessed(testsupport::buildWav(l), ReferenceSettings(), {});
    const Bytes unpaddedOutput = get("out.wav");
    l.afterFmt[1].padOdd = true;  // the pad byte the RIFF rules ask for: the same output
    expectProcessed(testsupport::buildWav(l), ReferenceSettings(), {});
    EXPECT_EQ(unpaddedOutput, get("out.wav"));
    l.fmtBodySize = 14;
    expectProcessed(testsupport::buildWav(l), ReferenceSettings(), {});
    l.fmtBodySize = 16;
    l.blockAlign = 2;
    l.bitsPerSample = 12;  // a 16-byte chunk takes its width from the block align
    expectProcessed(testsupport::buildWav(l), ReferenceSettings(), {});
}

TEST_F(FileRun, WavInfoShowsTheDurationToHundredths) {
    // 995 Hz counts as 990 Hz, and the quotient is truncated.
    const Bytes second = testsupport::pcmWav(1, 995, 8, testsupport::sine8(995, 1, 995, 10, 20, 0));
    expectProcessed(second, ReferenceSettings(), {});
    EXPECT_EQ("wav info: 8bit 995Hz 1ch 0min 1.00sec\n", wavInfoLine(model(second)));
    const Bytes shorter = testsupport::pcmWav(1, 995, 8, testsupport::sine8(747, 1, 995, 10, 20, 0));
    expectProcessed(shorter, ReferenceSettings(), {});
    EXPECT_EQ("wav info: 8bit 995Hz 1ch 0min 0.75sec\n", wavInfoLine(model(shorter)));
    // 10 Hz is the lowest rate taken.
    const Bytes slow = testsupport::pcmWav(1, 10, 8, testsupport::sine8(25, 1, 10, 1, 20, 0));
    expectProcessed(slow, ReferenceSettings(), {});
    EXPECT_EQ("wav info: 8bit 10Hz 1ch 0min 2.50sec\n", wavInfoLine(model(slow)));
}

TEST_F(FileRun, LongRecordingsAndHighRatesShowTheirNumbersWithoutWrapping) {
    // A header that announces almost 4 GiB: the duration line comes first,
    // then the DC measurement finds the data missing.
    WavLayout l;
    l.channels = 1;
    l.sampleRate = 11025;
    l.bitsPerSample = 8;
    l.data = {1, 2, 3};
    l.dataSizeField = 0xFFFFFFF0;
    expectRefused(testsupport::buildWav(l), "wav info: 8bit 11025Hz 1ch 6495min 42.94sec\n",
                  "ERROR! cannot read file\n");
    l.channels = 2;
    l.sampleRate = 44100;
    l.bitsPerSample = 16;
    expectRefused(testsupport::buildWav(l), "wav info: 16bit 44100Hz 2ch 405min 47.88sec\n",
                  "ERROR! cannot read file\n");
    // A sample rate beyond the int range shows as the unsigned number it is.
    l.channels = 1;
    l.bitsPerSample = 8;
    l.sampleRate = 4294967295u;
    expectRefused(testsupport::buildWav(l), "wav info: 8bit 4294967295Hz 1ch 0min 0.99sec\n",
                  "ERROR! cannot read file\n");
}

TEST_F(FileRun, DataChunkLongerThanTheFileFailsBeforeAnyOutputExists) {
    WavLayout l;
    l.data = testsupport::sine16(100, 2, 44100, 100, 1000, 0);
    l.dataSizeField = 404;  // one frame more than present
    const Bytes input = testsupport::buildWav(l);
    expectRefused(input, wavInfoLine(model(input)), "ERROR! cannot read file\n");
}

TEST_F(FileRun, UnsupportedFormatsAreRefusedWithoutOutput) {
    std::vector<std::pair<std::string, WavLayout>> cases;
    auto add = [&](const std::string& name, auto change) {
        WavLayout l;
        l.data = Bytes(600, 0x10);
        change(l);
        cases.push_back({name, l});
    };
    add("24 bits", [](WavLayout& l) { l.bitsPerSample = 24; });
    add("32 bits", [](WavLayout& l) { l.bitsPerSample = 32; });
    add("24 bits, 18-byte fmt", [](WavLayout& l) { l.bitsPerSample = 24; l.fmtBodySize = 18; });
    add("4 bits", [](WavLayout& l) { l.fmtBodySize = 18; l.bitsPerSample = 4; });
    add("0 channels", [](WavLayout& l) { l.channels = 0; l.blockAlign = 4; });
    add("0 channels, 18-byte fmt", [](WavLayout& l) { l.channels = 0; l.fmtBodySize = 18; });
    add("3 channels", [](WavLayout& l) { l.channels = 3; });
    add("rate 9", [](WavLayout& l) { l.sampleRate = 9; });
    add("rate 0", [](WavLayout& l) { l.sampleRate = 0; });
    add("fmt 13 bytes", [](WavLayout& l) { l.fmtBodySize = 13; });
    add("fmt 65550 bytes", [](WavLayout& l) { l.fmtBodySize = 65550; });
    add("extensible", [](WavLayout& l) { l.formatTag = 0xFFFE; l.fmtBodySize = 40; l.cbSize = 22; });
    add("float", [](WavLayout& l) { l.formatTag = 3; l.bitsPerSample = 32; });
    add("JUNK before fmt", [](WavLayout& l) { l.beforeFmt.push_back(testsupport::chunk("JUNK", Bytes(4, 0))); });
    add("no data chunk", [](WavLayout& l) { l.hasData = false; });
    add("RIFX", [](WavLayout& l) { l.riffId = "RIFX"; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const Bytes input = testsupport::buildWav(c.second);
        ASSERT_EQ(testsupport::ReferenceOutcome::IllegalFormat, model(input).outcome);
        expectRefused(input, "", "ERROR! illegal wav format\n");
    }
    expectRefused(Bytes{}, "", "ERROR! illegal wav format\n");
}

TEST_F(FileRun, InputThatCannotBeOpened) {
    expectRun({"missing.wav", "out.wav"}, head() + pairLines("missing.wav", "out.wav") +
                                              processingLine("missing.wav") + "ERROR! cannot open file to read\n");
    mkdir("folder.wav");
    expectRun({"folder.wav", "out.wav"}, head() + pairLines("folder.wav", "out.wav") + processingLine("folder.wav") +
                                             "ERROR! cannot open file to read\n");
    EXPECT_FALSE(exists("out.wav"));
}

TEST_F(FileRun, OutputThatCannotBeCreated) {
    const Bytes input = stereo16File(1);
    put("in.wav", input);
    const std::string lead = processingLine("in.wav") + wavInfoLine(model(input));
    mkdir("out.wav");
    for (const char* overwrite : {"-n", "-y"}) {
        SCOPED_TRACE(overwrite);
        // A folder at the output path gets no question.
        expectRun({overwrite, "in.wav", "out.wav"},
                  head() + pairLines("in.wav", "out.wav") + lead + "ERROR! cannot open file to write\n");
        expectRun({overwrite, "in.wav", "nodir/out.wav"},
                  head() + pairLines("in.wav", "nodir/out.wav") + lead + "ERROR! cannot open file to write\n");
    }
    EXPECT_FALSE(exists("nodir"));
}

TEST_F(FileRun, HeaderThatCannotBeWritten) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no device that refuses every write and no limit on the size of files";
#else
    const Bytes input = stereo16File(1);
    put("in.wav", input);
    const std::string lead = processingLine("in.wav") + wavInfoLine(model(input));
    // A file-size limit inside the header: the write fails (no signal ends
    // the program), and the part of the header written is taken away again.
    expectRun({"-y", "in.wav", "out.wav"},
              head() + pairLines("in.wav", "out.wav") + lead + "ERROR! cannot write file\n", "", 20);
    EXPECT_EQ(Bytes(), get("out.wav"));
    if (!testsupport::pathExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    ASSERT_EQ(0, symlink("/dev/full", path("full.wav").c_str()));
    expectRun({"-y", "in.wav", "full.wav"},
              head() + pairLines("in.wav", "full.wav") + lead + "ERROR! cannot write file\n");
    // Without -y the device exists, so the question comes first.
    expectRun({"in.wav", "full.wav"},
              head() + pairLines("in.wav", "full.wav") + lead + testsupport::overwriteQuestion("full.wav") +
                  "ERROR! cannot write file\n",
              "y");
#endif
}

TEST_F(FileRun, SamplesThatCannotBeWrittenLeaveWhatWasWritten) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no limit on the size of a process's files";
#endif
    const Bytes input = stereo16File(1, 3000);
    put("in.wav", input);
    const ReferenceResult expected = model(input);
    expectRun({"in.wav", "out.wav"},
              head() + pairLines("in.wav", "out.wav") + processingLine("in.wav") + wavInfoLine(expected) +
                  "0.0%\r\r\r\rERROR! cannot write file\n",
              "", 1047);
    // The output stays, cut to the 250 whole frames it holds (the byte of
    // the next frame is taken away), its header fitted to them.
    EXPECT_EQ(testsupport::cutOutput(expected.output, 1047, 4), get("out.wav"));
}

TEST_F(FileRun, HiddenProgressKeepsTheLineBreak) {
    const Bytes input = stereo16File(1);
    put("in.wav", input);
    const ReferenceResult expected = model(input);
    const std::string tail = testsupport::streamingText(expected, false);
    ASSERT_EQ('\n', tail[0]);
    expectRun({"-n", "in.wav", "out.wav"}, head() + pairLines("in.wav", "out.wav") + processingLine("in.wav") +
                                               wavInfoLine(expected) + tail);
    expectOutput("out.wav", expected);
    EXPECT_EQ(std::string::npos, run({"-n", "-y", "in.wav", "out.wav"}).out.find('\r'));
}

}  // namespace
}  // namespace e2e
