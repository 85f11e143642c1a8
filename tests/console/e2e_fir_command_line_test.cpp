// The command line of qortafir, end to end: what differs from the shared
// command line of both programs (banner, usage, settings line and "-q"), and
// every batch mode running the FIR stage.
#include <cstdio>

#include "tests/console/e2e_fir_fixture.h"

namespace e2e {
namespace {

using testsupport::expectedFileText;
using testsupport::overwriteQuestion;
using testsupport::processingLine;
using testsupport::wavInfoLine;

class FirCommandLine : public QortafirRun {};

// Short files at a low rate keep the model's plain convolution cheap.
Bytes stereoTake(int tone = 1) { return stereo16File(tone, 2000, 8000); }

TEST_F(FirCommandLine, BannerAndUsageWithoutNames) {
    expectRun({}, usage());
    expectRun({"-y", "-n"}, usage());
    expectRun({"-q", "50"}, usage());
    expectRun({"-Q", "5", "-N"}, usage());
    // A value option standing last is a folder name, and one folder alone
    // is an error.
    expectRun({"-q"}, usageWithError());
    expectRun({"d1", "a.wav"}, usageWithError());
    expectRun({"a.wav", "b.wav", "c.wav"}, usageWithError());
}

TEST_F(FirCommandLine, QualityIsAValueOptionHere) {
    // Where qortaiir sees two folder names, qortafir takes a quality.
    put("a.wav", stereoTake());
    const ReferenceResult expected = firModel(get("a.wav"), firSettings(5));
    expectRun({"-q", "5", "a.wav"},
              head(5) + pairLines("a.wav", "a_b.wav") + expectedFileText("a.wav", expected, true));
    expectOutput("a_b.wav", expected);
}

TEST_F(FirCommandLine, QualityParsingAndTheCapAt300) {
    put("a.wav", stereoTake());
    struct Case {
        std::vector<std::string> options;
        int quality;  // as stored, shown and used
    };
    const std::vector<Case> cases = {
        {{"-q", "500"}, 300},
        {{"-q", "301"}, 300},
        {{"-q", "300"}, 300},
        {{"-q", "299"}, 299},
        {{"-Q", "20"}, 20},
        {{"-q", " +42x"}, 42},
        {{"-q", "abc"}, 0},
        {{"-q", "4294967396"}, 300},  // saturates, then the cap
        {{"-q", "2147483648"}, 300},
        {{"-q", "7", "-q", "9"}, 9},  // the last one counts
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-y", "-n", "a.wav"});
        const ReferenceResult expected = firModel(get("a.wav"), firSettings(c.quality));
        expectRun(args, head(c.quality) + pairLines("a.wav", "a_b.wav") + expectedFileText("a.wav", expected, false));
        expectOutput("a_b.wav", expected);
    }
}

TEST_F(FirCommandLine, SettingsLineShowsQualityFirst) {
    put("a.wav", stereoTake());
    const ReferenceResult expected = firModel(get("a.wav"), firSettings(7, 12.4, 99.5, 3, 4));
    expectRun({"-q", "7", "-e", "12.4", "-g", "99.5", "-i", "3", "-o", "4", "-n", "a.wav"},
              std::string(testsupport::FIR_BANNER) + "Setting: Quality=7, Effect=12, Gain=100, FadeIn=3, FadeOut=4\n" +
                  pairLines("a.wav", "a_b.wav") + expectedFileText("a.wav", expected, false));
    expectOutput("a_b.wav", expected);
}

TEST_F(FirCommandLine, NegativeQualityRefusesEveryFileAndTheBatchGoesOn) {
    mkdir("out");
    put("a.wav", stereoTake());
    put("b.wav", mono8File(2, 1000, 8000));
    put("bad.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
    // The data chunk is missing, but the quality is refused before the DC
    // pass would find out.
    testsupport::WavLayout longer;
    longer.data = {1, 2, 3, 4};
    longer.dataSizeField = 400;
    put("long.wav", testsupport::buildWav(longer));
    const ReferenceSettings s = firSettings(-5);
    const ReferenceResult a = firModel(get("a.wav"), s), b = firModel(get("b.wav"), s),
                          tooLong = firModel(get("long.wav"), s);
    for (const ReferenceResult* r : {&a, &b, &tooLong})
        ASSERT_EQ(testsupport::ReferenceOutcome::QualityOutOfRange, r->outcome);
    expectRun({"-q", "-5", "a.wav", "bad.wav", "long.wav", "b.wav", "out"},
              head(-5) + "input file:a.wav bad.wav long.wav b.wav \noutput dir:out\n" + processingLine("a.wav") +
                  wavInfoLine(a) + "ERROR! quality out of range\n" + processingLine("bad.wav") +
                  "ERROR! illegal wav format\n" + processingLine("long.wav") + wavInfoLine(tooLong) +
                  "ERROR! quality out of range\n" + processingLine("b.wav") + wavInfoLine(b) +
                  "ERROR! quality out of range\n");
    for (const char* name : {"out/a.wav", "out/b.wav", "out/bad.wav", "out/long.wav"}) EXPECT_FALSE(exists(name));
    // An existing output is not asked about and stays as it was.
    put("out/a.wav", {1, 2, 3});
    expectRun({"-q", "-5", "a.wav", "out"}, head(-5) + "input file:a.wav \noutput dir:out\n" +
                                                expectedFileText("a.wav", a, true));
    EXPECT_EQ((Bytes{1, 2, 3}), get("out/a.wav"));

    // Every negative quality, also one whose unsigned product at 44.1 kHz
    // would give a half-length the window holds (-70000 gives 241593), and
    // one saturated at the 32-bit bound.
    put("cd.wav", stereo16File(1, 200, 44100));
    for (const auto& [text, quality] : {std::pair<const char*, int>{"-70000", -70000}, {"-1", -1},
                                        {"-99999999999", -2147483647 - 1}}) {
        SCOPED_TRACE(text);
        const ReferenceResult cd = firModel(get("cd.wav"), firSettings(quality));
        ASSERT_EQ(testsupport::ReferenceOutcome::QualityOutOfRange, cd.outcome);
        expectRun({"-q", text, "cd.wav", "cd_out.wav"}, head(quality) + pairLines("cd.wav", "cd_out.wav") +
                                                            processingLine("cd.wav") + wavInfoLine(cd) +
                                                            "ERROR! quality out of range\n");
        EXPECT_FALSE(exists("cd_out.wav"));
    }
}

TEST_F(FirCommandLine, QualityConsumesTheNextArgumentWhateverItIs) {
    put("a.wav", stereoTake());
    put("a_b.wav", {1, 2, 3});
    // -y is the value of -q: quality 0, and the question is asked.
    const ReferenceResult expected = firModel(get("a.wav"), firSettings(0));
    expectRun({"-q", "-y", "a.wav"}, head(0) + pairLines("a.wav", "a_b.wav") + processingLine("a.wav") +
                                         wavInfoLine(expected) + overwriteQuestion("a_b.wav"),
              "n");
    EXPECT_EQ((Bytes{1, 2, 3}), get("a_b.wav"));
    expectRun({"-q", "-y", "a.wav"}, head(0) + pairLines("a.wav", "a_b.wav") + processingLine("a.wav") +
                                         wavInfoLine(expected) + overwriteQuestion("a_b.wav") +
                                         testsupport::streamingText(expected, true),
              "y");
    expectOutput("a_b.wav", expected);
}

TEST_F(FirCommandLine, EveryBatchModeRunsTheFirStage) {
    mkdir("in");
    mkdir("out");
    put("in/a.wav", stereoTake(1));
    put("in/b.wav", mono8File(2, 1500, 8000));
    const ReferenceResult a = firModel(get("in/a.wav")), b = firModel(get("in/b.wav"));

    expectRun({"in/a.wav"}, head() + pairLines("in/a.wav", "in/a_b.wav") + expectedFileText("in/a.wav", a, true));
    expectOutput("in/a_b.wav", a);
    ASSERT_EQ(0, std::remove(path("in/a_b.wav").c_str()));

    expectRun({"in/b.wav", "pair.wav"},
              head() + pairLines("in/b.wav", "pair.wav") + expectedFileText("in/b.wav", b, true));
    expectOutput("pair.wav", b);

    expectRun({"in/a.wav", "in/b.wav", "out"}, head() + "input file:in/a.wav in/b.wav \noutput dir:out\n" +
                                                   expectedFileText("in/a.wav", a, true) +
                                                   expectedFileText("in/b.wav", b, true));
    expectOutput("out/a.wav", a);
    expectOutput("out/b.wav", b);

    mkdir("out2");
    std::string files;
    for (const std::string& name : inListingOrder("in", {"a.wav", "b.wav"}))
        files += expectedFileText(joined("in", name), name == "a.wav" ? a : b, false);
    expectRun({"-n", "in", "out2"}, head() + "input dir:in\noutput dir:out2\n" + files);
    expectOutput("out2/a.wav", a);
    expectOutput("out2/b.wav", b);
}

}  // namespace
}  // namespace e2e
