// The compiled forms of the FIR run convolution, on the run's own terms:
// each computes, for i in [0, count),
//   out[i] = sum over t = 0 .. taps - 1, ascending, of kernel[t] x first[i + t],
// starting from 0.0 with every product rounded before it is added. They read
// first[0] through first[count + taps - 2] and write out[0] through
// out[count - 1]. `first` is the window position of the first output's
// earliest tap. Only fir_convolve.cpp calls them, after checking that the
// processor supports the form.
#ifndef QORTA_DSP_FIR_CONVOLVE_KERNELS_H
#define QORTA_DSP_FIR_CONVOLVE_KERNELS_H

#include <cstddef>

// The vector forms need GCC-style target attributes and x86 intrinsics; they
// are built for 32-bit and 64-bit x86 alike and left out elsewhere.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define QORTA_DSP_X86 1
#else
#define QORTA_DSP_X86 0
#endif

namespace dsp {

// Portable form: blocks of eight outputs, one scalar accumulator each.
void convolveGeneric(const double* kernel, std::size_t taps, const double* first, std::size_t count,
                     double* out);

#if QORTA_DSP_X86
void convolveSse2(const double* kernel, std::size_t taps, const double* first, std::size_t count,
                  double* out);
void convolveAvx(const double* kernel, std::size_t taps, const double* first, std::size_t count,
                 double* out);
void convolveAvx512f(const double* kernel, std::size_t taps, const double* first, std::size_t count,
                     double* out);

// Accumulator vectors kept in flight per block: the latency of a vector
// addition is hidden behind the additions of the other outputs. 32-bit x86
// has only eight vector registers, so it works on fewer at a time.
#if defined(__x86_64__)
constexpr int X86_BLOCK_VECTORS = 8;
#else
constexpr int X86_BLOCK_VECTORS = 4;
#endif
#endif

}  // namespace dsp

#endif
