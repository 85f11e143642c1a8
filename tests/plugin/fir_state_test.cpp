// The FIR plug-in's buffers, linked in directly so that allocations can be
// counted and made to fail.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "dsp/fir_corrector.h"
#include "plugin/fir_state.h"

namespace {

int allocationCalls = 0;
int failingCall = 0;  // 1 for the first allocation, 0 for none
std::vector<std::size_t> allocationSizes;

void* countingAllocate(std::size_t bytes) {
    allocationSizes.push_back(bytes);
    return ++allocationCalls == failingCall ? nullptr : std::malloc(bytes);
}

void build(plugin::FirState& state, std::int32_t quality, std::int32_t rate, int failing = 0) {
    allocationCalls = 0;
    failingCall = failing;
    allocationSizes.clear();
    plugin::buildFirState(state, quality, 100, 100, rate, countingAllocate);
}

void expectEmpty(const plugin::FirState& state) {
    EXPECT_EQ(state.halfLength, 0);
    EXPECT_TRUE(!state.kernel && !state.neighbourAudio && !state.channelWindow[0] && !state.channelWindow[1] &&
                !state.powers && !state.fastUsable);
}

TEST(FirStateTest, BuildsTheConsoleKernelAndItsBuffersAndReleasesThem) {
    plugin::FirState state;
    build(state, 100, 44100);
    EXPECT_EQ(state.halfLength, 882);
    // The kernel, a neighbouring frame, two windows and the fast form's
    // powers (2N + 3 doubles).
    EXPECT_EQ(allocationSizes,
              (std::vector<std::size_t>{882 * 16 + 8, 44100 * 4, 45864 * 8, 45864 * 8, (2 * 882 + 3) * 8}));
    EXPECT_TRUE(state.fastUsable);
    std::vector<double> expected(2 * 882 + 1);
    dsp::fillKernel(dsp::FirCorrector{882, expected.data()}, 100.0, 100.0, 44100.0);
    EXPECT_EQ(std::vector<double>(state.kernel, state.kernel + expected.size()), expected);
    plugin::releaseFirState(state);
    expectEmpty(state);
    plugin::releaseFirState(state);
    expectEmpty(state);
}

TEST(FirStateTest, FailedAllocationOrNoPositiveHalfLengthLeavesNoKernel) {
    for (int failing = 1; failing <= 5; ++failing) {
        plugin::FirState state;
        build(state, 100, 8000);
        build(state, 100, 8000, failing);  // the earlier kernel goes too
        EXPECT_EQ(allocationCalls, failing);
        expectEmpty(state);  // and the leak checker sees the rest freed
    }
    for (auto [quality, rate] : {std::pair{0, 44100}, {1, 4999}, {-100, 44100}, {100, 0}, {-100, -44100},
                                 {INT32_MAX, INT32_MAX}}) {
        plugin::FirState state;
        build(state, quality, rate);
        EXPECT_EQ(allocationCalls, 0) << quality << " " << rate;
        expectEmpty(state);
    }
}

}  // namespace
