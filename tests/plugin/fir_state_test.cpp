// The FIR plug-in's kernel and buffers, linked in directly so that
// allocation failures can be injected: the half-length arithmetic, the
// buffers a build leaves, and what a failed build leaves behind.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "dsp/fir_corrector.h"
#include "plugin/fir_filter.h"
#include "plugin/fir_state.h"

namespace {

using plugin::buildFirState;
using plugin::FirState;
using plugin::releaseFirState;

// Allocations counted; the one numbered `failAt` (from 1) fails.
int allocationCalls = 0;
int failAt = 0;
std::vector<std::size_t> allocationSizes;

void* countingAllocate(std::size_t bytes) {
    ++allocationCalls;
    allocationSizes.push_back(bytes);
    return allocationCalls == failAt ? nullptr : std::malloc(bytes);
}

void resetAllocations(int failing) {
    allocationCalls = 0;
    failAt = failing;
    allocationSizes.clear();
}

void expectEmpty(const FirState& state) {
    EXPECT_EQ(state.halfLength, 0);
    EXPECT_EQ(state.capacity, 0);
    EXPECT_EQ(state.kernel, nullptr);
    EXPECT_EQ(state.neighbourAudio, nullptr);
    EXPECT_EQ(state.channelWindow[0], nullptr);
    EXPECT_EQ(state.channelWindow[1], nullptr);
}

TEST(FirStateTest, HalfLengthIsQualityTimesRateOver5000TruncatedTowardZero) {
    EXPECT_EQ(plugin::firHalfLength(100, 44100), 882);
    EXPECT_EQ(plugin::firHalfLength(100, 48000), 960);
    EXPECT_EQ(plugin::firHalfLength(300, 44100), 2646);
    EXPECT_EQ(plugin::firHalfLength(1, 5000), 1);
    EXPECT_EQ(plugin::firHalfLength(1, 4999), 0);
    EXPECT_EQ(plugin::firHalfLength(-1, 44100), -8);
    // Beyond 32 bits the product stays exact instead of wrapping.
    EXPECT_EQ(plugin::firHalfLength(100000, 48000), 960000);
    EXPECT_EQ(plugin::firHalfLength(INT32_MAX, INT32_MAX), 922337202826484LL);
}

TEST(FirStateTest, BuildAllocatesKernelNeighbourAudioAndTwoWindowsInThatOrder) {
    FirState state;
    resetAllocations(0);
    buildFirState(state, 100, 100, 100, 44100, countingAllocate);
    EXPECT_EQ(state.halfLength, 882);
    EXPECT_EQ(state.capacity, 44100);
    EXPECT_EQ(allocationSizes,
              (std::vector<std::size_t>{882 * 16 + 8, 44100 * 4, (44100 + 2 * 882) * 8, (44100 + 2 * 882) * 8}));
    // The kernel is the one the console program builds from the same values.
    std::vector<double> expected(2 * 882 + 1);
    dsp::fillKernel(dsp::FirCorrector{882, expected.data()}, 100.0, 100.0, 44100.0);
    EXPECT_EQ(std::vector<double>(state.kernel, state.kernel + expected.size()), expected);
    releaseFirState(state);
    expectEmpty(state);
    releaseFirState(state);  // twice is harmless
    expectEmpty(state);
}

TEST(FirStateTest, EveryFailedAllocationLeavesNoKernelAndNothingHeld) {
    for (int failing = 1; failing <= 4; ++failing) {
        FirState state;
        resetAllocations(0);
        buildFirState(state, 100, 100, 100, 8000, countingAllocate);  // an earlier kernel
        ASSERT_EQ(state.halfLength, 160);
        resetAllocations(failing);
        buildFirState(state, 100, 100, 100, 8000, countingAllocate);
        EXPECT_EQ(allocationCalls, failing) << "allocation " << failing;
        expectEmpty(state);  // the leak checker sees whether the rest was freed
    }
}

TEST(FirStateTest, NoAllocationWithoutAPositiveHalfLengthThatFits) {
    struct Case {
        std::int32_t quality;
        std::int32_t rate;
    };
    for (const Case& c : {Case{0, 44100}, Case{1, 4999}, Case{-100, 44100}, Case{100, 0}, Case{-100, -44100},
                          Case{INT32_MAX, INT32_MAX}}) {
        FirState state;
        resetAllocations(0);
        buildFirState(state, 100, 100, 100, 8000, countingAllocate);
        resetAllocations(0);
        buildFirState(state, c.quality, 100, 100, c.rate, countingAllocate);
        EXPECT_EQ(allocationCalls, 0) << c.quality << " " << c.rate;
        expectEmpty(state);
    }
}

TEST(FirStateTest, FrameWithoutKernelTakesThePreviewPath) {
    FirState state;
    resetAllocations(2);
    buildFirState(state, 100, 100, 100, 8000, countingAllocate);
    ASSERT_EQ(state.halfLength, 0);

    std::int32_t tracks[plugin::FIR_TRACK_COUNT] = {100, 100, 50, 0, 0};
    HostServices services = {};
    services.queryFileInfo = [](void*, FileInfoRecord* info) -> std::int32_t {
        info->samplingRate = 8000;
        return 1;
    };
    FilterTable filter = {};
    filter.trackValues = tracks;
    filter.hostServices = &services;
    std::vector<std::int16_t> audio = {1000, -1000, 3, -3};
    FrameAudioRecord frame = {};
    frame.frameCount = 1;
    frame.audio = audio.data();
    frame.sampleCount = 2;
    frame.channelCount = 2;
    plugin::processFirFrame(state, filter, frame);
    EXPECT_EQ(audio, (std::vector<std::int16_t>{500, -500, 1, -1}));
}

}  // namespace
