#include "console/pcm_mapping.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

using namespace console;

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
    // NaN has no sign to saturate to: silence, counted as clipped.
    Encoded nan = encode16(std::nan(""), 1.25);
    EXPECT_EQ(0, nan.sample);
    EXPECT_EQ(inf, nan.peak);
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
    EXPECT_EQ(HUGE_VAL, nan.peak);
    EXPECT_EQ(HUGE_VAL, encode8(-HUGE_VAL).peak);
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

// Values around every edge of the conversions, plus the specials.
std::vector<double> edgeValues() {
    std::vector<double> v = {0.0, -0.0, 1.0, -1.0, 0.5, -0.5, HUGE_VAL, -HUGE_VAL,
                             std::numeric_limits<double>::quiet_NaN(), 1e300, -1e300, 3e9, -3e9,
                             std::numeric_limits<double>::denorm_min()};
    for (double edge : {32767.0, 32768.0, -32768.0, -32769.0, 127.0, 128.0, 129.0, -127.0, -128.0})
        for (double d : {-0.5, -1e-9, 0.0, 1e-9, 0.5}) {
            v.push_back((edge + d) / 32768.0);
            v.push_back((edge + d) / -128.0);
        }
    return v;
}

// Encodes `frames` frames of the planes in bulk and one sample at a time and
// expects the same bytes and the same clip peak.
void expectBulkMatchesSamples(const double* const* planes, std::int64_t frames, int channels, int bits) {
    std::vector<unsigned char> bulk(static_cast<std::size_t>(frames * channels * 2) + 1, 0xAA);
    double bulkPeak = 0.5;
    encodePcm(planes, frames, formatOf(channels, bits), bulk.data(), &bulkPeak);
    std::vector<unsigned char> single(bulk.size(), 0xAA);
    double singlePeak = 0.5;
    for (std::int64_t j = 0; j < frames; ++j)
        for (int c = 0; c < channels; ++c) {
            const std::int64_t i = j * channels + c;
            if (bits == 8) {
                single[i] = encodeSample8(planes[c][j], &singlePeak);
            } else {
                auto s = static_cast<std::uint16_t>(encodeSample16(planes[c][j], &singlePeak));
                single[2 * i] = static_cast<unsigned char>(s);
                single[2 * i + 1] = static_cast<unsigned char>(s >> 8);
            }
        }
    EXPECT_EQ(single, bulk) << bits << "-bit, " << channels << " ch, " << frames << " frames";
    EXPECT_EQ(singlePeak, bulkPeak) << bits << "-bit, " << channels << " ch, " << frames << " frames";
}

TEST(EncodePcm, BulkConversionMatchesTheSampleConversionAtEveryEdge) {
    // Each edge value alone among quiet samples, at both ends of the bulk
    // encoder's internal runs, so that its own clip ratio decides the peak.
    for (double value : edgeValues())
        for (int bits : {8, 16})
            for (std::int64_t at : {0, 63, 64, 100}) {
                std::vector<double> left(101, 0.1), right(101, -0.1);
                left[static_cast<std::size_t>(at)] = value;
                right[static_cast<std::size_t>(100 - at)] = value;
                const double* planes[2] = {left.data(), right.data()};
                SCOPED_TRACE(value);
                expectBulkMatchesSamples(planes, 101, 2, bits);
                expectBulkMatchesSamples(planes, 101, 1, bits);
            }
}

TEST(EncodePcm, BulkConversionMatchesTheSampleConversionOnLongRuns) {
    // Random values, a third of them beyond full scale, cut at every length
    // around the bulk encoder's internal runs.
    std::vector<double> values;
    std::uint64_t state = 12345;
    while (values.size() < 700) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        const double unit = static_cast<double>(state >> 11) * 0x1p-53;  // [0, 1)
        values.push_back((unit - 0.5) * (values.size() % 3 == 0 ? 2.6 : 1.9));
    }
    const double* planes[2] = {values.data(), values.data() + 350};
    for (int bits : {8, 16})
        for (int channels : {1, 2})
            for (std::int64_t frames : {0, 1, 63, 64, 65, 127, 128, 129, 300})
                expectBulkMatchesSamples(planes, frames, channels, bits);
}

TEST(SumPcm, AddsEverySampleToItsChannelIncludingAPartialFrame) {
    std::vector<unsigned char> pcm;
    for (int i = 0; i < 70001; ++i) pcm.push_back(static_cast<unsigned char>(i * 37 + (i >> 8)));
    for (int bits : {8, 16})
        for (int channels : {1, 2})
            for (std::uint32_t bytes : {0u, 1u, 2u, 3u, 5u, 70000u, 70001u}) {
                std::int64_t expected[2] = {0, 0};
                const std::uint32_t sampleBytes = static_cast<std::uint32_t>(bits / 8);
                for (std::uint32_t i = 0; i < bytes / sampleBytes; ++i) {
                    const unsigned char* p = pcm.data() + i * sampleBytes;
                    expected[i % channels] += bits == 8 ? p[0] : static_cast<std::int16_t>(p[0] | (p[1] << 8));
                }
                std::int64_t sums[2] = {7, -7};
                sumPcm(pcm.data(), bytes, formatOf(channels, bits), sums);
                EXPECT_EQ(expected[0] + 7, sums[0]) << bits << "-bit, " << channels << " ch, " << bytes << " bytes";
                EXPECT_EQ(expected[1] - 7, sums[1]) << bits << "-bit, " << channels << " ch, " << bytes << " bytes";
            }
}

}  // namespace
