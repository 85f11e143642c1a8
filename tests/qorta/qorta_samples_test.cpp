// What qorta writes: the console programs' bytes on their own WAV files,
// and on files of other formats, made by sox, ffmpeg and flac, the
// samples of the reference computation, checked by the tools too.
#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "tests/qorta/qorta_fixture.h"

namespace qortatest {
namespace {

using testsupport::Bytes;

// The settings a corpus run uses, as qorta and the programs spell them.
struct ProgramSettings {
    const char* name;
    bool iir;
    std::vector<std::string> programArgs;
    std::vector<std::string> qortaArgs;
};

class CorpusMatchesPrograms : public QortaRun, public ::testing::WithParamInterface<ProgramSettings> {};

std::vector<std::string> corpusFiles() {
    std::set<std::string> names;
    std::vector<std::string> files;
    for (const char* folder : {QORTA_CORPUS_DIR "/qortaiir_file", QORTA_CORPUS_DIR "/qortafir_file"}) {
        DIR* d = opendir(folder);
        if (d == nullptr) continue;
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".wav") == 0 && names.insert(name).second)
                files.push_back(std::string(folder) + "/" + name);
        }
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Every 8- or 16-bit WAV of the corpus that the program corrects gets the
// same sample bytes from qorta; the others are files the program refuses.
TEST_P(CorpusMatchesPrograms, SameSampleBytes) {
    const ProgramSettings& s = GetParam();
    tool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", "sox16.wav", "synth", "1.5", "sine", "50", "sine", "3000",
                 "vol", "0.6", "dcshift", "0.05"});
    tool("sox", {"-n", "-r", "8000", "-c", "1", "-b", "8", "-e", "unsigned-integer", "sox8.wav", "synth", "0.7",
                 "square", "70", "vol", "0.3"});
    std::vector<std::string> files = corpusFiles();
    ASSERT_GE(files.size(), 10u) << "the corpus of the console programs' fuzz targets is missing";
    files.push_back(path("sox16.wav"));
    files.push_back(path("sox8.wav"));
    int compared = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        ASSERT_TRUE(testsupport::writeBytes(path("in.wav"), testsupport::fileBytes(file)));
        std::vector<std::string> args = s.programArgs;
        args.insert(args.end(), {"-y", "-n", "in.wav", "prog.wav"});
        program(s.iir ? QORTAIIR_PATH : QORTAFIR_PATH, args);
        const Bytes expected = testsupport::fileBytes(path("prog.wav"));
        std::remove(path("prog.wav").c_str());
        std::vector<std::string> qargs = s.qortaArgs;
        qargs.insert(qargs.end(), {"--quiet", "-y", "-o", "q.wav", "in.wav"});
        const testsupport::RunResult r = qorta(qargs);
        if (expected.size() < 46) continue;  // the program refused it
        ASSERT_EQ(0, r.exitStatus) << r.err;
        EXPECT_EQ(Bytes(expected.begin() + 46, expected.end()), wavData(testsupport::fileBytes(path("q.wav"))));
        ++compared;
    }
    EXPECT_GE(compared, 12);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, CorpusMatchesPrograms,
    ::testing::Values(ProgramSettings{"IirDefaults", true, {}, {"--iir"}},
                      ProgramSettings{"FirDefaults", false, {}, {}},
                      ProgramSettings{"IirEffectGainFades", true, {"-e", "60", "-g", "140", "-i", "300", "-o", "200"},
                                      {"-i", "-e", "60", "-g", "140", "--fade-in", "300", "--fade-out", "200"}},
                      ProgramSettings{"FirQualityEffectGainFades", false,
                                      {"-q", "250", "-e", "130", "-g", "60", "-i", "150", "-o", "400"},
                                      {"--fir", "--quality=250", "--effect=130", "--gain=60", "--fade-in=150",
                                       "--fade-out=400"}},
                      ProgramSettings{"FirShortKernel", false, {"-q", "1"}, {"-q", "1"}}),
    [](const ::testing::TestParamInfo<ProgramSettings>& info) { return std::string(info.param.name); });

// Inputs of other formats: how each is made, and how its output is checked.
struct FormatCase {
    const char* name;
    std::vector<std::vector<std::string>> make;  // tool commands, the tool first; the last makes `input`
    const char* input;
    std::vector<std::string> options;  // for qorta besides the input
    const char* output;
    std::vector<std::string> check;    // a tool command that must succeed on the output ("" = none)
    const char* checkText;             // text the check must print
    int outputFormat;                  // the format the output must have (major | subtype)
    bool iir;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }
void PrintTo(const ProgramSettings& s, std::ostream* os) { *os << s.name; }

class FormatsMatchReference : public QortaRun, public ::testing::WithParamInterface<FormatCase> {};

const std::vector<std::string> SOX_STEREO = {"sox", "-n", "-r", "96000", "-c", "2", "-b", "24", "src.wav", "synth",
                                             "0.4", "sine", "60", "sine", "2500", "vol", "0.25", "dcshift", "0.02"};

TEST_P(FormatsMatchReference, SamplesAndTool) {
    const FormatCase& c = GetParam();
    for (const auto& command : c.make) {
        tool(command[0], std::vector<std::string>(command.begin() + 1, command.end()));
        if (HasFatalFailure() || IsSkipped()) return;
    }
    std::vector<std::string> args = c.options;
    args.insert(args.end(), {"--quiet", c.input});
    const testsupport::RunResult r = qorta(args);
    ASSERT_EQ(0, r.exitStatus) << r.out << r.err;
    ASSERT_TRUE(exists(c.output)) << r.out;
    if (!c.check.empty()) {
        const std::string text = toolOutput(c.check[0], std::vector<std::string>(c.check.begin() + 1, c.check.end()));
        EXPECT_NE(std::string::npos, text.find(c.checkText)) << text;
    }
    const Audio in = readAudio(path(c.input));
    const Audio out = readAudio(path(c.output));
    ASSERT_TRUE(in.ok && out.ok);
    EXPECT_EQ(c.outputFormat, out.info.format & (SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK));
    EXPECT_EQ(in.info.channels, out.info.channels);
    EXPECT_EQ(in.info.samplerate, out.info.samplerate);
    ASSERT_EQ(in.info.frames, out.info.frames);
    ReferenceSettings s;
    s.iir = c.iir;
    const std::vector<double> values = referenceValues(in, s);
    const int subtype = out.info.format & SF_FORMAT_SUBMASK;
    if (subtype == SF_FORMAT_FLOAT) {
        std::size_t differing = 0;
        for (std::size_t i = 0; i < values.size(); ++i)
            differing += static_cast<float>(values[i]) != static_cast<float>(out.doubles[i]);
        EXPECT_EQ(0u, differing);
    } else if (subtype == SF_FORMAT_VORBIS || subtype == SF_FORMAT_OPUS) {
        // Lossy: the encoder's own error; the level must still follow the
        // correction's.
        double peakOut = 0.0, peakRef = 0.0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            peakOut = std::max(peakOut, std::fabs(out.doubles[i]));
            peakRef = std::max(peakRef, std::min(1.0, std::fabs(values[i])));
        }
        EXPECT_NEAR(peakRef, peakOut, 0.2 * peakRef);
    } else {
        const int bits = subtype == SF_FORMAT_PCM_24 ? 24 : subtype == SF_FORMAT_PCM_32 ? 32 : subtype == SF_FORMAT_PCM_16 ? 16 : 8;
        const std::vector<std::int32_t> expected = referenceIntegers(values, bits);
        std::size_t differing = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) differing += expected[i] != out.ints[i];
        EXPECT_EQ(0u, differing) << "of " << expected.size();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, FormatsMatchReference,
    ::testing::Values(
        FormatCase{"Flac24At96k", {SOX_STEREO, {"flac", "-s", "-f", "-o", "in.flac", "src.wav"}}, "in.flac", {}, "in_b.flac",
                   {"flac", "-t", "in_b.flac"}, "ok", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, false},
        FormatCase{"Float32Wav",
                   {{"sox", "-n", "-r", "48000", "-c", "1", "-e", "floating-point", "-b", "32", "in.wav", "synth", "0.5",
                     "sine", "80", "vol", "0.9", "dcshift", "0.05"}},
                   "in.wav", {}, "in_b.wav", {"sndfile-info", "in_b.wav"}, "WAVE_FORMAT_IEEE_FLOAT",
                   SF_FORMAT_WAV | SF_FORMAT_FLOAT, false},
        FormatCase{"Float32WavIir",
                   {{"sox", "-n", "-r", "44100", "-c", "2", "-e", "floating-point", "-b", "32", "in.wav", "synth", "0.5",
                     "sine", "40", "vol", "0.9"}},
                   "in.wav", {"--iir"}, "in_b.wav", {}, "", SF_FORMAT_WAV | SF_FORMAT_FLOAT, true},
        FormatCase{"Extensible24BitSixChannels",
                   {{"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=frequency=70:sample_rate=48000:duration=0.4",
                     "-af", "pan=5.1|c0=c0|c1=0.5*c0|c2=0.2*c0|c3=c0|c4=0.7*c0|c5=0.1*c0", "-c:a", "pcm_s24le",
                     "in.wav"}},
                   "in.wav", {}, "in_b.wav", {"ffprobe", "-v", "error", "-show_streams", "in_b.wav"}, "channels=6",
                   SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, false},
        FormatCase{"Rf64FromFfmpeg",
                   {{"ffmpeg", "-v", "error", "-f", "lavfi", "-i", "sine=frequency=55:sample_rate=44100:duration=0.5",
                     "-c:a", "pcm_s16le", "-rf64", "always", "in.wav"}},
                   "in.wav", {"--iir"}, "in_b.wav", {"sndfile-info", "in_b.wav"}, "Sample Rate : 44100",
                   SF_FORMAT_RF64 | SF_FORMAT_PCM_16, true},
        FormatCase{"Aiff16",
                   {{"sox", "-n", "-r", "22050", "-c", "2", "-b", "16", "in.aiff", "synth", "0.5", "sine", "90", "vol",
                     "0.5"}},
                   "in.aiff", {}, "in_b.aiff", {"sndfile-info", "in_b.aiff"}, "AIFF", SF_FORMAT_AIFF | SF_FORMAT_PCM_16,
                   false},
        FormatCase{"OggVorbis",
                   {{"sox", "-n", "-r", "44100", "-c", "2", "in.ogg", "synth", "1", "sine", "200", "vol", "0.2"}},
                   "in.ogg", {}, "in_b.ogg", {"ffprobe", "-v", "error", "-show_streams", "in_b.ogg"},
                   "codec_name=vorbis", SF_FORMAT_OGG | SF_FORMAT_VORBIS, false},
        FormatCase{"WavToFlacByFormat",
                   {{"sox", "-n", "-r", "44100", "-c", "2", "-b", "16", "in.wav", "synth", "0.5", "sine", "70", "vol", "0.5"}},
                   "in.wav", {"--format", "flac"}, "in_b.flac", {"flac", "-t", "in_b.flac"}, "ok",
                   SF_FORMAT_FLAC | SF_FORMAT_PCM_16, false},
        FormatCase{"SixteenBitToFloatByFormat",
                   {{"sox", "-n", "-r", "44100", "-c", "1", "-b", "16", "in.wav", "synth", "0.5", "sine", "45", "vol", "0.8"}},
                   "in.wav", {"--format=wav:float"}, "in_b.wav", {"sndfile-info", "in_b.wav"}, "IEEE_FLOAT",
                   SF_FORMAT_WAV | SF_FORMAT_FLOAT, false},
        FormatCase{"SixteenBitTo32BitIir",
                   {{"sox", "-n", "-r", "32000", "-c", "2", "-b", "16", "in.wav", "synth", "0.5", "sine", "45", "vol", "0.3"}},
                   "in.wav", {"-i", "-t", "wav:32"}, "in_b.wav", {}, "", SF_FORMAT_WAV | SF_FORMAT_PCM_32, true}),
    [](const ::testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

// --peak puts the output's highest sample at the level asked, up or down,
// within one sample step; without it, the clipped samples are counted and
// the report suggests a --peak.
class PeakLevel : public QortaRun, public ::testing::WithParamInterface<std::tuple<const char*, double, bool>> {};

TEST_P(PeakLevel, WithinOneStep) {
    const char* format = std::get<0>(GetParam());
    const double db = std::get<1>(GetParam());
    const bool iir = std::get<2>(GetParam());
    tool("sox", {"-n", "-r", "48000", "-c", "2", "-b", "24", "in.wav", "synth", "0.6", "sine", "50", "sine", "900",
                 "vol", "0.4"});
    std::vector<std::string> args = {"--quiet", "--peak", std::to_string(db), "--format", format, "-o", "out.wav", "in.wav"};
    if (iir) args.push_back("--iir");
    const testsupport::RunResult r = qorta(args);
    ASSERT_EQ(0, r.exitStatus) << r.err;
    const Audio out = readAudio(path("out.wav"));
    ASSERT_TRUE(out.ok);
    double peak = 0.0;
    for (double v : out.doubles) peak = std::max(peak, std::fabs(v));
    const int subtype = out.info.format & SF_FORMAT_SUBMASK;
    const double step = subtype == SF_FORMAT_PCM_16 ? std::ldexp(1.0, -15) : subtype == SF_FORMAT_PCM_24 ? std::ldexp(1.0, -23) : 1e-6;
    EXPECT_NEAR(std::pow(10.0, db / 20.0), peak, step);
    EXPECT_NE(std::string::npos, r.out.find(" dB")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Levels, PeakLevel,
                         ::testing::Values(std::make_tuple("wav:16", -1.0, false), std::make_tuple("wav:24", -1.0, true),
                                           std::make_tuple("wav:24", -12.5, false),
                                           std::make_tuple("wav:float", 3.0, false)));

TEST_F(QortaRun, ClippingIsCountedAndAPeakSuggested) {
    tool("sox", {"-n", "-r", "44100", "-c", "1", "-b", "16", "loud.wav", "synth", "0.5", "sine", "40", "vol", "0.7"});
    const testsupport::RunResult r = qorta({"--quiet", "--json", "-", "loud.wav"});
    ASSERT_EQ(0, r.exitStatus) << r.err;
    const Audio in = readAudio(path("loud.wav"));
    const Audio out = readAudio(path("loud_b.wav"));
    const std::vector<double> values = referenceValues(in, ReferenceSettings());
    std::int64_t clipped = 0;
    for (double v : values) clipped += std::trunc(v * 32768.0) > 32767.0 || std::trunc(v * 32768.0) < -32768.0;
    ASSERT_GT(clipped, 0);
    EXPECT_NE(std::string::npos, r.out.find("\"clipped\": " + std::to_string(clipped) + ",")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("samples clipped; --peak -0.1")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\"suggested_peak_db\": -0.1")) << r.out;
}

}  // namespace
}  // namespace qortatest

namespace qortatest {
namespace {

// The metadata survives, read back by outside tools: bext with a
// CodingHistory line naming the correction, LIST INFO, Vorbis comments.
TEST_F(QortaRun, MetadataSurvives) {
    tool("sox", {"-n", "-r", "48000", "-c", "2", "-b", "24", "plain.wav", "synth", "0.3", "sine", "100", "vol", "0.3"});
    tool("sndfile-metadata-set", {"--bext-description", "line-in take", "--bext-originator", "studio", "--str-title",
                                  "Song", "--str-comment", "take one", "plain.wav", "bwf.wav"});
    tool("sox", {"-n", "-r", "44100", "-c", "2", "-b", "16", "t.flac", "synth", "0.3", "sine", "100", "vol", "0.3"});
    tool("metaflac", {"--set-tag=TITLE=Tune", "--set-tag=ARTIST=Me", "t.flac"});
    if (IsSkipped() || HasFatalFailure()) return;
    const testsupport::RunResult r = qorta({"--quiet", "-i", "-e", "80", "--fade-out", "20", "bwf.wav", "t.flac"});
    ASSERT_EQ(0, r.exitStatus) << r.err;
    const std::string bext = toolOutput("sndfile-metadata-get", {"--bext-description", "--bext-originator",
                                                                 "--bext-coding-hist", "--str-title", "--str-comment",
                                                                 "bwf_b.wav"});
    EXPECT_NE(std::string::npos, bext.find("line-in take")) << bext;
    EXPECT_NE(std::string::npos, bext.find("studio")) << bext;
    EXPECT_NE(std::string::npos, bext.find("Song")) << bext;
    EXPECT_NE(std::string::npos, bext.find("take one")) << bext;
    EXPECT_NE(std::string::npos,
              bext.find("A=PCM,F=48000,W=24,M=stereo,T=qorta IIR bass correction; effect 80%; gain 100%; fade-out 20 ms"))
        << bext;
    const std::string tags = toolOutput("metaflac", {"--export-tags-to=-", "t_b.flac"});
    EXPECT_NE(std::string::npos, tags.find("itle=Tune")) << tags;
    EXPECT_NE(std::string::npos, tags.find("rtist=Me")) << tags;
}

}  // namespace
}  // namespace qortatest

namespace qortatest {
namespace {

// Cue points in a WAV (a "cue " chunk added behind the samples) reach the
// output, as libsndfile reads them back.
TEST_F(QortaRun, CuePointsSurvive) {
    tool("sox", {"-n", "-r", "8000", "-c", "1", "-b", "16", "plain.wav", "synth", "0.5", "sine", "100", "vol", "0.3"});
    if (IsSkipped() || HasFatalFailure()) return;
    Bytes file = testsupport::fileBytes(path("plain.wav"));
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) file.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const std::uint32_t positions[] = {100, 2500};
    for (const char c : std::string("cue ")) file.push_back(static_cast<std::uint8_t>(c));
    put32(4 + 24 * 2);
    put32(2);
    for (std::uint32_t i = 0; i < 2; ++i) {
        put32(i + 1);
        put32(positions[i]);
        for (const char c : std::string("data")) file.push_back(static_cast<std::uint8_t>(c));
        put32(0);
        put32(0);
        put32(positions[i]);
    }
    const std::uint32_t riff = static_cast<std::uint32_t>(file.size() - 8);
    for (int i = 0; i < 4; ++i) file[4 + i] = static_cast<std::uint8_t>(riff >> (8 * i));
    ASSERT_TRUE(testsupport::writeBytes(path("cued.wav"), file));
    const testsupport::RunResult r = qorta({"--quiet", "cued.wav"});
    ASSERT_EQ(0, r.exitStatus) << r.err;
    SF_INFO info = {};
    SNDFILE* out = sf_open(path("cued_b.wav").c_str(), SFM_READ, &info);
    ASSERT_NE(nullptr, out);
    SF_CUES cues = {};
    EXPECT_EQ(SF_TRUE, sf_command(out, SFC_GET_CUE, &cues, sizeof cues));
    ASSERT_EQ(2u, cues.cue_count);
    EXPECT_EQ(100u, cues.cue_points[0].sample_offset);
    EXPECT_EQ(2500u, cues.cue_points[1].sample_offset);
    sf_close(out);
}

}  // namespace
}  // namespace qortatest
