// The batch around the file runs: naming, folders, refusals, parallel
// jobs, the report, the exit status, signals, and the bad-input table.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <regex>
#include <thread>

#include "tests/qorta/qorta_fixture.h"

namespace qortatest {
namespace {

using testsupport::Bytes;
using testsupport::fileBytes;

void makeTone(const std::string& folder, const std::string& name, const std::string& rate, const std::string& channels,
              const std::string& bits, const std::string& seconds) {
    std::vector<std::string> args = {"-n", "-r", rate, "-c", channels};
    if (!bits.empty()) args.insert(args.end(), {"-b", bits});
    args.insert(args.end(), {name, "synth", seconds, "sine", "70", "sine", "900", "vol", "0.3", "dcshift", "0.01"});
    std::string sox = testsupport::findTool("sox");
    ASSERT_FALSE(sox.empty()) << "sox is not installed";
    testsupport::RunOptions options;
    options.workDir = folder;
    ASSERT_EQ(0, testsupport::runProgram(sox, args, options).exitStatus);
}

// The report with the time column (the only one that may change between
// runs) blanked.
std::string withoutTimes(const std::string& report) {
    return std::regex_replace(report, std::regex("[0-9]+\\.[0-9]+s( |\")"), "T$1");
}

class Batch : public QortaRun {};

TEST_F(Batch, NamesFoldersAndExistingOutputs) {
    ASSERT_TRUE(testsupport::makeDir(path("in")) && testsupport::makeDir(path("in/sub")) && testsupport::makeDir(path("out")));
    makeTone(dir.path(), "in/a.wav", "8000", "1", "16", "0.2");
    makeTone(dir.path(), "in/b.flac", "8000", "2", "16", "0.2");
    makeTone(dir.path(), "in/sub/c.aiff", "8000", "1", "16", "0.2");
    testsupport::RunResult r = qorta({"--quiet", "in"});
    EXPECT_EQ(0, r.exitStatus) << r.err;
    EXPECT_TRUE(exists("in/a_b.wav") && exists("in/b_b.flac"));
    EXPECT_FALSE(exists("in/sub/c_b.aiff")) << "sub-folders only with -r";
    // Again: the outputs are not taken as inputs, and are kept.
    r = qorta({"--quiet", "-r", "in"});
    EXPECT_EQ(1, r.exitStatus);
    EXPECT_EQ("qorta: in/a.wav: in/a_b.wav exists and is kept (use --overwrite to replace it)\n"
              "qorta: in/b.flac: in/b_b.flac exists and is kept (use --overwrite to replace it)\n",
              r.err);
    EXPECT_TRUE(exists("in/sub/c_b.aiff"));
    EXPECT_FALSE(exists("in/a_b_b.wav"));
    r = qorta({"--quiet", "--overwrite", "-r", "in"});
    EXPECT_EQ(0, r.exitStatus) << r.err;
    // -o DIR mirrors the sub-folders, keeping the names.
    r = qorta({"--quiet", "-r", "-o", "out", "in"});
    EXPECT_EQ(0, r.exitStatus) << r.err;
    EXPECT_TRUE(exists("out/a.wav") && exists("out/b.flac") && exists("out/sub/c.aiff"));
    EXPECT_EQ(fileBytes(path("in/a_b.wav")), fileBytes(path("out/a.wav")));
    // -o FILE for one input, --format changes the extension beside it.
    r = qorta({"--quiet", "-o", "one.flac", "--format", "flac", "in/a.wav"});
    EXPECT_EQ(0, r.exitStatus) << r.err;
    EXPECT_EQ(SF_FORMAT_FLAC, readAudio(path("one.flac")).info.format & SF_FORMAT_TYPEMASK);
    r = qorta({"--quiet", "--format", "caf", "in/a.wav"});
    EXPECT_TRUE(exists("in/a_b.caf"));
    EXPECT_TRUE(hiddenFiles("in").empty() && hiddenFiles().empty());
}

TEST_F(Batch, AnOutputThatIsAnInputIsRefused) {
    makeTone(dir.path(), "a.wav", "8000", "1", "16", "0.2");
    makeTone(dir.path(), "b.wav", "8000", "1", "16", "0.2");
    ASSERT_EQ(0, symlink("a.wav", path("link.wav").c_str()));
    ASSERT_EQ(0, link(path("b.wav").c_str(), path("hard.wav").c_str()));
    const Bytes a = fileBytes(path("a.wav")), b = fileBytes(path("b.wav"));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-o", "a.wav", "a.wav"}, {"-o", "link.wav", "a.wav"}, {"-y", "-o", "link.wav", "a.wav"},
          {"-y", "-o", "hard.wav", "b.wav"}, {"-y", "-o", ".", "a.wav", "b.wav"}}) {
        std::vector<std::string> all = {"--quiet"};
        all.insert(all.end(), args.begin(), args.end());
        const testsupport::RunResult r = qorta(all);
        EXPECT_EQ(1, r.exitStatus);
        EXPECT_NE(std::string::npos, r.err.find("is an input of this run")) << r.err;
    }
    EXPECT_EQ(a, fileBytes(path("a.wav")));
    EXPECT_EQ(b, fileBytes(path("b.wav")));
}

TEST_F(Batch, JobsChangeNeitherBytesNorReport) {
    ASSERT_TRUE(testsupport::makeDir(path("in")));
    makeTone(dir.path(), "in/1.wav", "44100", "2", "16", "1.5");
    makeTone(dir.path(), "in/2.flac", "96000", "2", "24", "0.7");
    makeTone(dir.path(), "in/3.wav", "8000", "1", "8", "1");
    makeTone(dir.path(), "in/4.aiff", "48000", "4", "24", "0.5");
    makeTone(dir.path(), "in/5.wav", "22050", "1", "16", "0.1");
    ASSERT_TRUE(testsupport::writeBytes(path("in/6.wav"), Bytes{'n', 'o', 't'}));
    ASSERT_TRUE(testsupport::makeDir(path("o1")) && testsupport::makeDir(path("o2")));
    const testsupport::RunResult first = qorta({"--quiet", "-j", "1", "-o", "o1", "--json", "one.json", "in"});
    const testsupport::RunResult second = qorta({"--quiet", "--jobs=2", "-o", "o2", "--json", "two.json", "in"});
    EXPECT_EQ(1, first.exitStatus);
    EXPECT_EQ(1, second.exitStatus);
    EXPECT_EQ(first.err, second.err);
    EXPECT_EQ("qorta: in/6.wav: not an audio file that libsndfile reads: Format not recognised.\n", first.err);
    EXPECT_EQ(withoutTimes(first.out), withoutTimes(second.out));
    const Bytes bytes1 = fileBytes(path("one.json")), bytes2 = fileBytes(path("two.json"));
    const std::string json1(bytes1.begin(), bytes1.end()), json2(bytes2.begin(), bytes2.end());
    const std::regex varying("\"seconds\": [0-9.]+|\"o[12]/");
    EXPECT_EQ(std::regex_replace(json1, varying, ""), std::regex_replace(json2, varying, ""));
    EXPECT_NE(std::string::npos, json1.find("\"written\": 5, \"failed\": 1")) << json1;
    for (const char* name : {"1.wav", "2.flac", "3.wav", "4.aiff", "5.wav"}) {
        SCOPED_TRACE(name);
        const Bytes a = fileBytes(path(std::string("o1/") + name));
        EXPECT_FALSE(a.empty());
        EXPECT_EQ(a, fileBytes(path(std::string("o2/") + name)));
    }
    // The table lists the files in input order.
    EXPECT_LT(first.out.find("in/1.wav"), first.out.find("in/2.flac"));
    EXPECT_LT(first.out.find("in/5.wav"), first.out.find("in/6.wav"));
}

TEST_F(Batch, CommandLine) {
    testsupport::RunResult r = qorta({"--help"});
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_NE(std::string::npos, r.out.find("Usage: qorta"));
    r = qorta({"--version"});
    EXPECT_EQ(0, r.exitStatus);
    EXPECT_EQ(0u, r.out.find("qorta "));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {"--bogus", "a.wav"}, {"-e"}, {"-q", "301", "a.wav"}, {"-q", "-1", "a.wav"},
          {"--fade-in=x", "a.wav"}, {"-j", "0", "a.wav"}, {"--format", "mp9", "a.wav"}, {"--peak", "loud", "a.wav"},
          {"-", "-"}}) {
        r = qorta(args);
        EXPECT_EQ(2, r.exitStatus) << (args.empty() ? "" : args[0]);
        EXPECT_EQ(0u, r.err.find("qorta: ")) << r.err;
    }
    // "--" ends the options; '-' reads standard input, and -o - writes to
    // standard output (here a pipe) in a format written without seeking.
    makeTone(dir.path(), "x.wav", "8000", "1", "16", "0.2");
    ASSERT_EQ(0, rename(path("x.wav").c_str(), path("-x.wav").c_str()));
    r = qorta({"--quiet", "--", "-x.wav"});
    EXPECT_EQ(0, r.exitStatus) << r.err;
    EXPECT_TRUE(exists("-x_b.wav"));
    testsupport::RunOptions options;
    options.workDir = dir.path();
    const Bytes input = fileBytes(path("-x.wav"));
    options.input.assign(input.begin(), input.end());
    r = testsupport::runProgram(QORTA_PATH, {"--quiet", "--format", "au", "-o", "-", "-"}, options);
    EXPECT_EQ(0, r.exitStatus) << r.err;
    ASSERT_TRUE(testsupport::writeBytes(path("piped.au"), Bytes(r.out.begin(), r.out.end())));
    const Audio piped = readAudio(path("piped.au")), fromFile = readAudio(path("-x_b.wav"));
    EXPECT_TRUE(piped.ok);
    EXPECT_EQ(fromFile.ints, piped.ints);
    EXPECT_NE(std::string::npos, r.err.find("written")) << "the report goes to standard error then";
    // Progress on a terminal only, and not with --quiet.
    testsupport::RunOptions terminal;
    terminal.workDir = dir.path();
    r = testsupport::runInTerminal(QORTA_PATH, {"-y", "--", "-x.wav"}, terminal, {});
    EXPECT_NE(std::string::npos, r.out.find("1/1 done")) << r.out;
    r = testsupport::runInTerminal(QORTA_PATH, {"-y", "--quiet", "--", "-x.wav"}, terminal, {});
    EXPECT_EQ(std::string::npos, r.out.find("done")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("written")) << r.out;
    r = testsupport::runProgram(QORTA_PATH, {"--quiet", "-o", "-", "-"}, options);
    EXPECT_EQ(1, r.exitStatus);
    EXPECT_NE(std::string::npos, r.err.find("qorta: -: cannot write wav:16 to standard output")) << r.err;
}

// A signal in the middle of a long file: no file under the output's name,
// an existing output untouched; the handled signals also remove the
// temporary file and end the program with the signal.
class Interrupted : public QortaRun, public ::testing::WithParamInterface<int> {};

TEST_P(Interrupted, LeavesNoPartialOutput) {
    const int signalNumber = GetParam();
    makeTone(dir.path(), "long.wav", "96000", "2", "24", "120");
    ASSERT_TRUE(testsupport::writeBytes(path("kept_b.wav"), Bytes{'o', 'l', 'd'}));
    ASSERT_EQ(0, symlink("long.wav", path("kept.wav").c_str()));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        execl(QORTA_PATH, QORTA_PATH, "--quiet", "--overwrite", "--peak", "-1", "long.wav", "kept.wav",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait until a temporary file has grown, that is the write pass runs.
    bool running = false;
    for (int i = 0; i < 600 && !running; ++i) {
        for (const std::string& name : hiddenFiles()) {
            struct stat st;
            if (stat(path(name).c_str(), &st) == 0 && st.st_size > 1000000) running = true;
        }
        if (!running) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(running) << "no temporary file grew";
    kill(child, signalNumber);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(signalNumber, WTERMSIG(status));
    EXPECT_FALSE(exists("long_b.wav"));
    EXPECT_EQ((Bytes{'o', 'l', 'd'}), fileBytes(path("kept_b.wav")));
    if (signalNumber != SIGKILL) {
        EXPECT_TRUE(hiddenFiles().empty());
    }
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted, ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGKILL));

}  // namespace
}  // namespace qortatest
