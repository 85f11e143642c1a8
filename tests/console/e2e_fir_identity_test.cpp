// qortafir computes most sums in the fast closed form and settles the rest
// exactly; whatever the material and settings, its output bytes and text
// must be those of the exact ascending sums, which the reference model
// computes for every frame. Each kind of material runs through a matrix of
// qualities (the fast form from N = 24 on, the exact one below), effects,
// gains and fades, in every sample width and channel count.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/console/e2e_fir_fixture.h"

namespace e2e {
namespace {

constexpr std::uint32_t RATE = 8000;  // N = 160 at quality 100, 480 at 300

enum class Material { Music, Noise, LoudSine, SquareAndSteps, Impulses, Clipping, Plateaus };

// Sample values in the 16-bit range for `frames` frames of `channels`.
std::vector<std::int32_t> samples(Material kind, std::size_t frames, int channels) {
    std::vector<std::int32_t> v(frames * channels);
    std::uint32_t noise = 12345;
    auto random = [&noise] {
        noise = noise * 1664525u + 1013904223u;
        return static_cast<std::int32_t>(noise >> 16) - 32768;
    };
    for (std::size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            const double t = static_cast<double>(i) / RATE;
            double x = 0.0;
            switch (kind) {
                case Material::Music:
                case Material::Clipping: {
                    const double envelope = 0.6 + 0.4 * std::sin(2.0 * M_PI * 0.7 * t);
                    x = envelope * (6000 * std::sin(2 * M_PI * 55 * (c + 1) * t) + 4000 * std::sin(2 * M_PI * 220 * t) +
                                    2500 * std::sin(2 * M_PI * 1330 * t)) +
                        300.0 * random() / 32768.0 + 700;
                    if (kind == Material::Clipping) x *= 2.5;
                    break;
                }
                case Material::Noise: x = random(); break;
                case Material::LoudSine: x = 32700 * std::sin(2 * M_PI * 97 * (c + 1) * t) - 60; break;
                case Material::SquareAndSteps: x = ((i / 400) % 2 ? 20000 : -20000) + (i < frames / 2 ? 3000 : -9000); break;
                case Material::Impulses: x = i % 2900 == 1000 ? (c == 0 ? 32767 : -32768) : 0; break;
                case Material::Plateaus: {
                    // Zero-mean integer plateaus longer than the kernel: the DC
                    // offset is exactly 0, and with effect 0 every exact output
                    // inside a plateau is a whole multiple of the sample step,
                    // which only the last bit of the ascending sum decides.
                    static const int levels[] = {1200, -700, 3, -1, 9000, -9503};
                    x = levels[(i / 1111 + c) % 6];
                    break;
                }
            }
            v[i * channels + c] = static_cast<std::int32_t>(std::lround(std::fmax(-32768.0, std::fmin(32767.0, x))));
        }
    }
    return v;
}

Bytes file(Material kind, std::size_t frames, int channels, int bits) {
    const std::vector<std::int32_t> v = samples(kind, frames, channels);
    Bytes data;
    for (std::int32_t s : v) {
        if (bits == 16) testsupport::appendU16(data, static_cast<std::uint16_t>(s));
        else data.push_back(static_cast<std::uint8_t>((s >> 8) + 128));
    }
    return testsupport::pcmWav(static_cast<std::uint16_t>(channels), RATE, static_cast<std::uint16_t>(bits), data);
}

class FirIdentity : public QortafirRun, public ::testing::WithParamInterface<Material> {};

TEST_P(FirIdentity, OutputAndTextAreThoseOfTheExactSums) {
    const Material kind = GetParam();
    std::vector<ReferenceSettings> matrix = {
        firSettings(0),          firSettings(1),           firSettings(100),          firSettings(300),
        firSettings(100, -100),  firSettings(100, 0),      firSettings(100, 400),     firSettings(100, 100, -100),
        firSettings(100, 100, 0), firSettings(100, 100, 200), firSettings(300, 400, 400), firSettings(100, 100, 100, 700, 900),
        firSettings(300, -100, 200, 300, 1200)};
    if (kind == Material::Plateaus) {
        matrix = {firSettings(100, 0, 200), firSettings(300, 0, 300), firSettings(100, 0, 300, 250, 400),
                  firSettings(100, 0, -200), firSettings(100, 100, 200)};
    }
    const int widths[] = {16, 8};
    for (std::size_t i = 0; i < matrix.size(); ++i) {
        const int bits = widths[i % 2];
        const int channels = 1 + static_cast<int>(i / 2 % 2);
        SCOPED_TRACE(::testing::PrintToString(firOptions(matrix[i])) + " " + std::to_string(bits) + "-bit, " +
                     std::to_string(channels) + " channel(s)");
        expectProcessed(file(kind, 8000, channels, bits), matrix[i], firOptions(matrix[i]));
    }
}

std::string materialName(const ::testing::TestParamInfo<Material>& info) {
    static const char* const names[] = {"Music", "Noise", "LoudSine", "SquareAndSteps", "Impulses", "Clipping",
                                        "Plateaus"};
    return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Materials, FirIdentity,
                         ::testing::Values(Material::Music, Material::Noise, Material::LoudSine,
                                           Material::SquareAndSteps, Material::Impulses, Material::Clipping,
                                           Material::Plateaus),
                         materialName);

TEST_F(QortafirRun, FastSumsMatchTheExactOnesAcrossRefillsAndInShortFiles) {
    // Past the second refill, where the window slides under the segments.
    const ReferenceSettings longRun = firSettings(100, 100, 250, 3000, 0);
    expectProcessed(file(Material::Music, 0x40000 + 3000, 1, 8), longRun, firOptions(longRun));
    // Stereo and clipping over many pieces of sums, with a fade-out: the
    // samples and the clip statistic gathered piece by piece.
    const ReferenceSettings clipped = firSettings(100, 100, 100, 0, 3000);
    expectProcessed(file(Material::Clipping, 0x40000 + 3000, 2, 16), clipped, firOptions(clipped));
    // Shorter than the kernel's half-length: every sum reaches into silence.
    for (const int frames : {1, 100, 479, 481}) {
        SCOPED_TRACE(frames);
        expectProcessed(file(Material::Impulses, static_cast<std::size_t>(frames), 2, 16), firSettings(300),
                        firOptions(firSettings(300)));
    }
}

}  // namespace
}  // namespace e2e
