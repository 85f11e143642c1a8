// The command line and the four batch modes, run end to end.
#include <cmath>
#include <cstdio>
#include <map>

#include "tests/console/e2e_fixture.h"

namespace e2e {
namespace {

using testsupport::expectedFileText;
using testsupport::overwriteQuestion;
using testsupport::processingLine;
using testsupport::wavInfoLine;

class CommandLine : public QortaiirRun {};

TEST_F(CommandLine, WithoutArgumentsOrWithOnlyOptionsPrintsTheUsage) {
    const std::string usage = std::string(testsupport::IIR_BANNER) + testsupport::IIR_USAGE;
    expectRun({}, usage);
    expectRun({"-y", "-n"}, usage);
    expectRun({"-N"}, usage);
    expectRun({"-e", "50", "-g", "3"}, usage);
}

TEST_F(CommandLine, IllegalCombinationsPrintTheErrorAndUsageAndProcessNothing) {
    put("a.wav", stereo16File(1));
    put("b.wav", stereo16File(2));
    mkdir("d1");
    mkdir("d2");
    const std::vector<std::vector<std::string>> cases = {
        {"a.wav", "b.wav", "x.wav"},      // three files, no folder
        {"a.wav", "d1", "d2"},            // files before two folders
        {"d1", "d2", "d3"},               // three folders
        {"d1", "d2", "d3", "d4", "d5"},   // folders beyond the third are dropped, still an error
        {"d1"},                           // one folder, no file
        {"-y", "d1", "-n"},
        {"d1", "a.wav"},                  // a WAV name after a folder
        {"a.wav", "d1", "b.wav"},
        {"-x", "a.wav"},                  // an unknown option is a folder name
        {"-q", "5", "a.wav"},             // no -q in this program: two folders
        {"a.wav", "-q", "5"},
        {"-e"},                           // a value option standing last is a folder
    };
    for (const std::vector<std::string>& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        expectRun(args, usageWithError());
    }
    // The WAV name after a folder ends the pass: the names and options after
    // it are not looked at, and nothing is created.
    expectRun({"d1", "a.wav", "b.wav", "d2"}, usageWithError());
    EXPECT_FALSE(exists("a_b.wav"));
    EXPECT_FALSE(exists("d1/a.wav"));
    EXPECT_FALSE(exists("d2/a.wav"));
}

TEST_F(CommandLine, SingleFileReplacesTheLastFourCharactersWithSuffix) {
    const Bytes song = stereo16File(1);
    const ReferenceResult expected = model(song);
    struct Case {
        std::string input, output;
    };
    mkdir("rec");
    for (const Case& c : {Case{"song.wav", "song_b.wav"}, Case{"SONG.WAV", "SONG_b.wav"}, Case{".wav", "_b.wav"},
                          Case{"rec/Take1.wAv", "rec/Take1_b.wav"}}) {
        SCOPED_TRACE(c.input);
        put(c.input, song);
        // Where names ignore letter case (Windows), SONG_b.wav is the output
        // of the case before; it must not exist for this one.
        std::remove(path(c.output).c_str());
        expectRun({c.input}, head() + pairLines(c.input, c.output) + expectedFileText(c.input, expected, true));
        expectOutput(c.output, expected);
    }
}

TEST_F(CommandLine, FilePairTakesOptionsFromAnyPosition) {
    const Bytes take = stereo16File(3, 20000, 8000);
    put("take.wav", take);
    const ReferenceResult expected = model(take, settings(50, 90, 500, 2000));
    expectRun({"-e", "50", "take.wav", "-g", "90", "out.wav", "-i", "500", "-o", "2000", "-n"},
              head(50, 90, 500, 2000) + pairLines("take.wav", "out.wav") + expectedFileText("take.wav", expected, false));
    expectOutput("out.wav", expected);
}

TEST_F(CommandLine, MultiFileWritesEachInputIntoTheFolderUnderItsOwnName) {
    mkdir("sub");
    mkdir("outdir");
    put("a.wav", stereo16File(1));
    put("sub/b.WAV", mono8File(2));
    const ReferenceResult a = model(get("a.wav")), b = model(get("sub/b.WAV"));
    for (const char* folder : {"outdir", "outdir/"}) {
        SCOPED_TRACE(folder);
        expectRun({"-y", "a.wav", "sub/b.WAV", folder},
                  head() + "input file:a.wav sub/b.WAV \noutput dir:" + folder + "\n" +
                      expectedFileText("a.wav", a, true) + expectedFileText("sub/b.WAV", b, true));
        expectOutput("outdir/a.wav", a);
        expectOutput("outdir/b.WAV", b);
    }
}

TEST_F(CommandLine, MultiFileWithTwoInputsOfTheSameNameAsksOnTheSecond) {
    mkdir("d1");
    mkdir("d2");
    mkdir("out");
    put("d1/a.wav", stereo16File(1));
    put("d2/a.wav", stereo16File(4));
    const ReferenceResult first = model(get("d1/a.wav")), second = model(get("d2/a.wav"));
    const std::string lines = head() + "input file:d1/a.wav d2/a.wav \noutput dir:out\n" +
                              expectedFileText("d1/a.wav", first, true) + processingLine("d2/a.wav") +
                              wavInfoLine(second) + overwriteQuestion(joined("out", "a.wav"));
    // End of input answers n: the first output stays.
    expectRun({"d1/a.wav", "d2/a.wav", "out"}, lines);
    expectOutput("out/a.wav", first);
    ASSERT_EQ(0, std::remove(path("out/a.wav").c_str()));
    expectRun({"d1/a.wav", "d2/a.wav", "out"}, lines + testsupport::streamingText(second, true), "y");
    expectOutput("out/a.wav", second);
}

TEST_F(CommandLine, TrailingValueOptionIsAnOutputFolder) {
    put("a.wav", stereo16File(1));
    mkdir("-e");
    const ReferenceResult expected = model(get("a.wav"));
    expectRun({"a.wav", "-e"},
              head() + "input file:a.wav \noutput dir:-e\n" + expectedFileText("a.wav", expected, true));
    expectOutput("-e/a.wav", expected);
}

TEST_F(CommandLine, ValueOptionConsumesTheNextArgumentWhateverItIs) {
    put("a.wav", stereo16File(1));
    put("a_b.wav", {1, 2, 3});
    // -y is the value of -e: effect 0, and the question is asked.
    const ReferenceResult expected = model(get("a.wav"), settings(0));
    expectRun({"-e", "-y", "a.wav"}, head(0) + pairLines("a.wav", "a_b.wav") + processingLine("a.wav") +
                                         wavInfoLine(expected) + overwriteQuestion("a_b.wav"),
              "n");
    EXPECT_EQ((Bytes{1, 2, 3}), get("a_b.wav"));
}

TEST_F(CommandLine, OptionLettersIgnoreCase) {
    put("a.wav", stereo16File(1));
    put("a_b.wav", {1, 2, 3});
    const ReferenceResult expected = model(get("a.wav"), settings(50, 80, 10, 20));
    expectRun({"-E", "50", "-G", "80", "-I", "10", "-O", "20", "-Y", "-N", "a.wav"},
              head(50, 80, 10, 20) + pairLines("a.wav", "a_b.wav") + expectedFileText("a.wav", expected, false));
    expectOutput("a_b.wav", expected);
}

// Effect and gain are shown rounded to the nearest whole number, halves away
// from zero; whole-number options beyond the 32-bit range take its nearest
// bound.
TEST_F(CommandLine, SettingsLineRoundsAndWholeNumbersSaturate) {
    put("a.wav", stereo16File(1));
    struct Case {
        std::vector<std::string> options;
        ReferenceSettings settings;
        int effect, gain, fadeIn, fadeOut;
    };
    const std::vector<Case> cases = {
        {{"-e", "99.5", "-g", "12.4"}, settings(99.5, 12.4), 100, 12, 0, 0},
        {{"-e", "-2.7", "-g", "-0.5"}, settings(-2.7, -0.5), -3, -1, 0, 0},
        {{"-e", "-100", "-g", "-1"}, settings(-100, -1), -100, -1, 0, 0},
        {{"-e", "-2.5", "-g", "-0.49"}, settings(-2.5, -0.49), -3, 0, 0, 0},
        {{"-e", ".5", "-g", "1e2", "-i", "1e3", "-o", " 250ms"}, settings(0.5, 100, 1, 250), 1, 100, 1, 250},
        {{"-e", "abc", "-g", "0x10", "-i", "-5", "-o", "x"}, settings(0, 0, -5, 0), 0, 0, -5, 0},
        {{"-i", "4294967296", "-o", "2147483648"}, settings(100, 100, 2147483647, 2147483647), 100, 100, 2147483647,
         2147483647},
        {{"-i", "-2147483649", "-o", "3000000000"}, settings(100, 100, -2147483647 - 1, 2147483647), 100, 100,
         -2147483647 - 1, 2147483647},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.options));
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-y", "-n", "a.wav"});
        const ReferenceResult expected = model(get("a.wav"), c.settings);
        expectRun(args, head(c.effect, c.gain, c.fadeIn, c.fadeOut) + pairLines("a.wav", "a_b.wav") +
                            expectedFileText("a.wav", expected, false));
        expectOutput("a_b.wav", expected);
    }
}

TEST_F(CommandLine, GainBeyondTheDoubleRangeSaturatesEverySample) {
    put("a.wav", stereo16File(1));
    const ReferenceResult expected = model(get("a.wav"), settings(100, HUGE_VAL));
    ASSERT_GT(expected.clipPeak, 1.0);
    expectRun({"-g", "1e400", "-n", "a.wav"},
              head(100, 2147483647) + pairLines("a.wav", "a_b.wav") + expectedFileText("a.wav", expected, false));
    expectOutput("a_b.wav", expected);
}

TEST_F(CommandLine, FolderToFolderProcessesWavFilesInFoldedNameOrder) {
    mkdir("in");
    mkdir("out");
    mkdir("in/x.wav");  // a folder, skipped
    put("in/b.wav", stereo16File(1));
    put("in/A.wav", mono8File(2));
    put("in/c.WAV", stereo16File(3));
    put("in/notes.txt", {1, 2, 3});
    put("in/d.wav.bak", stereo16File(4));
    const std::map<std::string, ReferenceResult> results = {
        {"A.wav", model(get("in/A.wav"))}, {"b.wav", model(get("in/b.wav"))}, {"c.WAV", model(get("in/c.WAV"))}};
    const ReferenceResult &a = results.at("A.wav"), &b = results.at("b.wav"), &c = results.at("c.WAV");
    for (const auto& folders : {std::vector<std::string>{"in", "out"}, std::vector<std::string>{"in/", "out/"}}) {
        SCOPED_TRACE(folders[0]);
        std::string files;
        for (const std::string& name : inListingOrder("in", {"A.wav", "b.wav", "c.WAV"}))
            files += expectedFileText(joined(folders[0], name), results.at(name), true);
        expectRun({"-y", folders[0], folders[1]},
                  head() + "input dir:" + folders[0] + "\noutput dir:" + folders[1] + "\n" + files);
        expectOutput("out/A.wav", a);
        expectOutput("out/b.wav", b);
        expectOutput("out/c.WAV", c);
        EXPECT_FALSE(exists("out/x.wav"));
        EXPECT_FALSE(exists("out/notes.txt"));
        EXPECT_FALSE(exists("out/d.wav.bak"));
    }
}

TEST_F(CommandLine, FolderToFolderWithNothingToDoEndsAfterItsEchoLines) {
    mkdir("empty");
    mkdir("other");
    put("other/readme.txt", {1});
    mkdir("out");
    for (const char* input : {"empty", "other"}) {
        SCOPED_TRACE(input);
        expectRun({input, "out"}, head() + "input dir:" + std::string(input) + "\noutput dir:out\n");
    }
    // A folder that is not there is an error, not an empty batch.
    expectRun({"missing", "out"}, head() + "input dir:missing\noutput dir:out\nERROR! cannot open dir to read\n");
}

TEST_F(CommandLine, AnEmptyFolderNameIsTheCurrentFolder) {
    // The program runs in the test's folder: "" must name it, never the
    // root of the file system.
    put("a.wav", stereo16File(1));
    mkdir("out");
    const ReferenceResult a = model(get("a.wav"));
    expectRun({"-y", "", "out"}, head() + "input dir:\noutput dir:out\n" + expectedFileText("a.wav", a, true));
    expectOutput("out/a.wav", a);
    expectRun({"-y", "a.wav", ""}, head() + "input file:a.wav \noutput dir:\n" + processingLine("a.wav") +
                                       wavInfoLine(a) + "ERROR! cannot open file to write\n");
}

TEST_F(CommandLine, FolderToFolderIntoAMissingFolderReportsEveryFile) {
    mkdir("in");
    put("in/a.wav", stereo16File(1));
    put("in/b.wav", stereo16File(2));
    std::string files;
    for (const std::string& name : inListingOrder("in", {"a.wav", "b.wav"}))
        files += processingLine(joined("in", name)) + wavInfoLine(model(get("in/" + name))) +
                 "ERROR! cannot open file to write\n";
    expectRun({"in", "nowhere"}, head() + "input dir:in\noutput dir:nowhere\n" + files);
    EXPECT_FALSE(exists("nowhere"));
}

TEST_F(CommandLine, EveryFileOfABatchFailingStillEndsNormally) {
    mkdir("out");
    put("bad.wav", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
    put("short.wav", testsupport::pcmWav(2, 44100, 16, {}));
    testsupport::WavLayout longer;
    longer.data = {1, 2, 3, 4};
    longer.dataSizeField = 400;
    put("long.wav", testsupport::buildWav(longer));
    const ReferenceResult tooLong = model(get("long.wav"));
    ASSERT_EQ(testsupport::ReferenceOutcome::ReadFailure, tooLong.outcome);
    mkdir("out/short.wav");  // the one good input cannot be written
    expectRun({"missing.wav", "bad.wav", "long.wav", "short.wav", "out"},
              head() + "input file:missing.wav bad.wav long.wav short.wav \noutput dir:out\n" +
                  processingLine("missing.wav") + "ERROR! cannot open file to read\n" + processingLine("bad.wav") +
                  "ERROR! illegal wav format\n" + expectedFileText("long.wav", tooLong, true) +
                  processingLine("short.wav") + wavInfoLine(model(get("short.wav"))) +
                  "ERROR! cannot open file to write\n");
    EXPECT_FALSE(exists("out/missing.wav"));
    EXPECT_FALSE(exists("out/bad.wav"));
    EXPECT_FALSE(exists("out/long.wav"));
}

}  // namespace
}  // namespace e2e
