// The decisions over a block's stored sums of the streaming FIR
// (decideSums): four stereo frames at a time with the coarse test, written
// out together when all pass it, each frame otherwise by decideSum.
// Compiled once per instruction set.
#include "realtime/stream_fir_decide.h"

#include <cstdint>
#include <cstring>

#include "dsp/fir_convolve_kernels.h"
#include "realtime/stream_fir.h"
#include "realtime/stream_fir_lanes.h"

namespace realtime {

namespace {

typedef float FloatOctet __attribute__((vector_size(32)));

typedef long long QuadBits __attribute__((vector_size(32)));

typedef long long OctetBits __attribute__((vector_size(64)));
typedef long long QuadBits __attribute__((vector_size(32)));

// The Octets below are compared and masked in parts of WIDTH lanes (see
// Part in stream_fir_lanes.h): two Quads for AVX, one Octet otherwise.

// magnitude = |values| lane by lane: the sign bits cleared, as absolute().
template <int WIDTH>
QORTA_FIR_INLINE void takeMagnitudes(Octet& magnitude, const Octet& values) {
    if constexpr (WIDTH == 8) {
        magnitude = reinterpret_cast<Octet>(reinterpret_cast<OctetBits>(values) & INT64_MAX);
    } else {
        Quad half[2];
        std::memcpy(half, &values, sizeof half);
        for (Quad& h : half) h = reinterpret_cast<Quad>(reinterpret_cast<QuadBits>(h) & INT64_MAX);
        std::memcpy(&magnitude, half, sizeof half);
    }
}

// True when a >= b in every lane (false where either is NaN).
template <int WIDTH>
QORTA_FIR_INLINE bool everyAtLeast(const Octet& a, const Octet& b) {
    if constexpr (WIDTH == 8) {
        const OctetBits holds = a >= b;
        // Halved three times, so that it stays in vector registers.
        const OctetBits four = holds & __builtin_shufflevector(holds, holds, 4, 5, 6, 7, 0, 1, 2, 3);
        const OctetBits two = four & __builtin_shufflevector(four, four, 2, 3, 0, 1, 2, 3, 0, 1);
        return (two[0] & two[1]) != 0;
    } else {
        Quad x[2], y[2];
        std::memcpy(x, &a, sizeof x);
        std::memcpy(y, &b, sizeof y);
        const QuadBits holds = (x[0] >= y[0]) & (x[1] >= y[1]);
        PairBits pair[2];
        std::memcpy(pair, &holds, sizeof pair);
        const PairBits two = pair[0] & pair[1];
        return (two[0] & two[1]) != 0;
    }
}

// Writes the sums of FRAMES_PER_OCTET frames from frame i on, channels
// side by side in `sums`, rounded to float to output[ch][i ...].
template <int CHANNELS>
QORTA_FIR_INLINE void writeFloats(float* const (&output)[CHANNELS], std::uint32_t i, const Octet& sums);
template <>
QORTA_FIR_INLINE void writeFloats<1>(float* const (&output)[1], std::uint32_t i, const Octet& sums) {
    const FloatOctet floats = __builtin_convertvector(sums, FloatOctet);
    std::memcpy(output[0] + i, &floats, sizeof floats);
}
template <>
QORTA_FIR_INLINE void writeFloats<2>(float* const (&output)[2], std::uint32_t i, const Octet& sums) {
    FloatOctet floats = __builtin_convertvector(sums, FloatOctet);
    floats = __builtin_shufflevector(floats, floats, 0, 2, 4, 6, 1, 3, 5, 7);  // the channels apart
    std::memcpy(output[0] + i, &floats, sizeof floats / 2);
    std::memcpy(output[1] + i, reinterpret_cast<const char*>(&floats) + sizeof floats / 2, sizeof floats / 2);
}

// Writes out the block's stored sums [from, to) that the bound decides
// (all of them while the weights glide, GLIDE); marks the others for the
// exact sum, keeping their value in the channel's `values`. Returns true
// when it marked any.
template <int CHANNELS, bool GLIDE, int WIDTH>
QORTA_FIR_INLINE bool decideSums(FirStream& stream, float* const* out, std::uint32_t from, std::uint32_t to) {
    // A sum is decided without looking closer when |sum| >= (K0 W + K1 (F_max
    // + A_max) + 2^-900) x scale: then the whole bound is at most 2^-26 |sum|,
    // so every value within it lies within one float step of the sum (the
    // spacing of floats near |sum| exceeds 2^-24 (|sum| - bound)); the factor
    // 1 + 2^-40 covers the rounding of that test. Without the fallback, every
    // sum is taken as decided.
    const double scale = stream.exactFallback ? stream.decisionScale : 0.0;
    const double coarseScale = stream.exactFallback ? stream.coarseScale : 0.0;
    const double allowanceScaled = UNDERFLOW_ALLOWANCE * scale;
    const double* const sums = stream.blockSums.get();
    const double* const inputMaxima = stream.blockInputMax.get();
    bool anyUndecided = false;
    // The output pointers in locals too: the float stores below could
    // otherwise be taken to change them.
    float* output[CHANNELS];
    for (int ch = 0; ch < CHANNELS; ++ch) output[ch] = out[ch];
    // First FRAMES_PER_OCTET frames at a time with the coarse test below:
    // when every sum of them passes it (the usual case), they are written
    // out together; otherwise each frame takes the loop below.
    constexpr std::uint32_t STEP = FRAMES_PER_OCTET<CHANNELS>;
    std::uint32_t i = from;
    while (i < to) {
        std::uint32_t frameEnd = i + 1;
        if (to - i >= STEP) {
            Octet sum, inputMax, magnitude;
            loadOctet(sum, sums + CHANNELS * i);
            loadOctet(inputMax, inputMaxima + CHANNELS * i);
            takeMagnitudes<WIDTH>(magnitude, sum);
            const Octet coarseFrom = coarseScale * inputMax + allowanceScaled;
            if (GLIDE || everyAtLeast<WIDTH>(magnitude, coarseFrom)) {
                writeFloats<CHANNELS>(output, i, sum);
                i += STEP;
                continue;
            }
            frameEnd = i + STEP;
        }
        for (; i < frameEnd; ++i) anyUndecided = decideSum<CHANNELS, GLIDE>(stream, output, i) || anyUndecided;
    }
    return anyUndecided;
}

// The entry points, one per instruction set: decideSums compiled for it.
template <int CHANNELS, bool GLIDE>
bool decideSumsGeneric(FirStream& stream, float* const* out, std::uint32_t from, std::uint32_t to) {
    return decideSums<CHANNELS, GLIDE, 8>(stream, out, from, to);
}

#if QORTA_DSP_X86
template <int CHANNELS, bool GLIDE>
__attribute__((target("avx"))) bool decideSumsAvx(FirStream& stream, float* const* out, std::uint32_t from,
                                                  std::uint32_t to) {
    return decideSums<CHANNELS, GLIDE, 4>(stream, out, from, to);
}

template <int CHANNELS, bool GLIDE>
__attribute__((target("avx512f"))) bool decideSumsAvx512f(FirStream& stream, float* const* out, std::uint32_t from,
                                                          std::uint32_t to) {
    return decideSums<CHANNELS, GLIDE, 8>(stream, out, from, to);
}
#endif

}  // namespace

void setDecisionFunctions(FirPathFunctions& functions, dsp::ConvolvePath path) {
    functions.decide[0][0] = decideSumsGeneric<1, false>;
    functions.decide[0][1] = decideSumsGeneric<1, true>;
    functions.decide[1][0] = decideSumsGeneric<2, false>;
    functions.decide[1][1] = decideSumsGeneric<2, true>;
#if QORTA_DSP_X86
    if (path == dsp::CONVOLVE_AVX) {
        functions.decide[0][0] = decideSumsAvx<1, false>;
        functions.decide[0][1] = decideSumsAvx<1, true>;
        functions.decide[1][0] = decideSumsAvx<2, false>;
        functions.decide[1][1] = decideSumsAvx<2, true>;
    } else if (path == dsp::CONVOLVE_AVX512F) {
        functions.decide[0][0] = decideSumsAvx512f<1, false>;
        functions.decide[0][1] = decideSumsAvx512f<1, true>;
        functions.decide[1][0] = decideSumsAvx512f<2, false>;
        functions.decide[1][1] = decideSumsAvx512f<2, true>;
    }
#else
    (void)path;
#endif
}

}  // namespace realtime
