// The overwrite question, -y, and outputs that name their own input.
#include <cstdio>
#ifndef _WIN32
#include <csignal>
#include <termios.h>
#include <unistd.h>
#endif

#include "tests/console/e2e_fixture.h"

namespace e2e {
namespace {

using testsupport::expectedFileText;
using testsupport::overwriteQuestion;
using testsupport::processingLine;
using testsupport::streamingText;
using testsupport::wavInfoLine;

class Overwrite : public QortaiirRun {
protected:
    void SetUp() override {
        QortaiirRun::SetUp();
        put("a.wav", input);
        put("a_b.wav", old);
    }
    // The text of "qortaiir a.wav" up to and including the question asked
    // `times` times.
    std::string asked(int times) const {
        std::string text = head() + pairLines("a.wav", "a_b.wav") + processingLine("a.wav") + wavInfoLine(expected);
        for (int i = 0; i < times; ++i) text += overwriteQuestion("a_b.wav");
        return text;
    }

    const Bytes input = stereo16File(5);
    const Bytes old = {'o', 'l', 'd'};
    const ReferenceResult expected = model(input);
};

TEST_F(Overwrite, AnsweringYReplacesTheFile) {
    expectRun({"a.wav"}, asked(1) + streamingText(expected, true), "y");
    expectOutput("a_b.wav", expected);
}

TEST_F(Overwrite, AnsweringNLeavesTheFileAndPrintsNothingMore) {
    expectRun({"a.wav"}, asked(1), "n");
    EXPECT_EQ(old, get("a_b.wav"));
}

TEST_F(Overwrite, OtherKeysAskAgainUpperCaseIncluded) {
    expectRun({"a.wav"}, asked(2) + streamingText(expected, true), "Yy");
    expectOutput("a_b.wav", expected);
    put("a_b.wav", old);
    expectRun({"a.wav"}, asked(4), "N\nxn");
    EXPECT_EQ(old, get("a_b.wav"));
}

TEST_F(Overwrite, EndOfInputAnswersN) {
    expectRun({"a.wav"}, asked(1), "");
    expectRun({"a.wav"}, asked(3), "Y\n");
    EXPECT_EQ(old, get("a_b.wav"));
}

// `text` as a terminal shows it, with "\r\n" as "\n".
std::string lines(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.replace(at, 2, "\n");
    return text;
}

TEST_F(Overwrite, AtATerminalKeysNeedNoEnterAndAreNotEchoed) {
    testsupport::RunOptions options;
    options.workDir = dir.path();
    options.timeoutSeconds = 20;
    const std::string question = overwriteQuestion("a_b.wav");
    // "Y" asks again; "y" answers without Enter.
    testsupport::RunResult r = testsupport::runInTerminal(QORTAIIR_PATH, {"-n", "a.wav"}, options,
                                                          {{question, "Y"}, {question + question, "y"}});
    if (!r.started) GTEST_SKIP() << "no pseudo-terminal available";
    ASSERT_TRUE(r.exited) << (r.timedOut ? "timed out waiting for the question: " : "") << r.out;
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_EQ(asked(2) + streamingText(expected, false), testsupport::normaliseElapsed(lines(r.out)));
    expectOutput("a_b.wav", expected);

    put("a_b.wav", old);
    r = testsupport::runInTerminal(QORTAIIR_PATH, {"-n", "a.wav"}, options, {{question, "n"}});
    ASSERT_TRUE(r.exited) << r.out;
    EXPECT_EQ(asked(1), lines(r.out));
    EXPECT_EQ(old, get("a_b.wav"));
}

#ifndef _WIN32
TEST_F(Overwrite, InterruptedAtTheQuestionTheTerminalGetsItsModeBack) {
    testsupport::RunOptions options;
    options.workDir = dir.path();
    options.timeoutSeconds = 10;
    const std::string question = overwriteQuestion("a_b.wav");
    // Ctrl-C typed at the terminal, and the other interruptions as signals.
    const std::vector<testsupport::TerminalStep> ways = {{question, "\x03", 0}, {question, "", SIGTERM},
                                                         {question, "", SIGHUP}};
    const int expectedSignals[] = {SIGINT, SIGTERM, SIGHUP};
    for (std::size_t i = 0; i < ways.size(); ++i) {
        SCOPED_TRACE(expectedSignals[i]);
        const testsupport::RunResult r = testsupport::runInTerminal(QORTAIIR_PATH, {"-n", "a.wav"}, options, {ways[i]});
        if (!r.started) GTEST_SKIP() << "no pseudo-terminal available";
        ASSERT_FALSE(r.timedOut) << r.out;
        EXPECT_EQ(expectedSignals[i], r.signal);
        EXPECT_EQ(static_cast<unsigned>(ICANON | ECHO), r.terminalModes & (ICANON | ECHO)) << "terminal left raw";
        EXPECT_EQ(asked(1), lines(r.out));
        EXPECT_EQ(old, get("a_b.wav"));
    }
}

TEST_F(Overwrite, StoppedAtTheQuestionTheTerminalIsGivenBackAndSingleKeysTakenAgain) {
    testsupport::RunOptions options;
    options.workDir = dir.path();
    options.timeoutSeconds = 10;
    options.asJob = true;
    const std::string question = overwriteQuestion("a_b.wav");
    // Ctrl-Z at the question; while stopped, the shell sets line mode with
    // echo, as it does for itself; on fg the key needs no Enter again.
    testsupport::TerminalStep stop{question, "", SIGTSTP};
    testsupport::TerminalStep resume{question, "", SIGCONT};
    resume.whenStopped = true;
    const testsupport::RunResult r =
        testsupport::runInTerminal(QORTAIIR_PATH, {"-n", "a.wav"}, options, {stop, resume, {question, "n"}});
    if (!r.started) GTEST_SKIP() << "no pseudo-terminal available";
    EXPECT_EQ(static_cast<unsigned>(ICANON | ECHO), r.stoppedModes & (ICANON | ECHO)) << "terminal raw while stopped";
    ASSERT_TRUE(r.exited) << (r.timedOut ? "timed out: no single keys after the stop: " : "") << r.out;
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_EQ(asked(1), lines(r.out));
    EXPECT_EQ(static_cast<unsigned>(ICANON | ECHO), r.terminalModes & (ICANON | ECHO));
    EXPECT_EQ(old, get("a_b.wav"));
}

TEST_F(Overwrite, WithTheOutputRedirectedTheQuestionStillReachesTheTerminal) {
    testsupport::RunOptions options;
    options.workDir = dir.path();
    options.timeoutSeconds = 10;
    options.outputFile = path("log.txt");
    const std::string question = overwriteQuestion("a_b.wav");
    // The question comes on the terminal through standard error, once per
    // asking; standard output keeps exactly its text.
    const testsupport::RunResult r = testsupport::runInTerminal(QORTAIIR_PATH, {"-n", "a.wav"}, options,
                                                                {{question, "x"}, {question + question, "y"}});
    if (!r.started) GTEST_SKIP() << "no pseudo-terminal available";
    ASSERT_TRUE(r.exited) << (r.timedOut ? "timed out waiting for the question: " : "") << r.out;
    EXPECT_EQ(question + question, lines(r.out));
    const Bytes log = get("log.txt");
    EXPECT_EQ(asked(2) + streamingText(expected, false), testsupport::normaliseElapsed(std::string(log.begin(), log.end())));
    expectOutput("a_b.wav", expected);
}
#endif

TEST_F(Overwrite, OptionYReplacesWithoutAsking) {
    expectRun({"a.wav", "-y"}, head() + pairLines("a.wav", "a_b.wav") + expectedFileText("a.wav", expected, true));
    expectOutput("a_b.wav", expected);
}

TEST_F(Overwrite, DeclinedFileDoesNotStopTheBatch) {
    mkdir("out");
    put("out/a.wav", old);
    put("b.wav", mono8File(2));
    const ReferenceResult b = model(get("b.wav"));
    expectRun({"a.wav", "b.wav", "out"}, head() + "input file:a.wav b.wav \noutput dir:out\n" +
                                             processingLine("a.wav") + wavInfoLine(expected) +
                                             overwriteQuestion(joined("out", "a.wav")) +
                                             expectedFileText("b.wav", b, true),
              "n");
    EXPECT_EQ(old, get("out/a.wav"));
    expectOutput("out/b.wav", b);
}

class SameFile : public QortaiirRun {
protected:
    void SetUp() override {
        QortaiirRun::SetUp();
        put("a.wav", input);
    }
    // The text of a file pair whose output is refused.
    std::string refused(const std::string& in, const std::string& out) const {
        return head() + pairLines(in, out) + processingLine(in) + wavInfoLine(expected) +
               "ERROR! cannot open file to write\n";
    }

    const Bytes input = stereo16File(6);
    const ReferenceResult expected = model(input);
};

TEST_F(SameFile, FilePairNamingOneFileTwiceIsRefusedWithoutAQuestion) {
#ifdef _WIN32
    // Windows names ignore letter case and take either separator; the link
    // cases below have no counterpart the tests could create there.
    mkdir("sub");
    const std::vector<const char*> outputs = {"a.wav", "./a.wav", "A.WAV", ".\\a.wav", "sub\\..\\a.Wav"};
#else
    ASSERT_EQ(0, symlink("a.wav", path("link.wav").c_str()));
    ASSERT_EQ(0, link(path("a.wav").c_str(), path("hard.wav").c_str()));
    const std::vector<const char*> outputs = {"a.wav", "./a.wav", "link.wav", "hard.wav"};
#endif
    for (const char* output : outputs) {
        for (const char* overwrite : {"-n", "-y"}) {
            SCOPED_TRACE(::testing::Message() << output << " " << overwrite);
            expectRun({overwrite, "a.wav", output}, refused("a.wav", output), "yyyy");
            EXPECT_EQ(input, get("a.wav"));
        }
    }
    // Another name of the file as input and the file as output are the same
    // pair reversed.
#ifdef _WIN32
    const char* other = "A.WAV";
#else
    const char* other = "link.wav";
#endif
    expectRun({"-y", other, "a.wav"}, refused(other, "a.wav"));
    EXPECT_EQ(input, get("a.wav"));
}

TEST_F(SameFile, MultiFileIntoTheInputsOwnFolderIsRefused) {
    for (const char* folder : {".", "./"}) {
        SCOPED_TRACE(folder);
        expectRun({"-y", "a.wav", folder}, head() + "input file:a.wav \noutput dir:" + folder + "\n" +
                                               processingLine("a.wav") + wavInfoLine(expected) +
                                               "ERROR! cannot open file to write\n");
        EXPECT_EQ(input, get("a.wav"));
    }
}

TEST_F(SameFile, AnOutputThatIsAnotherInputOfTheBatchIsRefused) {
    // sub/a.wav is the output of a.wav and an input itself: later in the
    // batch, or earlier.
    mkdir("sub");
    const Bytes other = mono8File(4);
    put(joined("sub", "a.wav"), other);
    const ReferenceResult otherModel = model(other);
    const std::string inSub = joined("sub", "a.wav");
    for (const char* overwrite : {"-n", "-y"}) {
        SCOPED_TRACE(overwrite);
        expectRun({overwrite, "a.wav", inSub, "sub"},
                  head() + "input file:a.wav " + inSub + " \noutput dir:sub\n" + processingLine("a.wav") +
                      wavInfoLine(expected) + "ERROR! cannot open file to write\n" + processingLine(inSub) +
                      wavInfoLine(otherModel) + "ERROR! cannot open file to write\n",
                  "yy");
        expectRun({overwrite, inSub, "a.wav", "sub"},
                  head() + "input file:" + inSub + " a.wav \noutput dir:sub\n" + processingLine(inSub) +
                      wavInfoLine(otherModel) + "ERROR! cannot open file to write\n" + processingLine("a.wav") +
                      wavInfoLine(expected) + "ERROR! cannot open file to write\n",
                  "yy");
        EXPECT_EQ(input, get("a.wav"));
        EXPECT_EQ(other, get("sub/a.wav"));
    }
#ifndef _WIN32
    // Through links: out/a.wav leads to in/b.wav, processed after in/a.wav;
    // out/c.wav to in/a.wav, processed before in/c.wav.
    mkdir("in");
    mkdir("out");
    put("in/a.wav", input);
    put("in/b.wav", other);
    put("in/c.wav", other);
    ASSERT_EQ(0, symlink("../in/b.wav", path("out/a.wav").c_str()));
    ASSERT_EQ(0, link(path("in/a.wav").c_str(), path("out/c.wav").c_str()));
    for (const char* overwrite : {"-n", "-y"}) {
        SCOPED_TRACE(overwrite);
        unlink(path("out/b.wav").c_str());
        expectRun({overwrite, "in", "out"},
                  head() + "input dir:in\noutput dir:out\n" + processingLine("in/a.wav") + wavInfoLine(expected) +
                      "ERROR! cannot open file to write\n" +
                      testsupport::expectedFileText("in/b.wav", otherModel, std::string(overwrite) == "-y") +
                      processingLine("in/c.wav") + wavInfoLine(otherModel) + "ERROR! cannot open file to write\n",
                  "yyy");
        EXPECT_EQ(input, get("in/a.wav"));
        EXPECT_EQ(other, get("in/b.wav"));
        expectOutput("out/b.wav", otherModel);
    }
#endif
}

TEST_F(SameFile, FolderToFolderWithTheSameFolderTwiceLeavesEveryInput) {
    mkdir("in");
    put("in/x.wav", input);
    put("in/y.wav", mono8File(7));
    const Bytes y = get("in/y.wav");
    std::string each;
    for (const std::string& name : inListingOrder("in", {"x.wav", "y.wav"}))
        each += processingLine(joined("in", name)) + wavInfoLine(model(get("in/" + name))) +
                "ERROR! cannot open file to write\n";
    for (const char* overwrite : {"-n", "-y"}) {
        SCOPED_TRACE(overwrite);
        expectRun({overwrite, "in", "in"}, head() + "input dir:in\noutput dir:in\n" + each, "y");
        expectRun({overwrite, "in", "in/"}, head() + "input dir:in\noutput dir:in/\n" + each, "y");
        EXPECT_EQ(input, get("in/x.wav"));
        EXPECT_EQ(y, get("in/y.wav"));
    }
}

}  // namespace
}  // namespace e2e
