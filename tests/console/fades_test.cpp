#include "console/fades.h"

#include <gtest/gtest.h>

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
    // ((n / fade) x 1000) / rate differs in the last bit from other
    // groupings for these values.
    CorrectorSettings s = fades(3, 7);
    for (std::int64_t n : {1, 2, 5, 10, 13}) {
        EXPECT_EQ(((static_cast<double>(n) / 3) * 1000.0) / 44100.0, fadeInFactor(s, n, 44100));
        EXPECT_EQ(((static_cast<double>(200 - n) / 7) * 1000.0) / 44100.0, fadeOutFactor(s, n, 200, 44100));
    }
}

}  // namespace
