// Every kind of bad input, run through both built programs: what each gets
// (the table in the README's "Bad input" section), and that the batch goes on with the
// next file unharmed. Bad input files stand first in a multi-file batch
// whose last file is good; its text and output must be those of a run of
// the good file alone.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/program_runner.h"
#include "tests/support/reference_model.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

namespace {

using testsupport::Bytes;
using testsupport::WavLayout;

struct Program {
    const char* name;
    const char* path;
    const char* head;  // banner and settings line with the default settings
};

const Program QORTAIIR = {
    "qortaiir", QORTAIIR_PATH,
    "qortaiir - bass level corrector (IIR0.10) for PC-QORTA/PCI line-in by KALDOR\n"
    "Setting: Effect=100, Gain=100, FadeIn=0, FadeOut=0\n"};
const Program QORTAFIR = {
    "qortafir", QORTAFIR_PATH,
    "qortafir - bass level corrector (FIR0.10) for PC-QORTA/PCI line-in by KALDOR\n"
    "Setting: Quality=100, Effect=100, Gain=100, FadeIn=0, FadeOut=0\n"};

void PrintTo(const Program& program, std::ostream* out) { *out << program.name; }

const char* const CANNOT_OPEN = "ERROR! cannot open file to read\n";
const char* const ILLEGAL_FORMAT = "ERROR! illegal wav format\n";
const char* const CANNOT_READ = "ERROR! cannot read file\n";
const char* const CANNOT_CREATE = "ERROR! cannot open file to write\n";
const char* const CANNOT_WRITE = "ERROR! cannot write file\n";
const char* const CANNOT_OPEN_DIR = "ERROR! cannot open dir to read\n";

// A good 16-bit stereo file of `frames` frames at `rate` Hz.
Bytes goodFile(std::size_t frames = 2000, std::uint32_t rate = 22050) {
    return testsupport::pcmWav(2, rate, 16, testsupport::sine16(frames, 2, rate, 90, 9000, 400));
}

std::string wavInfo(const Bytes& file) {
    return testsupport::wavInfoLine(testsupport::referenceRun(file, testsupport::ReferenceSettings()));
}

class BadInput : public ::testing::TestWithParam<Program> {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        put("good.wav", good);
        // The good file alone: its text and output are what it must get
        // behind any bad file.
        ASSERT_TRUE(testsupport::makeDir(dir.file("alone")));
        const std::string lead = std::string(GetParam().head) + "input file:good.wav \noutput dir:alone\n";
        const testsupport::RunResult r = run({"good.wav", "alone"});
        ASSERT_EQ(0u, r.out.find(lead)) << r.out;
        goodText = testsupport::normaliseElapsed(r.out.substr(lead.size()));
        ASSERT_NE(std::string::npos, goodText.find("elapse M:SS\n")) << goodText;
        goodOutput = get("alone/good.wav");
        ASSERT_GT(goodOutput.size(), 46u);
    }

    testsupport::RunResult run(const std::vector<std::string>& args, const std::string& input = "") {
        testsupport::RunOptions options;
        options.workDir = dir.path();
        options.input = input;
        return testsupport::runProgram(GetParam().path, args, options);
    }

    // Runs the program and expects exit status 0, nothing on standard error
    // and `expected` on standard output (elapsed times normalised).
    void expectRun(const std::vector<std::string>& args, const std::string& expected, const std::string& input = "") {
        const testsupport::RunResult r = run(args, input);
        ASSERT_TRUE(r.exited) << "signal " << r.signal;
        EXPECT_EQ(0, r.exitStatus);
        EXPECT_EQ("", r.err);
        EXPECT_EQ(expected, testsupport::normaliseElapsed(r.out));
    }

    // Runs "PROGRAM bad... good.wav out" where each bad file (already in the
    // folder) gets `texts[i]` after its processing line; expects no output
    // for the bad files, every input unchanged and the good file's output.
    void expectBatch(const std::vector<std::string>& bad, const std::vector<std::string>& texts) {
        std::vector<Bytes> before;
        for (const std::string& name : bad) before.push_back(get(name));
        mkdir(dir.file("out").c_str(), 0777);
        std::vector<std::string> args = bad;
        args.push_back("good.wav");
        args.push_back("out");
        std::string expected = std::string(GetParam().head) + "input file:";
        for (std::size_t i = 0; i + 1 < args.size(); ++i) expected += args[i] + " ";
        expected += "\noutput dir:out\n";
        for (std::size_t i = 0; i < bad.size(); ++i) expected += processing(bad[i]) + texts[i];
        expectRun(args, expected + goodText);
        for (std::size_t i = 0; i < bad.size(); ++i) {
            EXPECT_EQ(before[i], get(bad[i])) << bad[i] << " changed";
            const std::string output = "out/" + bad[i].substr(bad[i].rfind('/') + 1);
            EXPECT_FALSE(testsupport::pathExists(dir.file(output))) << output;
        }
        EXPECT_EQ(goodOutput, get("out/good.wav"));
    }

    // Puts each file and expects `text` for all of them in one batch.
    void expectRefusedFiles(const std::vector<std::pair<std::string, Bytes>>& files, const std::string& text) {
        std::vector<std::string> names, texts;
        for (const auto& file : files) {
            put(file.first, file.second);
            names.push_back(file.first);
            texts.push_back(text);
        }
        expectBatch(names, texts);
    }

    static std::string processing(const std::string& name) { return "\nprocessing file \"" + name + "\"\n"; }
    void put(const std::string& name, const Bytes& bytes) {
        ASSERT_TRUE(testsupport::writeBytes(dir.file(name), bytes)) << name;
    }
    Bytes get(const std::string& name) const { return testsupport::fileBytes(dir.file(name)); }
    bool isFir() const { return std::string(GetParam().name) == "qortafir"; }

    testsupport::TempDir dir;
    const Bytes good = goodFile();
    std::string goodText;
    Bytes goodOutput;
};

TEST_P(BadInput, MissingFileOrAFolderInItsPlace) {
    ASSERT_EQ(0, mkdir(dir.file("folder.wav").c_str(), 0777));
    expectBatch({"missing.wav", "folder.wav"}, {CANNOT_OPEN, CANNOT_OPEN});
}

TEST_P(BadInput, PipesFifosAndDevicesAreRefusedWithoutWaiting) {
    // A FIFO nobody writes to, standard input (a pipe holding a good file)
    // and a character device.
    ASSERT_EQ(0, mkfifo(dir.file("fifo.wav").c_str(), 0666));
    ASSERT_EQ(0, symlink("/dev/stdin", dir.file("stdin.wav").c_str()));
    ASSERT_EQ(0, symlink("/dev/zero", dir.file("zero.wav").c_str()));
    mkdir(dir.file("out").c_str(), 0777);
    expectRun({"-y", "fifo.wav", "stdin.wav", "zero.wav", "good.wav", "out"},
              std::string(GetParam().head) + "input file:fifo.wav stdin.wav zero.wav good.wav \noutput dir:out\n" +
                  processing("fifo.wav") + CANNOT_OPEN + processing("stdin.wav") + CANNOT_OPEN +
                  processing("zero.wav") + CANNOT_OPEN + goodText,
              std::string(good.begin(), good.end()));
    for (const char* name : {"out/fifo.wav", "out/stdin.wav", "out/zero.wav"})
        EXPECT_FALSE(testsupport::pathExists(dir.file(name))) << name;
    EXPECT_EQ(goodOutput, get("out/good.wav"));
    // /dev/stdin itself is not a name ending in .wav: no mode, only the usage.
    const std::string head = GetParam().head;
    const testsupport::RunResult bare = run({"-y", "/dev/stdin", "o.wav"}, std::string(good.begin(), good.end()));
    EXPECT_EQ(0u, bare.out.find(head.substr(0, head.find('\n') + 1) + "ERROR : illegal filename or dir.\n\nUSAGE"))
        << bare.out;
    EXPECT_FALSE(testsupport::pathExists(dir.file("o.wav")));

    // A folder-to-folder listing leaves them out, as it leaves out folders.
    ASSERT_EQ(0, mkdir(dir.file("in").c_str(), 0777));
    ASSERT_EQ(0, mkfifo(dir.file("in/fifo.wav").c_str(), 0666));
    ASSERT_EQ(0, symlink("/dev/zero", dir.file("in/zero.wav").c_str()));
    put("in/good.wav", good);
    unlink(dir.file("out/good.wav").c_str());
    std::string inFolder = goodText;
    inFolder.replace(0, processing("good.wav").size(), processing("in/good.wav"));
    expectRun({"-y", "in", "out"}, std::string(GetParam().head) + "input dir:in\noutput dir:out\n" + inFolder);
    EXPECT_EQ(goodOutput, get("out/good.wav"));
}

TEST_P(BadInput, InputFolderMissingOrUnreadable) {
    put("notes.txt", good);
    ASSERT_EQ(0, mkdir(dir.file("locked").c_str(), 0));
    std::vector<std::string> folders = {"nosuchdir", "notes.txt"};
    // Folder permissions do not hold for the superuser.
    if (geteuid() != 0) folders.push_back("locked");
    for (const std::string& folder : folders) {
        SCOPED_TRACE(folder);
        expectRun({"-y", folder, "out"}, std::string(GetParam().head) + "input dir:" + folder +
                                             "\noutput dir:out\n" + CANNOT_OPEN_DIR);
    }
    // A folder without WAV files is an empty batch, without a message.
    ASSERT_EQ(0, mkdir(dir.file("empty").c_str(), 0777));
    ASSERT_EQ(0, mkdir(dir.file("empty/sub.wav").c_str(), 0777));
    put("empty/notes.txt", good);
    expectRun({"-y", "empty", "out"}, std::string(GetParam().head) + "input dir:empty\noutput dir:out\n");
    chmod(dir.file("locked").c_str(), 0777);
}

TEST_P(BadInput, FilesThatAreNotWav) {
    const std::string text = "just some text, not audio\n";
    Bytes mp3 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 0, 0xFF, 0xFB, 0x90, 0x64};
    mp3.resize(600, 0x55);
    WavLayout avi;
    avi.waveId = "AVI ";
    avi.data = Bytes(400, 1);
    WavLayout rifx;
    rifx.riffId = "RIFX";
    rifx.data = Bytes(400, 1);
    expectRefusedFiles({{"empty.wav", Bytes()},
                        {"text.wav", Bytes(text.begin(), text.end())},
                        {"mp3.wav", mp3},
                        {"avi.wav", testsupport::buildWav(avi)},
                        {"rifx.wav", testsupport::buildWav(rifx)}},
                       ILLEGAL_FORMAT);
}

TEST_P(BadInput, HeaderCutAtEveryByte) {
    WavLayout l;
    l.fmtBodySize = 18;
    l.cbSize = 2;  // two extra fmt bytes that must be read too
    l.fmtTail = {0, 0};
    l.fmtBodySize = 20;
    l.fmtSizeField = 18;
    l.afterFmt.push_back(testsupport::chunk("LIST", Bytes(6, 'i')));
    l.data = Bytes(40, 3);
    const Bytes whole = testsupport::buildWav(l);
    const std::size_t headerBytes = whole.size() - 40;  // up to the data chunk's size field
    std::vector<std::pair<std::string, Bytes>> cuts;
    for (std::size_t length = 0; length < headerBytes; ++length)
        cuts.push_back({"cut" + std::to_string(length) + ".wav", Bytes(whole.begin(), whole.begin() + length)});
    expectRefusedFiles(cuts, ILLEGAL_FORMAT);
}

TEST_P(BadInput, EveryRefusedFmtVariant) {
    std::vector<std::pair<std::string, Bytes>> files;
    auto add = [&](const std::string& name, auto change) {
        WavLayout l;
        l.data = Bytes(800, 0x21);
        change(l);
        files.push_back({name + ".wav", testsupport::buildWav(l)});
    };
    add("float", [](WavLayout& l) { l.formatTag = 3; l.bitsPerSample = 32; });
    add("adpcm", [](WavLayout& l) { l.formatTag = 2; l.bitsPerSample = 4; l.fmtBodySize = 20; l.cbSize = 2; });
    add("alaw", [](WavLayout& l) { l.formatTag = 6; l.bitsPerSample = 8; l.fmtBodySize = 18; });
    add("extensible", [](WavLayout& l) { l.formatTag = 0xFFFE; l.fmtBodySize = 40; l.cbSize = 22; });
    add("bits4", [](WavLayout& l) { l.fmtBodySize = 18; l.bitsPerSample = 4; });
    add("bits12", [](WavLayout& l) { l.fmtBodySize = 18; l.bitsPerSample = 12; l.blockAlign = 4; });
    add("bits24", [](WavLayout& l) { l.bitsPerSample = 24; });
    add("bits32", [](WavLayout& l) { l.bitsPerSample = 32; });
    add("bits24-by-block-align", [](WavLayout& l) { l.blockAlign = 6; });
    add("fmt13", [](WavLayout& l) { l.fmtBodySize = 13; });
    add("fmt65550", [](WavLayout& l) { l.fmtBodySize = 65550; });
    add("fmt-longer-than-file", [](WavLayout& l) { l.fmtSizeField = 5000; });
    add("junk-before-fmt", [](WavLayout& l) { l.beforeFmt.push_back(testsupport::chunk("JUNK", Bytes(8, 0))); });
    add("no-fmt", [](WavLayout& l) { l.hasFmt = false; });
    add("no-data", [](WavLayout& l) { l.hasData = false; });
    add("chunk-past-the-end", [](WavLayout& l) {
        l.hasData = false;
        l.afterFmt.push_back(testsupport::chunk("LIST", Bytes(4, 0), 0x7FFFFFFF));
    });
    expectRefusedFiles(files, ILLEGAL_FORMAT);
}

TEST_P(BadInput, MoreThanTwoOrZeroChannels) {
    std::vector<std::pair<std::string, Bytes>> files;
    for (std::uint16_t channels : {3, 4, 6, 8, 65535}) {
        WavLayout l;
        l.channels = channels;
        l.data = Bytes(960, 7);
        files.push_back({"ch" + std::to_string(channels) + ".wav", testsupport::buildWav(l)});
    }
    WavLayout zero;
    zero.channels = 0;
    zero.blockAlign = 4;  // bits per sample would divide by the channel count
    zero.data = Bytes(960, 7);
    files.push_back({"ch0.wav", testsupport::buildWav(zero)});
    zero.fmtBodySize = 18;  // bits per sample as stored
    files.push_back({"ch0-fmt18.wav", testsupport::buildWav(zero)});
    expectRefusedFiles(files, ILLEGAL_FORMAT);
}

TEST_P(BadInput, OddSampleRates) {
    std::vector<std::pair<std::string, Bytes>> files;
    for (std::uint32_t rate : {0u, 1u, 9u}) {
        files.push_back({"rate" + std::to_string(rate) + ".wav", goodFile(100, rate)});
    }
    expectRefusedFiles(files, ILLEGAL_FORMAT);

    // 10 Hz and odd rates are processed; a rate whose FIR kernel would
    // reach beyond qortafir's window (quality x rate / 5000 > 262144) is
    // refused by qortafir only.
    for (std::uint32_t rate : {10u, 12345u, 13107250u}) {
        SCOPED_TRACE(rate);
        const Bytes file = goodFile(60, rate);
        put("odd.wav", file);
        unlink(dir.file("odd_b.wav").c_str());
        const testsupport::RunResult r = run({"odd.wav"});
        const std::string lead = std::string(GetParam().head) + "input file:odd.wav\noutput file:odd_b.wav\n" +
                                 processing("odd.wav") + wavInfo(file);
        ASSERT_EQ(0u, r.out.find(lead)) << r.out;
        const bool refused = isFir() && rate == 13107250u;
        if (refused) {
            EXPECT_EQ(lead + "ERROR! quality out of range\n", r.out);
        } else {
            EXPECT_NE(std::string::npos, r.out.find("elapse ")) << r.out;
            EXPECT_EQ(46u + 60 * 4, get("odd_b.wav").size());
        }
        EXPECT_EQ(!refused, testsupport::pathExists(dir.file("odd_b.wav")));
    }
}

TEST_P(BadInput, QualityTheWindowCannotHold) {
    if (!isFir()) GTEST_SKIP() << "only qortafir has a quality";
    // Every negative quality is refused, also -70000, whose unsigned kernel
    // length at 44.1 kHz would fit; 300 (the cap) at 4400 kHz asks for
    // 264000 taps per side. Products beyond 32 bits count in full: 15 MHz
    // at 300 is N = 900000 (not 41006), 45 MHz at 100 is 900000, and
    // 2^31 Hz at 100 is 42949672 (not 0).
    const struct {
        const char* quality;
        std::uint32_t rate;
    } cases[] = {{"-5", 22050},      {"-70000", 44100},   {"300", 4400000},
                 {"300", 15000000}, {"100", 45000000}, {"100", 2147483648u}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.quality) + " at " + std::to_string(c.rate));
        const Bytes input = goodFile(60, c.rate);
        put("in.wav", input);
        const std::string settings = std::string("Setting: Quality=") + c.quality +
                                     ", Effect=100, Gain=100, FadeIn=0, FadeOut=0\n";
        const std::string banner = "qortafir - bass level corrector (FIR0.10) for PC-QORTA/PCI line-in by KALDOR\n";
        expectRun({"-q", c.quality, "in.wav", "q.wav"}, banner + settings + "input file:in.wav\noutput file:q.wav\n" +
                                                            processing("in.wav") + wavInfo(input) +
                                                            "ERROR! quality out of range\n");
        EXPECT_FALSE(testsupport::pathExists(dir.file("q.wav")));
    }
}

TEST_P(BadInput, AbsurdSettingsClipAndWarnInsteadOfGoingSilent) {
    // A value beyond the double range is the largest double: every sample
    // but the few near a zero crossing clips, at an infinite peak. With the
    // gain too, qortafir's kernel overflows and its sums are NaN, which is
    // written as silence and counts as clipped too.
    for (bool nan : {false, true}) {
        if (nan && !isFir()) continue;
        SCOPED_TRACE(nan ? "NaN" : "huge");
        std::vector<std::string> args = {"-y", "-n", "-e", "1e400", "good.wav", "o.wav"};
        if (nan) args.insert(args.begin(), {"-g", "1e400"});
        const testsupport::RunResult r = run(args);
        EXPECT_NE(std::string::npos, r.out.find("\nWARN! Cliped (inf%)\nelapse ")) << r.out;
        const Bytes out = get("o.wav");
        ASSERT_EQ(46u + 2000 * 4, out.size());
        std::size_t limits = 0, zeros = 0;
        for (std::size_t i = 46; i + 1 < out.size(); i += 2) {
            const auto sample = static_cast<std::int16_t>(out[i] | (out[i + 1] << 8));
            limits += sample == 32767 || sample == -32768;
            zeros += sample == 0;
        }
        const std::size_t samples = (out.size() - 46) / 2;
        if (nan) EXPECT_EQ(samples, zeros);
        else EXPECT_GT(limits, samples * 99 / 100);
    }
}

TEST_P(BadInput, OddChunkWithOrWithoutItsPadByte) {
    // The sample data is that of the good file: so is the output.
    WavLayout l = testsupport::pcmLayout(2, 22050, 16, testsupport::sine16(2000, 2, 22050, 90, 9000, 400));
    ASSERT_EQ(good, testsupport::buildWav(l));
    l.afterFmt = {testsupport::chunk("LIST", Bytes(13, 'x')), testsupport::chunk("iXML", Bytes(5, 'y'))};
    put("bare.wav", testsupport::buildWav(l));
    l.afterFmt[0].padOdd = l.afterFmt[1].padOdd = true;
    put("padded.wav", testsupport::buildWav(l));
    for (const char* name : {"bare", "padded"}) {
        SCOPED_TRACE(name);
        const testsupport::RunResult r = run({"-n", std::string(name) + ".wav"});
        EXPECT_NE(std::string::npos, r.out.find("elapse ")) << r.out;
        EXPECT_EQ(goodOutput, get(std::string(name) + "_b.wav"));
    }
}

TEST_P(BadInput, DataChunkLongerThanTheFile) {
    WavLayout l;
    l.data = testsupport::sine16(500, 2, 22050, 90, 9000, 0);
    l.dataSizeField = 2004;  // one frame more than the file holds
    const Bytes oneFrameShort = testsupport::buildWav(l);
    l.dataSizeField = 0xFFFFFFF0u;
    const Bytes huge = testsupport::buildWav(l);
    put("short.wav", oneFrameShort);
    put("huge.wav", huge);
    expectBatch({"short.wav", "huge.wav"},
                {wavInfo(oneFrameShort) + CANNOT_READ, wavInfo(huge) + CANNOT_READ});
}

TEST_P(BadInput, DataChunkEndingInAPartialFrame) {
    Bytes data = testsupport::sine16(700, 2, 22050, 90, 9000, 300);
    data.insert(data.end(), {0x10, 0x27, 0x10});  // three bytes of a frame that is not complete
    const Bytes file = testsupport::pcmWav(2, 22050, 16, data);
    put("partial.wav", file);
    const testsupport::RunResult r = run({"partial.wav"});
    EXPECT_NE(std::string::npos, r.out.find(wavInfo(file) + "0.0%\r\r\r\r\n")) << r.out;
    const Bytes output = get("partial_b.wav");
    ASSERT_EQ(46u + 700 * 4, output.size());
    if (!isFir()) {
        EXPECT_EQ(testsupport::referenceRun(file, testsupport::ReferenceSettings()).output, output);
    }
}

TEST_P(BadInput, OutputFolderMissing) {
    const std::string lead = std::string(GetParam().head) + "input file:good.wav \noutput dir:nodir\n";
    expectRun({"good.wav", "nodir"}, lead + processing("good.wav") + wavInfo(good) + CANNOT_CREATE);
    expectRun({"good.wav", "nodir/out.wav"}, std::string(GetParam().head) +
                                                 "input file:good.wav\noutput file:nodir/out.wav\n" +
                                                 processing("good.wav") + wavInfo(good) + CANNOT_CREATE);
    EXPECT_FALSE(testsupport::pathExists(dir.file("nodir")));
}

TEST_P(BadInput, OutputNamesTheInput) {
    ASSERT_EQ(0, symlink("good.wav", dir.file("link.wav").c_str()));
    for (const char* option : {"-n", "-y"}) {
        for (const char* output : {"good.wav", "./good.wav", "link.wav"}) {
            SCOPED_TRACE(std::string(option) + " " + output);
            expectRun({option, "good.wav", output},
                      std::string(GetParam().head) + "input file:good.wav\noutput file:" + output + "\n" +
                          processing("good.wav") + wavInfo(good) + CANNOT_CREATE);
            EXPECT_EQ(good, get("good.wav"));
        }
    }
}

TEST_P(BadInput, OutputIsAFolder) {
    ASSERT_EQ(0, mkdir(dir.file("out.wav").c_str(), 0777));
    for (const char* option : {"-n", "-y"}) {
        SCOPED_TRACE(option);
        // Without -y a folder does not count as an existing file: no question.
        expectRun({option, "good.wav", "out.wav"}, std::string(GetParam().head) +
                                                       "input file:good.wav\noutput file:out.wav\n" +
                                                       processing("good.wav") + wavInfo(good) + CANNOT_CREATE);
    }
}

TEST_P(BadInput, NoAnswerToTheQuestion) {
    ASSERT_EQ(0, mkdir(dir.file("out").c_str(), 0777));
    const Bytes old = {'k', 'e', 'e', 'p'};
    put("out/first.wav", old);
    put("first.wav", good);
    // Standard input ends (or says anything but y and n, then ends): the
    // file is skipped after the question, and the batch goes on.
    for (const char* answer : {"", "Y\n"}) {
        SCOPED_TRACE(answer);
        unlink(dir.file("out/good.wav").c_str());
        std::string question = "file \"out/first.wav\"already exist. overwrite?(y/n)\n";
        std::string asked = question;
        for (const char* c = answer; *c != '\0'; ++c) asked += question;
        expectRun({"first.wav", "good.wav", "out"},
                  std::string(GetParam().head) + "input file:first.wav good.wav \noutput dir:out\n" +
                      processing("first.wav") + wavInfo(good) + asked + goodText,
                  answer);
        EXPECT_EQ(old, get("out/first.wav"));
        EXPECT_EQ(goodOutput, get("out/good.wav"));
    }
}

TEST_P(BadInput, InterruptedRunLeavesAValidShorterOutput) {
    // Long enough (seconds of work) that the signal, sent as soon as the
    // first samples are written, lands while samples are still streamed,
    // however late a loaded machine lets the test see them: silence, a hole
    // in the file where the file system allows; 512 MiB, or 64 MiB for the
    // sanitized programs, which take about ten times as long per byte.
#if defined(__SANITIZE_ADDRESS__)
    const std::size_t frames = std::size_t{16} << 20;
#else
    const std::size_t frames = std::size_t{128} << 20;
#endif
    testsupport::ReferenceResult longFile;
    longFile.bitsPerSample = 16;
    longFile.channels = 2;
    longFile.sampleRate = 8000;
    longFile.totalFrames = frames;
    ASSERT_TRUE(testsupport::writeLongZeroWav(dir.file("long.wav"), testsupport::pcmLayout(2, 8000, 16, Bytes()),
                                              static_cast<std::uint32_t>(frames * 4)));
    put("bad.wav", Bytes{'n', 'o', 't', ' ', 'w', 'a', 'v'});
    ASSERT_EQ(0, mkdir(dir.file("out").c_str(), 0777));
    // qortafir with its shortest kernel, so that its first samples come as
    // soon as qortaiir's.
    std::vector<std::string> args = {"-n", "bad.wav", "long.wav", "out"};
    std::string head = GetParam().head;
    if (isFir()) {
        args.insert(args.begin(), {"-q", "1"});
        head.replace(head.find("Quality=100"), 11, "Quality=1");
    }
    // Without progress nothing flushes the text by the way: the lines of
    // the bad file and those of the interrupted one before its samples must
    // still reach the reader of standard output.
    const std::string text = head + "input file:bad.wav long.wav \noutput dir:out\n" + processing("bad.wav") +
                             ILLEGAL_FORMAT + processing("long.wav") + testsupport::wavInfoLine(longFile);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        SCOPED_TRACE(signal);
        unlink(dir.file("out/long.wav").c_str());
        testsupport::RunOptions options;
        options.workDir = dir.path();
        options.timeoutSeconds = 30;
        options.signalWhenGrown = signal;
        options.grownFile = dir.file("out/long.wav");
        options.grownBytes = 46;
        const testsupport::RunResult r = testsupport::runProgram(GetParam().path, args, options);
        ASSERT_TRUE(r.signalSent) << r.out;
        // Ended by the signal itself, with no message and no closing report.
        EXPECT_EQ(signal, r.signal) << r.out;
        EXPECT_EQ(text, r.out);
        // The output stays, a valid WAV file of the frames it holds.
        const Bytes output = get("out/long.wav");
        ASSERT_GT(output.size(), 46u);
        ASSERT_LT(output.size(), 46u + frames * 4);
        EXPECT_EQ(output.size() - 46, testsupport::u32At(output, 42));
        EXPECT_EQ(testsupport::u32At(output, 42) + 38, testsupport::u32At(output, 4));
        EXPECT_EQ(0u, testsupport::u32At(output, 42) % 4);
    }
}

TEST_P(BadInput, ClosedStandardStreamsTakeNoFile) {
    // Closed standard streams are opened on the null device before any
    // file, so that neither the input nor the output takes their place and
    // the text goes nowhere instead of into the output.
    for (const std::vector<int>& closed : {std::vector<int>{0, 1}, std::vector<int>{0, 1, 2}}) {
        SCOPED_TRACE(closed.size());
        unlink(dir.file("o.wav").c_str());
        testsupport::RunOptions options;
        options.workDir = dir.path();
        options.closedStreams = closed;
        const testsupport::RunResult r = testsupport::runProgram(GetParam().path, {"-y", "good.wav", "o.wav"}, options);
        ASSERT_TRUE(r.exited) << "signal " << r.signal;
        EXPECT_EQ(0, r.exitStatus);
        EXPECT_EQ(goodOutput, get("o.wav"));
        EXPECT_EQ(good, get("good.wav"));
    }
}

TEST_P(BadInput, OutputOnAFullDevice) {
    if (!testsupport::pathExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    ASSERT_EQ(0, mkdir(dir.file("out").c_str(), 0777));
    ASSERT_EQ(0, symlink("/dev/full", dir.file("out/first.wav").c_str()));
    put("first.wav", good);
    expectRun({"-y", "first.wav", "good.wav", "out"},
              std::string(GetParam().head) + "input file:first.wav good.wav \noutput dir:out\n" +
                  processing("first.wav") + wavInfo(good) + CANNOT_WRITE + goodText);
    EXPECT_EQ(good, get("first.wav"));
    EXPECT_EQ(goodOutput, get("out/good.wav"));
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, BadInput, ::testing::Values(QORTAIIR, QORTAFIR),
                         [](const ::testing::TestParamInfo<Program>& info) { return std::string(info.param.name); });

}  // namespace
