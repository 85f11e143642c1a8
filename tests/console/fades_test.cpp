#include "console/fades.h"

#include <gtest/gtest.h>

using namespace console;

namespace {

CorrectorSettings fades(std::int32_t fadeIn, std::int32_t fadeOut) {
    CorrectorSettings s;
    s.fadeIn = fadeIn;
    s.fadeOut = fadeOut;
    return s;
}

TEST(Fades, NoFadeWithoutAPositiveLength) {
    for (std::int32_t length : {0, -1, -1000}) {
        CorrectorSettings s = fades(length, length);
        EXPECT_EQ(1.0, fadeInFactor(s, 0, 44100));
        EXPECT_EQ(1.0, fadeOutFactor(s, 99, 100, 44100));
    }
}

TEST(Fades, OneSecondFadeInRampsFromZeroToOne) {
    CorrectorSettings s = fades(1000, 0);
    EXPECT_EQ(0.0, fadeInFactor(s, 0, 44100));
    EXPECT_EQ(0.5, fadeInFactor(s, 22050, 44100));
    EXPECT_EQ(((1.0 / 1000) * 1000.0) / 44100, fadeInFactor(s, 1, 44100));
    EXPECT_LT(fadeInFactor(s, 44099, 44100), 1.0);
    EXPECT_EQ(1.0, fadeInFactor(s, 44100, 44100));
    EXPECT_EQ(1.0, fadeInFactor(s, 1000000, 44100));
}

TEST(Fades, FadeOutEndsAtTheDistanceOfOneFrame) {
    CorrectorSettings s = fades(0, 1000);
    const std::int64_t total = 100000;
    EXPECT_EQ(((1.0 / 1000) * 1000.0) / 44100, fadeOutFactor(s, total - 1, total, 44100));
    EXPECT_EQ(0.5, fadeOutFactor(s, total - 22050, total, 44100));
    EXPECT_EQ(1.0, fadeOutFactor(s, total - 44100, total, 44100));
    EXPECT_EQ(1.0, fadeOutFactor(s, 0, total, 44100));
}

TEST(Fades, AFadeLongerThanTheFileNeverReachesOne) {
    CorrectorSettings s = fades(5000, 5000);
    const std::int64_t total = 8000;  // one second at 8 kHz
    for (std::int64_t n = 0; n < total; ++n) {
        ASSERT_LT(fadeInFactor(s, n, 8000), 1.0);
        ASSERT_LT(fadeOutFactor(s, n, total, 8000), 1.0);
    }
}

TEST(Fades, ArithmeticFollowsTheWrittenOrder) {
    // For these values ((d / 300) x 1000) / 44100 differs in its last bits
    // from every other grouping of the same operations.
    CorrectorSettings s = fades(300, 300);
    const std::int64_t total = 1000;
    for (double d : {23.0, 46.0}) {
        const double written = ((d / 300) * 1000.0) / 44100;
        ASSERT_NE(written, ((d * 1000.0) / 300) / 44100);
        ASSERT_NE(written, (d / 300) * (1000.0 / 44100));
        ASSERT_NE(written, (d * 1000.0) / (300.0 * 44100));
        ASSERT_NE(written, d / ((300.0 * 44100) / 1000.0));
        EXPECT_EQ(written, fadeInFactor(s, static_cast<std::int64_t>(d), 44100));
        EXPECT_EQ(written, fadeOutFactor(s, total - static_cast<std::int64_t>(d), total, 44100));
    }
}

}  // namespace
