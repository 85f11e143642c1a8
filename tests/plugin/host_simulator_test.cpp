// The host simulator: frame rates and how they cut the audio, its command
// line, the information text made readable, and qortahost run as a user
// would.
#include <csignal>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/plugin/plugin_test_support.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"
#include "tools/host/frame_rate.h"
#include "tools/host/host_options.h"
#include "tools/host/shift_jis_text.h"

namespace {

using host::FrameRate;

FrameRate rateOf(const char* text) {
    FrameRate rate{-1, -1};
    EXPECT_TRUE(host::parseFrameRate(text, &rate)) << text;
    return rate;
}

TEST(FrameRateTest, ParsesRatesExactlyAndCutsTheAudioAtFlooredExactProducts) {
    for (auto [text, numerator, denominator] : {std::tuple{"30", 30, 1}, {"29.97", 2997, 100},
                                                {"30000/1001", 30000, 1001}, {"50/2", 25, 1}, {"1000", 1000, 1}}) {
        EXPECT_EQ(rateOf(text).numerator, numerator) << text;
        EXPECT_EQ(rateOf(text).denominator, denominator) << text;
    }
    FrameRate rate;
    for (const char* text : {"0.5", "1001", "30/0", "30fps", "29.9700001", "99999999999999999999"})
        EXPECT_FALSE(host::parseFrameRate(text, &rate)) << text;

    const FrameRate ntsc = rateOf("30000/1001");  // 1471.47 samples per frame at 44.1 kHz
    for (std::int64_t k : {1, 2, 29, 107892})
        EXPECT_EQ(host::frameStartSample(k, 44100, ntsc), k * 44100 * 1001 / 30000) << k;
    EXPECT_EQ(host::frameStartSample(2000000000, 192000, rateOf("1000/999")), 2000000000LL * 192 * 999);

    host::SimulatedEdit edit;
    edit.samplingRate = 44100;
    edit.channelCount = 2;
    auto starts = [&edit] {
        std::vector<std::int64_t> list;
        for (std::int32_t k = 0; k <= host::frameCount(edit); ++k) list.push_back(host::frameStart(edit, k));
        return list;
    };
    edit.source.assign(2 * 10000, 0);
    ASSERT_TRUE(host::cutIntoFrames(edit, rateOf("30")));
    EXPECT_EQ(starts(), (std::vector<std::int64_t>{0, 1470, 2940, 4410, 5880, 7350, 8820, 10000}));
    edit.source.assign(2 * 1470 * 3, 0);  // no empty frame after an exact multiple
    ASSERT_TRUE(host::cutIntoFrames(edit, rateOf("30")));
    EXPECT_EQ(host::frameCount(edit), 3);
    edit.source.assign(2 * 1472, 0);  // 1471.47 samples a frame: the second one holds a single sample
    ASSERT_TRUE(host::cutIntoFrames(edit, rateOf("29.97")));
    EXPECT_EQ(host::frameCount(edit), 2);
    EXPECT_EQ(starts(), (std::vector<std::int64_t>{0, 1471, 1472}));
    edit.samplingRate = 1;  // 1000 frames a sample: more frames than 32 bits count
    edit.source.assign(2 * 2147484, 0);
    EXPECT_FALSE(host::cutIntoFrames(edit, rateOf("1000")));
    EXPECT_EQ(host::frameCount(edit), 0);
}

int parse(std::vector<const char*> arguments, host::HostOptions* options, std::string* error = nullptr) {
    arguments.insert(arguments.begin(), "qortahost");
    std::string message;
    const int result = host::parseHostOptions(static_cast<int>(arguments.size()), arguments.data(), options, &message);
    EXPECT_EQ(result != 0, !message.empty());
    if (error != nullptr) *error = message;
    return result;
}

TEST(HostOptionsTest, ReadsNamesTracksRateAndModesAndRefusesMistakes) {
    host::HostOptions options;
    ASSERT_EQ(parse({"-t", "Gain=80", "p.auf", "--track=FadeIn=-3", "in.wav", "--fps", "25", "out.wav", "-p"},
                    &options),
              0);
    EXPECT_EQ(options.pluginPath + " " + options.inputPath + " " + options.outputPath, "p.auf in.wav out.wav");
    ASSERT_EQ(options.tracks.size(), 2u);
    EXPECT_EQ(options.tracks[1].name, "FadeIn");
    EXPECT_EQ(options.tracks[1].value, -3);
    EXPECT_EQ(options.frameRate.numerator, 25);
    EXPECT_TRUE(options.preview);
    for (std::vector<const char*> wrong : {std::vector<const char*>{}, {"p.auf", "in.wav"}, {"p.auf", "--bogus"},
                                           {"p.auf", "-t"}, {"p.auf", "-t", "Gain=2147483648"}}) {
        host::HostOptions refused;
        EXPECT_EQ(parse(wrong, &refused), -1) << wrong.size();
    }
    // White space around a number counts for no option; inside one it is refused.
    host::HostOptions spaced;
    ASSERT_EQ(parse({"p.auf", "-t", "Effect= 5 ", "--fps", " 30000/1001\t"}, &spaced), 0);
    EXPECT_EQ(spaced.tracks[0].value, 5);
    EXPECT_EQ(spaced.frameRate.denominator, 1001);
    std::string error;
    for (auto [track, fps, message] :
         {std::tuple{"Gain=-2147483649", "30", "track setting 'Gain=-2147483649' is out of range: VALUE from "
                                               "-2147483648 to 2147483647"},
          {"Gain=8 0", "30", "track setting 'Gain=8 0' is not NAME=VALUE with an integer VALUE"},
          {"Gain=80", "30 /1001", "frame rate '30 /1001' is not a rate from 1 to 1000"}}) {
        host::HostOptions refused;
        EXPECT_EQ(parse({"p.auf", "-t", track, "-r", fps}, &refused, &error), -1) << track;
        EXPECT_EQ(error.rfind(message, 0), 0u) << error;
    }
}

TEST(ShiftJisTextTest, DecodesTheInformationTextAndEscapesInvalidBytes) {
    EXPECT_EQ(host::displayShiftJis("PC-QORTA/PCI\x92\xe1\x89\xb9\x91\x9d\x8b\xad IIR-0.01 by "
                                    "\x83\x4a\x83\x8b\x83\x68\x83\x8b"),
              "PC-QORTA/PCI低音増強 IIR-0.01 by カルドル");
    EXPECT_EQ(host::displayShiftJis("ab\x83"), "ab\\x83");  // a lead byte without its trail byte
}

TEST(QortahostProgramTest, DescribesPluginsAndReportsMistakes) {
    std::string output;
    EXPECT_EQ(plugintest::runProgram({QORTAHOST_PATH, QORTAFIR_AUF_PATH, "-t", "gain=80"}, &output), 0);
    for (const char* line : {"QORTA-Bass(FIR)", "PC-QORTA/PCI低音増強 FIR-0.01 by カルドル",
                             "Quality            100         100", "Gain               100          80"})
        EXPECT_NE(output.find(line), std::string::npos) << line << "\n" << output;
    EXPECT_EQ(plugintest::runProgram({QORTAHOST_PATH, "--help"}, &output), 0);
    EXPECT_EQ(output.rfind("Usage: qortahost", 0), 0u);
    EXPECT_EQ(plugintest::runProgram({QORTAHOST_PATH}, &output), 1);
    EXPECT_EQ(plugintest::runProgram({QORTAHOST_PATH, QORTAIIR_AUF_PATH, "-t", "Quality=5"}, &output), 1);
    EXPECT_NE(output.find("it has: Effect Gain FadeIn FadeOut"), std::string::npos) << output;
    EXPECT_EQ(plugintest::runProgram({QORTAHOST_PATH, "missing.auf"}, &output), 2);
    EXPECT_EQ(plugintest::runProgram({QORTAHOST_PATH, QORTAIIR_AUF_PATH, "missing.wav", "out.wav"}, &output), 2);
    // A data chunk that ends early is found before anything runs.
    testsupport::TempDir scratch;
    testsupport::WavLayout cut = testsupport::pcmLayout(2, 44100, 16, testsupport::Bytes(400, 1));
    cut.dataSizeField = 404;
    ASSERT_TRUE(testsupport::writeBytes(scratch.file("cut.wav"), testsupport::buildWav(cut)));
    EXPECT_EQ(plugintest::runProgram({QORTAHOST_PATH, "-q", QORTAIIR_AUF_PATH, scratch.file("cut.wav"),
                                      scratch.file("out.wav")},
                                     &output),
              2);
    EXPECT_NE(output.find("the data chunk ends early"), std::string::npos) << output;
    EXPECT_FALSE(platform::isValid(platform::openInputFile(scratch.file("out.wav").c_str())));
}

TEST(QortahostProgramTest, PreviewRunWritesTheScaledAudioAndNeverTheInput) {
    testsupport::TempDir scratch;
    const plugintest::Samples samples = plugintest::testSignal(4410, 2, 3);
    const std::string input = scratch.file("in.wav");
    plugintest::writeTestWav(input, 44100, 2, samples);
    std::string output;
    ASSERT_EQ(plugintest::runProgram({QORTAHOST_PATH, "-q", "--preview", "-t", "Gain=50", QORTAIIR_AUF_PATH, input,
                                      scratch.file("out.wav")},
                                     &output),
              0)
        << output;
    EXPECT_NE(output.find("previewed 3 video frames at 30 fps"), std::string::npos) << output;
    const plugintest::Samples result = plugintest::readOutputSamples(scratch.file("out.wav"));
    ASSERT_EQ(result.size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(result[i], samples[i] / 2) << i;
    const testsupport::Bytes before = testsupport::fileBytes(input);
    EXPECT_EQ(plugintest::runProgram({QORTAHOST_PATH, "-q", QORTAIIR_AUF_PATH, input, input}, &output), 2);
    EXPECT_NE(output.find("cannot create " + input + ": it is the input file"), std::string::npos) << output;
    EXPECT_EQ(testsupport::fileBytes(input), before);
}

// qortahost reads each frame, and each neighbour the plug-in asks for, from
// the input file when it is needed: the plug-in sees the same frames and the
// same requests as from audio held in memory.
TEST(QortahostProgramTest, SaveRunReadsTheFileAsNeededWithTheSameRequestsAndResult) {
    testsupport::TempDir scratch;
    const plugintest::Samples samples = plugintest::testSignal(8000 + 77, 2, 5);
    const std::string input = scratch.file("in.wav");
    plugintest::writeTestWav(input, 8000, 2, samples);

    plugintest::PluginHost host(QORTAFIR_AUF_PATH);
    host.setTrack("Quality", 1500);  // N = 2400: context from nine frames on each side
    host.edit.samplingRate = 8000;
    host.edit.channelCount = 2;
    host.edit.source = samples;
    ASSERT_TRUE(host::cutIntoFrames(host.edit, rateOf("29.97")));
    const plugintest::Samples inMemory = host.run(host::RunMode::Save);
    const std::vector<std::int32_t> requests = host.edit.readRequests;
    ASSERT_GT(requests.size(), 3u * host::frameCount(host.edit));

    platform::FileHandle file = platform::openInputFile(input.c_str());
    std::string error;
    ASSERT_EQ(host::openWav16(file, &host.edit.sourceFile, &error), 0) << error;
    host.edit.source.clear();
    host.edit.readRequests.clear();
    ASSERT_TRUE(host::cutIntoFrames(host.edit, rateOf("29.97")));
    EXPECT_EQ(host.run(host::RunMode::Save), inMemory);
    EXPECT_EQ(host.edit.readRequests, requests);
    platform::closeFile(file);
    host.edit.sourceFile = host::WavSource();

    std::string output;
    ASSERT_EQ(plugintest::runProgram({QORTAHOST_PATH, "-q", "--fps", "29.97", "-t", "Quality=1500", QORTAFIR_AUF_PATH,
                                      input, scratch.file("out.wav")},
                                     &output),
              0)
        << output;
    EXPECT_EQ(plugintest::readOutputSamples(scratch.file("out.wav")), inMemory);
}

// The old host held the whole input, the edit and the output in memory at
// once, three to four times the input; a 32 MiB input now takes a few MiB.
// Under the address sanitizer, whose shadow memory and quarantine swell the
// resident set, only a short input runs and the peak is not checked.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool MEMORY_MEASURED = false;
#else
constexpr bool MEMORY_MEASURED = true;
#endif

TEST(QortahostProgramTest, LongInputsRunInBoundedMemory) {
#ifdef _WIN32
    GTEST_SKIP() << "the peak memory of a child is measured on POSIX only";
#endif
    testsupport::TempDir scratch;
    plugintest::Samples samples(MEMORY_MEASURED ? 16 << 20 : 1 << 20);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(i * 2654435761u >> 16);
    const std::string input = scratch.file("long.wav");
    plugintest::writeTestWav(input, 44100, 2, samples);
    const testsupport::RunResult run = testsupport::runProgram(
        QORTAHOST_PATH, {"-q", "-t", "Quality=1", QORTAFIR_AUF_PATH, input, scratch.file("out.wav")},
        testsupport::RunOptions());
    ASSERT_TRUE(run.exited && run.exitStatus == 0) << run.out << run.err;
    EXPECT_EQ(testsupport::fileBytes(scratch.file("out.wav")).size(), 46u + 2 * samples.size());
    if (!MEMORY_MEASURED) GTEST_SKIP() << "peak memory not measured under the address sanitizer";
    ASSERT_GT(run.peakMemoryKiB, 0);
    EXPECT_LT(run.peakMemoryKiB, 64 * 1024);
}

// As the console programs: closed standard streams take no file's place,
// and an interrupted save leaves an output whose header tells the whole
// frames it holds.
TEST(QortahostProgramTest, ClosedStreamsAndInterruptionsLeaveTrueOutputs) {
#ifdef _WIN32
    GTEST_SKIP() << "closed standard handles and signals are set up on POSIX only";
#else
    testsupport::TempDir scratch;
    const std::string input = scratch.file("in.wav");
    plugintest::writeTestWav(input, 44100, 2, plugintest::testSignal(4410, 2, 3));
    const std::vector<std::string> args = {QORTAIIR_AUF_PATH, input, scratch.file("out.wav")};
    testsupport::RunOptions options;
    ASSERT_EQ(0, testsupport::runProgram(QORTAHOST_PATH, args, options).exitStatus);
    const testsupport::Bytes whole = testsupport::fileBytes(scratch.file("out.wav"));
    options.closedStreams = {0, 1};
    const testsupport::RunResult closed = testsupport::runProgram(QORTAHOST_PATH, args, options);
    EXPECT_TRUE(closed.exited && closed.exitStatus == 0) << closed.err;
    EXPECT_EQ(whole, testsupport::fileBytes(scratch.file("out.wav")));

    // Seconds of work, so that the signal, sent as soon as the first frames
    // are written, lands while frames are still written however late the
    // test sees them: 512 MiB of silence, a hole in the file.
    const std::uint32_t bytes = 512u << 20;
    ASSERT_TRUE(testsupport::writeLongZeroWav(scratch.file("long.wav"),
                                              testsupport::pcmLayout(2, 44100, 16, testsupport::Bytes()), bytes));
    options = testsupport::RunOptions();
    options.timeoutSeconds = 30;
    options.signalWhenGrown = SIGINT;
    options.grownFile = scratch.file("cut.wav");
    options.grownBytes = 46;
    const testsupport::RunResult r = testsupport::runProgram(
        QORTAHOST_PATH, {"-q", QORTAIIR_AUF_PATH, scratch.file("long.wav"), scratch.file("cut.wav")}, options);
    ASSERT_TRUE(r.signalSent) << r.out << r.err;
    EXPECT_EQ(SIGINT, r.signal);
    const testsupport::Bytes cut = testsupport::fileBytes(scratch.file("cut.wav"));
    ASSERT_GT(cut.size(), 46u);
    ASSERT_LT(cut.size(), 46u + bytes);
    EXPECT_EQ(cut.size() - 46, testsupport::u32At(cut, 42));
    EXPECT_EQ(testsupport::u32At(cut, 42) + 38, testsupport::u32At(cut, 4));
    EXPECT_EQ(0u, testsupport::u32At(cut, 42) % 4);
#endif
}

}  // namespace
