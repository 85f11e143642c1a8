// The non-recursive bass corrector: a symmetric, linear-phase kernel of
// 2N + 1 taps applied centred on every sample, so the output is not delayed.
// The kernel holds the unchanged signal, a two-sided exponential bass boost
// lowered so that it would reach zero one tap beyond the kernel's edges, the
// output gain, and the subtraction of a moving average over 2N + 1 samples.
// Pure computation on doubles, 1.0 = full scale.
#ifndef QORTA_DSP_FIR_CORRECTOR_H
#define QORTA_DSP_FIR_CORRECTOR_H

#include <cstddef>
#include <cstdint>

namespace dsp {

struct FirCorrector {
    std::int32_t halfLength;  // N >= 0: the kernel reaches N samples to each side of the centre
    double* kernel;           // 2N + 1 taps, allocated and owned by the caller; kernel[N + k] weighs offset k
};

// The kernel half-length N for `quality` and `sampleRate` as the console
// programs compute it: quality x sampleRate / 5000 with the product and the
// division in unsigned 32-bit arithmetic, so the product wraps modulo 2^32
// and a negative quality gives a very large N.
std::uint32_t halfLengthWrapping32(std::int32_t quality, std::uint32_t sampleRate);

// The kernel half-length N for `quality` and `sampleRate` as the plug-in
// computes it: the exact signed product quality x sampleRate divided by 5000
// and truncated toward zero. Negative when exactly one of the two is.
std::int64_t halfLengthExact(std::int32_t quality, std::int32_t sampleRate);

// Fills the 2N + 1 taps of `corrector.kernel` (N = `corrector.halfLength`)
// for `effect` (bass boost in percent), `gain` (output gain in percent) and
// `sampleRate` (samples per second, > 0). With T = 100 / sampleRate and
// S = strengthFromEffect(effect) = effect x 0.25, tap k is
//   (gain / 100) x (delta(k) + S x T x (exp(-|k| T) - exp(-(N + 1) T))) - 1 / (2N + 1),
// computed step by step in a fixed order so that every caller gets the same
// bits. The result is symmetric bit for bit: kernel[N + k] == kernel[N - k].
// No failure path. The kernel must hold 2N + 1 doubles; with N < 0 nothing
// is written.
void fillKernel(const FirCorrector& corrector, double effect, double gain, double sampleRate);

// The exponentials the kernel is built from: table[k] = exp(-k x T) with
// T = 100 / `sampleRate`, for k = 0 .. `count` - 1, each computed exactly as
// fillKernel computes it. For callers that rebuild kernels often, such as a
// real-time stream whose settings change while it runs.
void fillDecayTable(double* table, std::int32_t count, double sampleRate);

// The same taps as fillKernel, bit for bit, with every exponential taken
// from `table` (fillDecayTable for the same `sampleRate`, at least N + 2
// entries) instead of computed: no call of exp. With N < 0 nothing is
// written.
void fillKernelFromTable(const FirCorrector& corrector, const double* table, double effect, double gain,
                         double sampleRate);

// Returns the weighted sum of the 2N + 1 window samples centred on position
// `centre`: starting from 0.0, kernel[N + m] x window[centre + m] is added for
// m = -N up to N in ascending order. Reads window[centre - N] through
// window[centre + N], all of which must exist. This is the reference form;
// with N < 0 it returns 0.0.
double convolveAt(const FirCorrector& corrector, const double* window, std::ptrdiff_t centre);

// Computes `count` consecutive output samples at once:
// out[i] = convolveAt(corrector, window, firstCentre + i) for i in [0, count),
// bit for bit, using the widest vector unit of the running processor. Reads
// window[firstCentre - N] through window[firstCentre + count - 1 + N] and
// writes out[0] through out[count - 1] only; `out` must not overlap the read
// part of the window. With count 0 nothing is read or written (either pointer
// may then be null). With N < 0 every output is 0.0.
//
// Bit identity holds for every window without NaN (infinities and the NaN
// they produce included); a NaN input still gives NaN outputs in the same
// places, but its payload may differ from the reference form's.
void convolveRun(const FirCorrector& corrector, const double* window, std::ptrdiff_t firstCentre,
                 std::size_t count, double* out);

}  // namespace dsp

#endif
