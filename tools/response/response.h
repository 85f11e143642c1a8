// The magnitude response of the two correctors, measured from the dsp/ code
// itself: the IIR corrector from its recurrence (the spectrum of a long
// impulse response run through dsp::process), the FIR corrector from its
// kernel (the cosine sum over the taps that dsp::fillKernel writes). Both
// follow the console programs' settings: effect and gain in percent, the
// quality of qortafir, an integer sample rate.
#ifndef QORTA_TOOLS_RESPONSE_H
#define QORTA_TOOLS_RESPONSE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace response {

enum class CorrectorKind { Iir, Fir };

// The settings of one response curve.
struct CurveSettings {
    CorrectorKind kind = CorrectorKind::Iir;
    std::uint32_t sampleRate = 44100;  // samples per second
    double effect = 100.0;             // bass boost in percent
    double gain = 100.0;               // output gain in percent
    std::int32_t quality = 100;        // kernel length control, FIR only
};

// Result codes.
constexpr int RESPONSE_OK = 0;
constexpr int RESPONSE_BAD_SETTINGS = -1;   // a rate below 10 Hz, or an FIR kernel the program refuses
constexpr int RESPONSE_OUT_OF_MEMORY = -2;  // the impulse response or the kernel could not be allocated

// The lowest sample rate the console programs accept.
constexpr std::uint32_t MIN_SAMPLE_RATE = 10;

// Samples of the IIR impulse response that the spectrum is taken over: two
// seconds, that is 40 time constants of the slower of the two poles, so the
// cut-off tail is below 1e-17 of the response.
std::size_t iirImpulseLength(std::uint32_t sampleRate);

// Computes |H(f)| of the IIR corrector that qortaiir runs for `settings`
// (strength effect x 0.25, output scale gain x 0.01) at each of the `count`
// frequencies in Hz, into `magnitudes`. The impulse response of
// iirImpulseLength samples is produced by dsp::process from reset state and
// transformed at each frequency. Frequencies above half the sample rate
// give the aliased value.
// Returns RESPONSE_OK, RESPONSE_BAD_SETTINGS for a sample rate below
// MIN_SAMPLE_RATE, or RESPONSE_OUT_OF_MEMORY; `magnitudes` is unchanged on
// failure. With `count` 0 nothing is computed.
int iirMagnitudes(const CurveSettings& settings, const double* frequencies, std::size_t count, double* magnitudes);

// Computes the real, even amplitude A(f) = sum of kernel[N + k] x
// cos(2 pi f k / rate) over k = -N .. N of the kernel that qortafir builds
// for `settings` (N = (quality x rate) / 5000 in unsigned 32-bit
// arithmetic), at each of the `count` frequencies, into `amplitudes`. The
// terms are added in ascending k, so A(0) is the sum of the taps in kernel
// order. A(f) may be negative where the response crosses zero.
// Returns RESPONSE_OK, RESPONSE_BAD_SETTINGS for a sample rate below
// MIN_SAMPLE_RATE or a half-length the program refuses (above 0x40000), or
// RESPONSE_OUT_OF_MEMORY; `amplitudes` is unchanged on failure.
int firAmplitudes(const CurveSettings& settings, const double* frequencies, std::size_t count, double* amplitudes);

// The magnitude |H(f)| of the corrector `settings.kind` at each frequency:
// iirMagnitudes, or the absolute value of firAmplitudes. Same result codes.
int curveMagnitudes(const CurveSettings& settings, const double* frequencies, std::size_t count,
                    double* magnitudes);

// `count` frequencies spaced evenly on a logarithmic axis from `low` to
// `high` inclusive (both > 0; the first and last are exactly `low` and
// `high`). One frequency (`low`) for `count` 1, none for 0.
std::vector<double> logFrequencies(double low, double high, std::size_t count);

// 20 log10(magnitude): -infinity for 0, NaN for a negative or NaN input.
double toDecibels(double magnitude);

}  // namespace response

#endif
