#include "console/pcm_mapping.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace {

WavFormat formatOf(int channels, int bits) {
    WavFormat f;
    f.formatTag = 1;
    f.channels = static_cast<std::uint16_t>(channels);
    f.sampleRate = 44100;
    f.bitsPerSample = static_cast<std::uint16_t>(bits);
    return f;
}

// Encodes one mono sample and returns it with the clip peak it leaves.
struct Encoded {
    int sample;
    double peak;
};

Encoded encode16(double x, double peakBefore = 0.0) {
    const double* planes[2] = {&x, nullptr};
    unsigned char pcm[2];
    double peak = peakBefore;
    encodePcm(planes, 1, formatOf(1, 16), pcm, &peak);
    return {static_cast<std::int16_t>(pcm[0] | (pcm[1] << 8)), peak};
}

Encoded encode8(double x, double peakBefore = 0.0) {
    const double* planes[2] = {&x, nullptr};
    unsigned char pcm[1];
    double peak = peakBefore;
    encodePcm(planes, 1, formatOf(1, 8), pcm, &peak);
    return {pcm[0], peak};
}

TEST(EncodePcm16, TruncatesTowardZeroInsideTheRange) {
    EXPECT_EQ(0, encode16(0.0).sample);
    EXPECT_EQ(0, encode16(-0.00003).sample);  // -0.98 truncates to 0
    EXPECT_EQ(0, encode16(0.00003).sample);
    EXPECT_EQ(16383, encode16(0.49999).sample);
    EXPECT_EQ(-16383, encode16(-0.49999).sample);
    EXPECT_EQ(32767, encode16(32767.9 / 32768.0).sample);
    EXPECT_EQ(0.0, encode16(32767.9 / 32768.0).peak);
}

TEST(EncodePcm16, FullScaleIsAsymmetric) {
    // -1.0 fits; +1.0 is clipped and counts with the ratio 32768 / 32767.
    Encoded low = encode16(-1.0);
    EXPECT_EQ(-32768, low.sample);
    EXPECT_EQ(0.0, low.peak);
    Encoded high = encode16(1.0);
    EXPECT_EQ(32767, high.sample);
    EXPECT_EQ(32768 * 3.051850947599719e-05, high.peak);
    EXPECT_NEAR(32768.0 / 32767.0, high.peak, 1e-15);
    // Just below -1 - 2^-15 the truncated value is still -32768.
    EXPECT_EQ(0.0, encode16(-1.0 - 1.0 / 65536.0).peak);
}

TEST(EncodePcm16, ClipRatiosUseTheFullScaleOfTheirSide) {
    Encoded high = encode16(1.5);
    EXPECT_EQ(32767, high.sample);
    EXPECT_EQ(49152 * 3.051850947599719e-05, high.peak);
    Encoded low = encode16(-1.5);
    EXPECT_EQ(-32768, low.sample);
    EXPECT_EQ(1.5, low.peak);
    Encoded lowEdge = encode16(-32769.0 / 32768.0);
    EXPECT_EQ(-32768, lowEdge.sample);
    EXPECT_EQ(32769.0 / 32768.0, lowEdge.peak);
}

TEST(EncodePcm16, ExtremeValuesSaturateOnTheirOwnSide) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(32767, encode16(1e300).sample);
    EXPECT_EQ(-32768, encode16(-1e300).sample);
    EXPECT_EQ(32767, encode16(5e9).sample);   // beyond the 32-bit integer range
    EXPECT_EQ(-32768, encode16(-5e9).sample);
    Encoded up = encode16(inf);
    EXPECT_EQ(32767, up.sample);
    EXPECT_EQ(inf, up.peak);
    EXPECT_EQ(-32768, encode16(-inf).sample);
    Encoded nan = encode16(std::nan(""), 1.25);
    EXPECT_EQ(0, nan.sample);
    EXPECT_EQ(1.25, nan.peak);
}

TEST(EncodePcm16, ThePeakOnlyRises) {
    EXPECT_EQ(2.0, encode16(1.5, 2.0).peak);
    EXPECT_EQ(1.5, encode16(-1.5, 1.2).peak);
    EXPECT_EQ(0.5, encode16(0.3, 0.5).peak);
}

TEST(EncodePcm8, MapsAroundTheBiasWithTruncation) {
    EXPECT_EQ(128, encode8(0.0).sample);
    EXPECT_EQ(128, encode8(0.0078).sample);   // x * -128 = -0.998, truncated to 0
    EXPECT_EQ(129, encode8(0.0079).sample);
    EXPECT_EQ(128, encode8(-0.0078).sample);
    EXPECT_EQ(127, encode8(-0.0079).sample);
    EXPECT_EQ(254, encode8(126.9 / 128.0).sample);
    EXPECT_EQ(255, encode8(127.9 / 128.0).sample);
    EXPECT_EQ(0.0, encode8(127.9 / 128.0).peak);
}

TEST(EncodePcm8, FullScaleIsAsymmetric) {
    Encoded low = encode8(-1.0);
    EXPECT_EQ(0, low.sample);
    EXPECT_EQ(0.0, low.peak);
    Encoded high = encode8(1.0);
    EXPECT_EQ(255, high.sample);
    EXPECT_EQ(128 * 0.007874015748031496, high.peak);
    EXPECT_NEAR(128.0 / 127.0, high.peak, 1e-15);
}

TEST(EncodePcm8, ClipRatiosUseTheFullScaleOfTheirSide) {
    Encoded low = encode8(-129.0 / 128.0);
    EXPECT_EQ(0, low.sample);
    EXPECT_EQ(129 * 0.0078125, low.peak);
    Encoded high = encode8(1.5);
    EXPECT_EQ(255, high.sample);
    EXPECT_EQ(192 * 0.007874015748031496, high.peak);
    EXPECT_EQ(0, encode8(-1e12).sample);
    EXPECT_EQ(255, encode8(1e12).sample);
    Encoded nan = encode8(std::nan(""));
    EXPECT_EQ(128, nan.sample);
    EXPECT_EQ(0.0, nan.peak);
}

TEST(PcmMapping, StereoIsInterleavedAndDcIsRemovedPerChannel) {
    // Two 16-bit frames: (100, -200), (-32768, 32767).
    const unsigned char pcm16[] = {100, 0, 0x38, 0xFF, 0x00, 0x80, 0xFF, 0x7F};
    std::vector<double> left(3, -9.0), right(3, -9.0);
    double* planes[2] = {left.data(), right.data()};
    const double dc[2] = {4.0, -8.0};
    decodePcm(pcm16, 2, formatOf(2, 16), dc, planes, 1);
    EXPECT_EQ(-9.0, left[0]);  // before the offset: untouched
    EXPECT_EQ((100 - 4.0) * 0.000030517578125, left[1]);
    EXPECT_EQ((-200 + 8.0) * 0.000030517578125, right[1]);
    EXPECT_EQ((-32768 - 4.0) * 0.000030517578125, left[2]);
    EXPECT_EQ((32767 + 8.0) * 0.000030517578125, right[2]);

    const unsigned char pcm8[] = {0, 255, 128, 1};
    const double dc8[2] = {128.0, 127.5};
    decodePcm(pcm8, 2, formatOf(2, 8), dc8, planes, 0);
    EXPECT_EQ(-1.0, left[0]);
    EXPECT_EQ((255 - 127.5) * 0.0078125, right[0]);
    EXPECT_EQ(0.0, left[1]);
    EXPECT_EQ((1 - 127.5) * 0.0078125, right[1]);

    // And back: each channel goes to its own interleaved position.
    const double l[2] = {0.5, -1.0}, r[2] = {-0.25, 1.0};
    const double* out[2] = {l, r};
    unsigned char encoded[8];
    double peak = 0.0;
    encodePcm(out, 2, formatOf(2, 16), encoded, &peak);
    const unsigned char expected[] = {0x00, 0x40, 0x00, 0xE0, 0x00, 0x80, 0xFF, 0x7F};
    EXPECT_EQ(0, std::memcmp(expected, encoded, 8));
    EXPECT_EQ(32768 * 3.051850947599719e-05, peak);
}

}  // namespace
