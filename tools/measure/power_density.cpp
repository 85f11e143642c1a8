#include "tools/measure/power_density.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>

namespace measure {
namespace {

const double PI = 3.14159265358979323846;

// In-place iterative radix-2 FFT; data.size() is a power of two.
void fft(std::vector<std::complex<double>>& data) {
    const std::size_t n = data.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(data[i], data[j]);
    }
    for (std::size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2.0 * PI / static_cast<double>(length);
        for (std::size_t start = 0; start < n; start += length) {
            for (std::size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> w = std::polar(1.0, angle * static_cast<double>(k));
                const std::complex<double> even = data[start + k];
                const std::complex<double> odd = data[start + k + length / 2] * w;
                data[start + k] = even + odd;
                data[start + k + length / 2] = even - odd;
            }
        }
    }
}

}  // namespace

Spectrum powerSpectrum(const std::vector<double>& samples, double sampleRate, int segmentLength) {
    const std::size_t n = static_cast<std::size_t>(segmentLength);
    std::vector<double> window(n);
    double windowPower = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        window[i] = 0.5 - 0.5 * std::cos(2.0 * PI * static_cast<double>(i) / static_cast<double>(n));
        windowPower += window[i] * window[i];
    }
    Spectrum spectrum;
    spectrum.binWidth = sampleRate / static_cast<double>(n);
    spectrum.power.assign(n / 2 + 1, 0.0);
    const std::size_t hop = n / 2;
    const std::size_t frames = samples.size();
    std::size_t segments = 0;
    std::vector<std::complex<double>> data(n);
    for (std::size_t start = 0; segments == 0 || start + n <= frames; start += hop) {
        const std::size_t available = start < frames ? std::min(n, frames - start) : 0;
        double mean = 0.0;
        for (std::size_t i = 0; i < available; ++i) mean += samples[start + i];
        if (available > 0) mean /= static_cast<double>(available);
        for (std::size_t i = 0; i < n; ++i)
            data[i] = i < available ? (samples[start + i] - mean) * window[i] : 0.0;
        fft(data);
        for (std::size_t k = 0; k <= n / 2; ++k) {
            const double one = std::norm(data[k]) / (windowPower * static_cast<double>(n));
            spectrum.power[k] += (k == 0 || k == n / 2) ? one : 2.0 * one;  // one-sided
        }
        ++segments;
    }
    for (double& p : spectrum.power) p /= static_cast<double>(segments);
    return spectrum;
}

double bandLevelDb(const Spectrum& spectrum, double low, double high) {
    double sum = 0.0;
    for (std::size_t k = 0; k < spectrum.power.size(); ++k) {
        const double f = static_cast<double>(k) * spectrum.binWidth;
        if (f >= low && f < high) sum += spectrum.power[k];
    }
    return 10.0 * std::log10(sum);
}

}  // namespace measure
