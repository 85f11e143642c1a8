// The bad-input table: each bad file gives one "qorta: FILE: ..." line,
// exit status 1, no output and no temporary file, and the other file of the
// batch comes out as if it ran alone.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "tests/qorta/qorta_fixture.h"

namespace qortatest {
namespace {

using testsupport::Bytes;
using testsupport::fileBytes;

void put32(Bytes* b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) (*b)[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct BadInput {
    const char* name;
    const char* file;     // the bad input's name
    const char* source;   // "wav", "flac", "nine", "corpus:NAME" or "text"
    int keepPercent;      // the share of the source's bytes kept (100 = all); below 0: -bytes kept
    std::uint32_t rate;   // != 0: the WAV header's sample rate is set to this
    const char* reason;   // text the message must hold
};

void PrintTo(const BadInput& b, std::ostream* os) { *os << b.name; }

class BadInputTable : public QortaRun, public ::testing::WithParamInterface<BadInput> {};

TEST_P(BadInputTable, OneLineNoOutputOthersWritten) {
    const BadInput& c = GetParam();
    tool("sox", {"-n", "-r", "8000", "-c", "2", "-b", "16", "good.wav", "synth", "0.5", "sine", "70", "vol", "0.4"});
    tool("sox", {"-n", "-r", "8000", "-c", "1", "-b", "16", "src.wav", "synth", "0.5", "sine", "70", "vol", "0.4"});
    tool("sox", {"-n", "-r", "8000", "-c", "1", "src.flac", "synth", "0.5", "sine", "70", "vol", "0.4"});
    tool("sox", {"-n", "-r", "8000", "-c", "9", "-b", "16", "nine.wav", "synth", "0.1", "sine", "70"});
    if (IsSkipped() || HasFatalFailure()) return;
    Bytes bytes;
    const std::string source = c.source;
    if (source == "text") bytes = Bytes{'h', 'e', 'l', 'l', 'o', '\n'};
    else if (source.compare(0, 7, "corpus:") == 0)
        bytes = fileBytes(QORTA_CORPUS_DIR "/qortaiir_file/" + source.substr(7));
    else bytes = fileBytes(path(source == "nine" ? "nine.wav" : "src." + source));
    ASSERT_FALSE(source != "text" && bytes.empty());
    bytes.resize(c.keepPercent < 0 ? static_cast<std::size_t>(-c.keepPercent)
                                   : bytes.size() * static_cast<std::size_t>(c.keepPercent) / 100);
    if (c.rate != 0) {
        put32(&bytes, 24, c.rate);
        put32(&bytes, 28, c.rate * 2);
    }
    ASSERT_TRUE(testsupport::writeBytes(path(c.file), bytes));
    ASSERT_EQ(0, qorta({"--quiet", "-o", "alone.wav", "good.wav"}).exitStatus);

    const testsupport::RunResult r = qorta({"--quiet", c.file, "good.wav"});
    EXPECT_EQ(1, r.exitStatus);
    const std::string prefix = std::string("qorta: ") + c.file + ": ";
    EXPECT_EQ(0u, r.err.find(prefix)) << r.err;
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    EXPECT_NE(std::string::npos, r.err.find(c.reason)) << r.err;
    std::string stem = c.file;
    stem = stem.substr(0, stem.rfind('.'));
    EXPECT_FALSE(exists(stem + "_b.wav") || exists(stem + "_b.flac"));
    EXPECT_TRUE(hiddenFiles().empty());
    EXPECT_EQ(fileBytes(path("alone.wav")), fileBytes(path("good_b.wav")));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadInputTable,
    ::testing::Values(BadInput{"NotAudio", "notes.wav", "text", 100, 0, "not an audio file"},
                      BadInput{"Empty", "empty.wav", "wav", 0, 0, "the file is empty"},
                      BadInput{"WavHeaderCut", "head.wav", "wav", -30, 0, "not an audio file"},
                      BadInput{"WavDataCut", "cut.wav", "wav", 60, 0, "the file is cut short"},
                      BadInput{"FlacHeaderCut", "head.flac", "flac", -30, 0, "not an audio file"},
                      BadInput{"FlacDataCut", "cut.flac", "flac", 60, 0, "the file ends early"},
                      BadInput{"ZeroChannels", "zero.wav", "corpus:zero-channels.wav", 100, 0, "not an audio file"},
                      BadInput{"NineChannels", "nine9.wav", "nine", 100, 0, "9 channels"},
                      BadInput{"RateRefused", "rate0.wav", "wav", 100, 0xFFFFFFFFu, "not an audio file"},
                      BadInput{"RateBelowTen", "rate9.wav", "corpus:rate9.wav", 100, 0, "9 Hz"},
                      BadInput{"KernelDoesNotFit", "fast.wav", "wav", 100, 2000000000u, "FIR kernel"}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

// Output folders that cannot take the file, and a disk that fills up
// during the write (a file size limit stands in for it).
TEST_F(QortaRun, OutputsThatCannotBeWritten) {
    tool("sox", {"-n", "-r", "8000", "-c", "1", "-b", "16", "small.wav", "synth", "0.1", "sine", "70", "vol", "0.4"});
    tool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", "large.wav", "synth", "3", "sine", "70", "vol", "0.4"});
    if (IsSkipped() || HasFatalFailure()) return;
    testsupport::RunResult r = qorta({"--quiet", "-o", "missing/out.wav", "small.wav"});
    EXPECT_EQ(1, r.exitStatus);
    EXPECT_EQ(0u, r.err.find("qorta: small.wav: cannot create a file in missing: No such file")) << r.err;
    if (geteuid() != 0) {
        ASSERT_TRUE(testsupport::makeDir(path("ro")));
        chmod(path("ro").c_str(), 0555);
        r = qorta({"--quiet", "-o", "ro/out.wav", "small.wav"});
        EXPECT_EQ(1, r.exitStatus);
        EXPECT_NE(std::string::npos, r.err.find("Permission denied")) << r.err;
        chmod(path("ro").c_str(), 0755);
    }
    testsupport::RunOptions options;
    options.workDir = dir.path();
    options.fileSizeLimit = 100000;
    r = testsupport::runProgram(QORTA_PATH, {"--quiet", "-j", "1", "large.wav", "small.wav"}, options);
    EXPECT_EQ(1, r.exitStatus);
    EXPECT_EQ(0u, r.err.find("qorta: large.wav: cannot write frame ")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("of the output: ")) << r.err;
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    EXPECT_FALSE(exists("large_b.wav"));
    EXPECT_TRUE(exists("small_b.wav"));
    EXPECT_TRUE(hiddenFiles().empty());
}

}  // namespace
}  // namespace qortatest
