// The pure decisions of qorta: output formats by name and size, output
// names, and the CodingHistory line.
#include <gtest/gtest.h>
#include <sndfile.h>

#include "qorta/batch.h"
#include "qorta/file_job.h"
#include "qorta/metadata.h"
#include "qorta/sample_format.h"

namespace {

TEST(QortaFormats, NamesKeepOrChooseTheSampleFormat) {
    const int wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16, float32 = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    EXPECT_EQ(SF_FORMAT_FLAC | SF_FORMAT_PCM_16, qorta::parseFormat("flac", wav16));
    EXPECT_EQ(SF_FORMAT_FLAC | SF_FORMAT_PCM_24, qorta::parseFormat("flac", float32));  // FLAC holds no float
    EXPECT_EQ(SF_FORMAT_WAV | SF_FORMAT_PCM_24, qorta::parseFormat("wav:24", wav16));
    EXPECT_EQ(SF_FORMAT_WAV | SF_FORMAT_FLOAT, qorta::parseFormat("wav:float", wav16));
    EXPECT_EQ(SF_FORMAT_WAV | SF_FORMAT_PCM_U8, qorta::parseFormat("wav:8", wav16));
    EXPECT_EQ(SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, qorta::parseFormat("aiff:8", wav16));
    EXPECT_EQ(SF_FORMAT_OGG | SF_FORMAT_VORBIS, qorta::parseFormat("ogg", wav16));
    EXPECT_EQ(0, qorta::parseFormat("flac:float", wav16));
    EXPECT_EQ(0, qorta::parseFormat("mp9", wav16));
    EXPECT_EQ("wav:16", qorta::formatName(wav16));
    EXPECT_EQ("flac:24", qorta::formatName(SF_FORMAT_FLAC | SF_FORMAT_PCM_24));
    EXPECT_EQ("opus", qorta::extensionOf(SF_FORMAT_OGG | SF_FORMAT_OPUS));
}

TEST(QortaFormats, AWavPastFourGibibytesBecomesRf64) {
    const int wav24 = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
    // Two hours of 24-bit/96 kHz stereo are 3.86 GiB of samples; three pass 4 GiB.
    const std::int64_t hour = 3600LL * 96000;
    EXPECT_EQ(wav24, qorta::outputFormatFor(wav24, 0, 2 * hour, 2));
    EXPECT_EQ(SF_FORMAT_RF64 | SF_FORMAT_PCM_24, qorta::outputFormatFor(wav24, 0, 3 * hour, 2));
    EXPECT_EQ(SF_FORMAT_RF64 | SF_FORMAT_FLOAT,
              qorta::outputFormatFor(SF_FORMAT_WAVEX | SF_FORMAT_FLOAT, 0, 2 * hour, 2));
    EXPECT_EQ(SF_FORMAT_FLAC | SF_FORMAT_PCM_24,
              qorta::outputFormatFor(wav24, SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 3 * hour, 2));
}

TEST(QortaNames, BesideTheInput) {
    EXPECT_EQ("rec/take_b.wav", qorta::besideName("rec/take.wav", ""));
    EXPECT_EQ("rec/TAKE_b.WAV", qorta::besideName("rec/TAKE.WAV", ""));
    EXPECT_EQ("rec/take_b.flac", qorta::besideName("rec/take.wav", "flac"));
    EXPECT_EQ("my.dir/take_b.wav", qorta::besideName("my.dir/take", ""));
    EXPECT_TRUE(qorta::audioFileName("a.FLAC"));
    EXPECT_FALSE(qorta::audioFileName("notes.txt"));
    EXPECT_FALSE(qorta::audioFileName(".wav"));
}

TEST(QortaMetadata, CodingHistoryLineInEbuR98Form) {
    qorta::Settings s;
    EXPECT_EQ("A=PCM,F=96000,W=24,M=stereo,T=qorta FIR bass correction; effect 100%; gain 100%; quality 100\r\n",
              qorta::codingHistoryLine(s, SF_FORMAT_WAV | SF_FORMAT_PCM_24, 96000, 2));
    s.corrector = qorta::CorrectorKind::Iir;
    s.effect = 80.5;
    s.fadeIn = 200;
    s.peakSet = true;
    s.peakDb = -1;
    EXPECT_EQ("A=PCM,F=44100,W=32,M=mono,T=qorta IIR bass correction; effect 80.5%; gain 100%; fade-in 200 ms; "
              "peak -1 dBFS\r\n",
              qorta::codingHistoryLine(s, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100, 1));
}

}  // namespace
