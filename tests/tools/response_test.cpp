// The measured responses against the closed forms of the two correctors:
// the IIR transfer functions and the FIR kernel's cosine sum, written out
// independently of dsp/.
#include "tools/response/response.h"

#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace {

using response::CorrectorKind;
using response::CurveSettings;

constexpr double PI = 3.14159265358979323846;

CurveSettings curve(CorrectorKind kind, std::uint32_t rate, double effect, double gain, std::int32_t quality = 100) {
    CurveSettings c;
    c.kind = kind;
    c.sampleRate = rate;
    c.effect = effect;
    c.gain = gain;
    c.quality = quality;
    return c;
}

// (gain / 100) x (1 + bass branch) x high-pass at frequency f, from
//   bass:      g (1 + 1/z) / (2 (1 - b/z)),  g = S (1 - b), b = exp(-50 / rate)
//   high-pass: h (1 - 1/z) / (1 - h/z),      h = exp(-20 / rate)
double iirClosedForm(double rate, double effect, double gain, double f) {
    const double s = effect * 0.25;
    const double b = std::exp(-50.0 / rate);
    const double h = std::exp(-20.0 / rate);
    const double g = s * (1.0 - b);
    const std::complex<double> zInv = std::polar(1.0, -2.0 * PI * f / rate);
    const std::complex<double> bass = g * (1.0 + zInv) / (2.0 * (1.0 - b * zInv));
    const std::complex<double> highPass = h * (1.0 - zInv) / (1.0 - h * zInv);
    return std::abs((gain / 100.0) * (1.0 + bass) * highPass);
}

// The kernel's amplitude at f in closed form, N = (quality x rate) / 5000:
//   (gain/100) (1 + S T (E(f) - exp(-(N+1) T) D(f))) - D(f) / (2N + 1)
// with the geometric sum E(f) = sum exp(-|k| T) cos(w k) and the Dirichlet
// kernel D(f) = sum cos(w k) = sin((2N + 1) w / 2) / sin(w / 2), k = -N..N.
double firClosedForm(double rate, double effect, double gain, std::uint32_t n, double f) {
    const double t = 100.0 / rate, s = effect * 0.25, w = 2.0 * PI * f / rate;
    const double taps = 2.0 * n + 1.0;
    const std::complex<double> q = std::exp(std::complex<double>(-t, w));
    const double e = 1.0 + 2.0 * std::real(q * (1.0 - std::pow(q, static_cast<double>(n))) / (1.0 - q));
    const double d = std::fabs(std::sin(w / 2)) < 1e-12 ? taps : std::sin(taps * w / 2) / std::sin(w / 2);
    const double tail = std::exp(-(n + 1.0) * t);
    return (gain / 100.0) * (1.0 + s * t * (e - tail * d)) - d / taps;
}

// The sum of the taps at 0 Hz as a single closed form:
//   (gain / 100) (1 + S T sum exp(-|k| T) - (2N + 1) t) - 1,  t = exp(-(N+1) T) S T.
double firSumOfTaps(double rate, double effect, double gain, std::uint32_t n) {
    const double t = 100.0 / rate, s = effect * 0.25;
    double exponentials = 0.0;
    for (long k = -static_cast<long>(n); k <= static_cast<long>(n); ++k) exponentials += std::exp(-std::labs(k) * t);
    const double tail = std::exp(-(n + 1.0) * t) * s * t;
    return (gain / 100.0) * (1.0 + s * t * exponentials - (2.0 * n + 1.0) * tail) - 1.0;
}

std::vector<double> iir(const CurveSettings& c, const std::vector<double>& f) {
    std::vector<double> m(f.size(), -1.0);
    EXPECT_EQ(response::RESPONSE_OK, response::iirMagnitudes(c, f.data(), f.size(), m.data()));
    return m;
}

std::vector<double> fir(const CurveSettings& c, const std::vector<double>& f) {
    std::vector<double> a(f.size(), -1.0);
    EXPECT_EQ(response::RESPONSE_OK, response::firAmplitudes(c, f.data(), f.size(), a.data()));
    return a;
}

TEST(IirResponse, MatchesTheTransferFunctionsAcrossSettings) {
    struct Case { std::uint32_t rate; double effect, gain; };
    const Case cases[] = {{44100, 100, 100}, {44100, 50, 100}, {44100, 200, 80}, {48000, 100, 100},
                          {8000, 0, 100},    {22050, -40, 150}, {96000, 350, 100}};
    for (const Case& k : cases) {
        const std::vector<double> f = {1.0, 3.0, 10.0, 31.6, 100.0, 440.0, 1000.0, 3000.0, k.rate * 0.45};
        std::vector<double> m = iir(curve(CorrectorKind::Iir, k.rate, k.effect, k.gain), f);
        for (std::size_t i = 0; i < f.size(); ++i) {
            const double expected = iirClosedForm(k.rate, k.effect, k.gain, f[i]);
            EXPECT_NEAR(expected, m[i], 1e-9 * expected + 1e-12)
                << "rate " << k.rate << " effect " << k.effect << " gain " << k.gain << " at " << f[i] << " Hz";
        }
    }
}

TEST(IirResponse, BlocksDcAndPassesHighFrequencies) {
    const std::vector<double> f = {0.0, 22050.0};
    std::vector<double> m = iir(curve(CorrectorKind::Iir, 44100, 100, 100), f);
    EXPECT_LT(m[0], 1e-12);  // the truncated impulse response sums to zero
    // At the Nyquist frequency the bass branch is 0 and the high-pass gives 2h / (1 + h).
    const double h = std::exp(-20.0 / 44100);
    EXPECT_NEAR(2 * h / (1 + h), m[1], 1e-12);
    // A strong boost at low frequency: about +23.8 dB at 10 Hz for effect 100.
    const std::vector<double> ten = {10.0};
    EXPECT_NEAR(23.7737, response::toDecibels(iir(curve(CorrectorKind::Iir, 44100, 100, 100), ten)[0]), 1e-3);
}

TEST(FirResponse, SumOfTapsAtZeroHertz) {
    const std::vector<double> zero = {0.0};
    // Values the kernel build is known to give.
    EXPECT_NEAR(29.7303969219910, fir(curve(CorrectorKind::Fir, 44100, 100, 100, 100), zero)[0], 1e-11);
    EXPECT_NEAR(29.7279033224832, fir(curve(CorrectorKind::Fir, 48000, 100, 100, 100), zero)[0], 1e-11);
    struct Case { std::uint32_t rate; double effect, gain; std::int32_t quality; };
    const Case cases[] = {{44100, 100, 100, 300}, {44100, 50, 100, 100}, {44100, 200, 70, 100},
                          {8000, 100, 100, 37},   {48000, 0, 100, 100},  {22050, -60, 120, 250}};
    for (const Case& k : cases) {
        const std::uint32_t n = static_cast<std::uint32_t>(k.quality) * k.rate / 5000;
        const double expected = firSumOfTaps(k.rate, k.effect, k.gain, n);
        EXPECT_NEAR(expected, fir(curve(CorrectorKind::Fir, k.rate, k.effect, k.gain, k.quality), zero)[0],
                    1e-10 * std::fabs(expected) + 1e-12)
            << "rate " << k.rate << " effect " << k.effect << " quality " << k.quality;
    }
}

TEST(FirResponse, MatchesTheClosedFormAtEveryFrequency) {
    struct Case { std::uint32_t rate; double effect, gain; std::int32_t quality; };
    const Case cases[] = {{44100, 100, 100, 100}, {44100, 200, 100, 300}, {48000, 50, 90, 100}, {8000, 100, 100, 5}};
    for (const Case& k : cases) {
        const std::uint32_t n = static_cast<std::uint32_t>(k.quality) * k.rate / 5000;
        // Includes the zeros of the moving average at multiples of rate / (2N + 1).
        const double zeroOfAverage = static_cast<double>(k.rate) / (2.0 * n + 1.0);
        const std::vector<double> f = {3.0, 10.0, zeroOfAverage, 2 * zeroOfAverage, 37.5, 100.0, 1000.0, k.rate * 0.4};
        std::vector<double> a = fir(curve(CorrectorKind::Fir, k.rate, k.effect, k.gain, k.quality), f);
        for (std::size_t i = 0; i < f.size(); ++i)
            EXPECT_NEAR(firClosedForm(k.rate, k.effect, k.gain, n, f[i]), a[i], 1e-10)
                << "rate " << k.rate << " quality " << k.quality << " at " << f[i] << " Hz";
    }
}

TEST(FirResponse, ThreeTapKernelAndOneTapKernel) {
    // 5000 Hz, quality 1: N = 1, taps -0.3236..., 0.6862..., -0.3236...
    const std::vector<double> f = {0.0, 625.0, 1250.0, 2500.0};
    std::vector<double> a = fir(curve(CorrectorKind::Fir, 5000, 100, 100, 1), f);
    for (std::size_t i = 0; i < f.size(); ++i)
        EXPECT_NEAR(0.686271947090505 - 2 * 0.323628716256117 * std::cos(2 * PI * f[i] / 5000), a[i], 1e-13);
    // Quality 0: a single tap, the same amplitude at every frequency.
    std::vector<double> flat = fir(curve(CorrectorKind::Fir, 44100, 100, 100, 0), f);
    for (double v : flat) EXPECT_NEAR(0.000128401626592, v, 1e-15);
}

TEST(FirResponse, MagnitudeIsTheAbsoluteAmplitude) {
    // Gain 0 leaves only the negated moving average: -1 at 0 Hz.
    const std::vector<double> zero = {0.0};
    const CurveSettings c = curve(CorrectorKind::Fir, 44100, 100, 0, 100);
    EXPECT_NEAR(-1.0, fir(c, zero)[0], 1e-12);
    double m = 0.0;
    ASSERT_EQ(response::RESPONSE_OK, response::curveMagnitudes(c, zero.data(), 1, &m));
    EXPECT_NEAR(1.0, m, 1e-12);
    // The IIR kind goes to the recurrence, not to the kernel.
    const CurveSettings i = curve(CorrectorKind::Iir, 44100, 100, 100);
    ASSERT_EQ(response::RESPONSE_OK, response::curveMagnitudes(i, zero.data(), 1, &m));
    EXPECT_LT(m, 1e-12);
}

TEST(ResponseSettings, RefusesWhatTheProgramsRefuse) {
    const double f = 100.0;
    double out = 7.0;
    EXPECT_EQ(response::RESPONSE_BAD_SETTINGS,
              response::iirMagnitudes(curve(CorrectorKind::Iir, 9, 100, 100), &f, 1, &out));
    EXPECT_EQ(response::RESPONSE_BAD_SETTINGS,
              response::firAmplitudes(curve(CorrectorKind::Fir, 9, 100, 100), &f, 1, &out));
    // Every negative quality, also -70000, whose unsigned product at 44.1 kHz
    // would give a half-length the window holds.
    for (std::int32_t quality : {-5, -70000})
        EXPECT_EQ(response::RESPONSE_BAD_SETTINGS,
                  response::firAmplitudes(curve(CorrectorKind::Fir, 44100, 100, 100, quality), &f, 1, &out));
    // 300 x 4370000 / 5000 = 262200 > 0x40000, refused before any work is done.
    EXPECT_EQ(response::RESPONSE_BAD_SETTINGS,
              response::curveMagnitudes(curve(CorrectorKind::Fir, 4370000, 100, 100, 300), nullptr, 0, nullptr));
    EXPECT_EQ(7.0, out);
    // 300 x 4369066 / 5000 = 262143: still within the window.
    EXPECT_EQ(response::RESPONSE_OK,
              response::curveMagnitudes(curve(CorrectorKind::Fir, 4369066, 100, 100, 300), nullptr, 0, nullptr));
}

TEST(ResponseAxis, LogFrequenciesAndDecibels) {
    std::vector<double> f = response::logFrequencies(10.0, 20000.0, 301);
    ASSERT_EQ(301u, f.size());
    EXPECT_EQ(10.0, f.front());
    EXPECT_EQ(20000.0, f.back());
    const double ratio = std::pow(2000.0, 1.0 / 300);
    for (std::size_t i = 1; i < f.size(); ++i) EXPECT_NEAR(ratio, f[i] / f[i - 1], 1e-12);
    EXPECT_TRUE(response::logFrequencies(10.0, 100.0, 0).empty());
    EXPECT_EQ(std::vector<double>{10.0}, response::logFrequencies(10.0, 100.0, 1));

    EXPECT_EQ(0.0, response::toDecibels(1.0));
    EXPECT_NEAR(20.0, response::toDecibels(10.0), 1e-14);
    EXPECT_NEAR(-6.0206, response::toDecibels(0.5), 1e-4);
    EXPECT_EQ(-std::numeric_limits<double>::infinity(), response::toDecibels(0.0));
    EXPECT_TRUE(std::isnan(response::toDecibels(-1.0)));
}

}  // namespace
