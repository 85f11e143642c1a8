// The window refill of the FIR program on its own: what lands where in the
// window, what is cleared, and a read that comes back short.
#include "console/fir_stream.h"

#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

using namespace console;

namespace {

// A run over a file of raw 16-bit stereo samples (no header: the refill
// reads from wherever the file stands) with windows whose positions hold
// their own index, so that every moved value shows where it came from.
struct RefillRun {
    testsupport::TempDir dir;
    CorrectorSettings settings;
    FileRun run{settings};

    explicit RefillRun(const testsupport::Bytes& samples) {
        const std::string path = dir.file("raw.pcm");
        EXPECT_TRUE(testsupport::writeBytes(path, samples));
        run.input.reset(platform::openInputFile(path.c_str()));
        EXPECT_TRUE(run.input.isOpen());
        run.format.formatTag = 1;
        run.format.channels = 2;
        run.format.sampleRate = 8000;
        run.format.bitsPerSample = 16;
        run.dcOffset[0] = 10.0;
        run.dcOffset[1] = -20.0;
        run.pcmBufferBytes = static_cast<std::uint32_t>(HALF_BLOCK_FRAMES * 4);
        run.pcmBuffer = allocateBuffer<unsigned char>(run.pcmBufferBytes);
        for (int c = 0; c < 2; ++c) {
            run.inputPlanes[c] = allocateBuffer<double>(BLOCK_FRAMES);
            for (std::int64_t i = 0; i < BLOCK_FRAMES; ++i) run.inputPlanes[c][i] = static_cast<double>(i + c);
        }
    }

    double at(int channel, std::int64_t position) const { return run.inputPlanes[channel][position]; }
};

// Refills the windows with `remaining` bytes of the data chunk left;
// returns the bytes read, or -1 when the refill fails.
std::int64_t refill(FileRun& run, std::uint32_t remaining) {
    std::uint32_t left = remaining;
    if (readWindowBlock(run, &left) != FileResult::Ok) return -1;
    return remaining - left;
}

testsupport::Bytes stereoFrames(std::size_t frames) {
    std::vector<std::int16_t> samples;
    for (std::size_t i = 0; i < frames; ++i) {
        samples.push_back(static_cast<std::int16_t>(100 + i));
        samples.push_back(static_cast<std::int16_t>(-300 - static_cast<int>(i)));
    }
    return testsupport::pcm16(samples);
}

TEST(FirRefill, SlidesTheUpperHalfDownAndFillsItWithTheNextFrames) {
    // Three whole frames and half a frame: the partial frame is read but
    // not decoded.
    testsupport::Bytes samples = stereoFrames(3);
    samples.insert(samples.end(), {0x11, 0x22});
    RefillRun r(samples);
    ASSERT_EQ(14, refill(r.run, 14));
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(static_cast<double>(HALF_BLOCK_FRAMES + c), r.at(c, 0));
        EXPECT_EQ(static_cast<double>(BLOCK_FRAMES - 1 + c), r.at(c, HALF_BLOCK_FRAMES - 1));
    }
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ((100 + j - 10.0) * 0.000030517578125, r.at(0, HALF_BLOCK_FRAMES + j));
        EXPECT_EQ((-300 - j + 20.0) * 0.000030517578125, r.at(1, HALF_BLOCK_FRAMES + j));
    }
    for (int c = 0; c < 2; ++c)
        for (std::int64_t i = HALF_BLOCK_FRAMES + 3; i < BLOCK_FRAMES; ++i) ASSERT_EQ(0.0, r.at(c, i)) << i;
}

TEST(FirRefill, ReadsAtMostHalfAWindow) {
    RefillRun r(stereoFrames(HALF_BLOCK_FRAMES + 5));
    const std::int64_t half = HALF_BLOCK_FRAMES * 4;
    ASSERT_EQ(half, refill(r.run, static_cast<std::uint32_t>(half + 20)));
    EXPECT_EQ((100 + 0 - 10.0) * 0.000030517578125, r.at(0, HALF_BLOCK_FRAMES));
    EXPECT_EQ(static_cast<double>(static_cast<std::int16_t>(100 + HALF_BLOCK_FRAMES - 1)) - 10.0,
              r.at(0, BLOCK_FRAMES - 1) / 0.000030517578125);
    // The rest comes with the next refill, after the first frames moved down.
    ASSERT_EQ(20, refill(r.run, 20));
    EXPECT_EQ((100 + 0 - 10.0) * 0.000030517578125, r.at(0, 0));
    EXPECT_EQ(static_cast<double>(static_cast<std::int16_t>(100 + HALF_BLOCK_FRAMES)) - 10.0,
              r.at(0, HALF_BLOCK_FRAMES) / 0.000030517578125);
    EXPECT_EQ(0.0, r.at(1, HALF_BLOCK_FRAMES + 5));
}

TEST(FirRefill, NothingLeftOnlySlidesAndClears) {
    RefillRun r(stereoFrames(1));
    ASSERT_EQ(0, refill(r.run, 0));
    EXPECT_EQ(static_cast<double>(HALF_BLOCK_FRAMES + 1), r.at(1, 0));
    for (int c = 0; c < 2; ++c)
        for (std::int64_t i = HALF_BLOCK_FRAMES; i < BLOCK_FRAMES; ++i) ASSERT_EQ(0.0, r.at(c, i)) << i;
}

TEST(FirRefill, ShortReadFails) {
    RefillRun r(stereoFrames(2));
    EXPECT_EQ(-1, refill(r.run, 12));
}

}  // namespace
