// WAV files written by other tools: sox makes the audio, the libsndfile
// command-line tools add metadata chunks. Tests whose tool is missing are
// skipped with a message.
#include "tests/console/e2e_fixture.h"

namespace e2e {
namespace {

using testsupport::expectedFileText;
using testsupport::findTool;

std::size_t find(const Bytes& bytes, const std::string& text) {
    auto at = std::search(bytes.begin(), bytes.end(), text.begin(), text.end());
    return at == bytes.end() ? std::string::npos : static_cast<std::size_t>(at - bytes.begin());
}

class RealFiles : public QortaiirRun {
protected:
    void SetUp() override {
        QortaiirRun::SetUp();
#ifdef _WIN32
        GTEST_SKIP() << "sox and the libsndfile tools are Linux programs: not run from the Windows build";
#endif
        sox = findTool("sox");
        if (sox.empty()) GTEST_SKIP() << "sox is not installed (Debian package sox): files of another tool not tested";
    }

    // Runs a tool in the scratch folder and expects it to succeed.
    void tool(const std::string& program, const std::vector<std::string>& args) {
        testsupport::RunOptions options;
        options.workDir = dir.path();
        testsupport::RunResult r = testsupport::runProgram(program, args, options);
        ASSERT_TRUE(r.exited && r.exitStatus == 0) << program << " failed: " << r.err;
    }

    // Corrects `name` with the given options and expects the model's text
    // and output file.
    void expectCorrected(const std::string& name, const std::vector<std::string>& options,
                         const ReferenceSettings& s) {
        const Bytes input = get(name);
        const ReferenceResult expected = model(input, s);
        ASSERT_EQ(testsupport::ReferenceOutcome::Processed, expected.outcome);
        std::vector<std::string> args = options;
        args.push_back(name);
        args.push_back("out.wav");
        expectRun(args, head(s) + pairLines(name, "out.wav") + expectedFileText(name, expected, true));
        expectOutput("out.wav", expected);
    }

    std::string sox;
};

TEST_F(RealFiles, SixteenBitStereoFromSox) {
    tool(sox, {"-n", "-r", "44100", "-c", "2", "-b", "16", "s16.wav", "synth", "0.5", "sine", "50", "sine", "3000",
               "vol", "0.4", "dcshift", "0.05"});
    ReferenceResult header = model(get("s16.wav"));
    EXPECT_EQ(2, header.channels);
    EXPECT_EQ(16, header.bitsPerSample);
    EXPECT_EQ(22050u, header.totalFrames);
    expectCorrected("s16.wav", {"-e", "80"}, settings(80));
}

TEST_F(RealFiles, EightBitMonoFromSox) {
    tool(sox, {"-n", "-r", "8000", "-c", "1", "-b", "8", "-e", "unsigned-integer", "u8.wav", "synth", "0.7", "square",
               "70", "vol", "0.3"});
    ReferenceResult header = model(get("u8.wav"));
    EXPECT_EQ(1, header.channels);
    EXPECT_EQ(8, header.bitsPerSample);
    EXPECT_EQ(5600u, header.totalFrames);
    expectCorrected("u8.wav", {"-g", "70", "-o", "300"}, settings(100, 70, 0, 300));
}

TEST_F(RealFiles, MetadataChunksAroundTheDataAreSkipped) {
    const std::string metadata = findTool("sndfile-metadata-set");
    if (metadata.empty())
        GTEST_SKIP() << "sndfile-metadata-set is not installed (Debian package sndfile-programs): "
                        "files with LIST and bext chunks not tested";
    tool(sox, {"-n", "-r", "22050", "-c", "2", "-b", "16", "plain.wav", "synth", "0.3", "sine", "120", "vol", "0.5"});
    tool(metadata, {"--bext-description", "line-in take", "--str-comment", "take one", "--str-title", "Song",
                    "plain.wav", "tagged.wav"});
    const Bytes tagged = get("tagged.wav");
    const std::size_t data = find(tagged, "data");
    ASSERT_NE(std::string::npos, data);
    ASSERT_LT(find(tagged, "bext"), data) << "expected a bext chunk between fmt and data";
    ASSERT_NE(std::string::npos, find(tagged, "LIST")) << "expected a LIST chunk";
    ASSERT_GT(find(tagged, "LIST"), data);
    // The metadata bytes are neither corrected nor written.
    expectCorrected("tagged.wav", {}, ReferenceSettings());
    EXPECT_EQ(46u + 6615u * 4, get("out.wav").size());
    EXPECT_EQ(model(get("plain.wav")).output, get("out.wav"));
}

TEST_F(RealFiles, ExtensibleAndFloatFilesAreRefused) {
    tool(sox, {"-n", "-r", "44100", "-c", "4", "-b", "16", "quad.wav", "synth", "0.1", "sine", "300"});
    tool(sox, {"-n", "-r", "44100", "-c", "2", "-b", "24", "deep.wav", "synth", "0.1", "sine", "300"});
    tool(sox, {"-n", "-r", "44100", "-c", "1", "-e", "floating-point", "-b", "32", "float.wav", "synth", "0.1",
               "sine", "300"});
    for (const char* name : {"quad.wav", "deep.wav", "float.wav"}) {
        SCOPED_TRACE(name);
        const Bytes file = get(name);
        ASSERT_GT(file.size(), 22u);
        const int tag = file[20] | (file[21] << 8);
        EXPECT_TRUE(tag == 0xFFFE || tag == 3) << "format tag " << tag;
        expectRun({name, "out.wav"}, head() + pairLines(name, "out.wav") + testsupport::processingLine(name) +
                                         "ERROR! illegal wav format\n");
        EXPECT_FALSE(exists("out.wav"));
    }
}

TEST_F(RealFiles, SoxReadsTheCorrectedFile) {
    tool(sox, {"-n", "-r", "32000", "-c", "2", "-b", "16", "in.wav", "synth", "0.25", "sine", "90", "sine", "400",
               "vol", "0.3"});
    expectCorrected("in.wav", {"-g", "50"}, settings(100, 50));
    tool(sox, {"out.wav", "-t", "raw", "out.raw"});
    const Bytes written = get("out.wav");
    EXPECT_EQ(Bytes(written.begin() + 46, written.end()), get("out.raw"));
    testsupport::RunOptions options;
    options.workDir = dir.path();
    testsupport::RunResult info = testsupport::runProgram(sox, {"--i", "-r", "out.wav"}, options);
    EXPECT_EQ("32000\n", info.out);
}

}  // namespace
}  // namespace e2e
