// The exact sums of the streaming FIR: the outputs the decisions left
// undecided, computed by the plain convolution, the same products in the
// same order as dsp::convolveAt.
#include "realtime/stream_fir_exact.h"

#include <cstddef>
#include <cstdint>

#include "dsp/fir_convolve.h"
#include "dsp/fir_corrector.h"
#include "realtime/stream_fir.h"

namespace realtime {

namespace {


// Marked outputs at most this far apart are computed together.
constexpr std::uint32_t SETTLE_GAP = 8;

// dsp::convolveAt centred on window[centre x stride] over a window whose
// values lie `stride` apart (one channel of frames side by side): the same
// products added to 0.0 in the same ascending order, so the same bits.
double convolveStridedAt(const dsp::FirCorrector& corrector, const double* window, std::ptrdiff_t centre,
                         std::ptrdiff_t stride) {
    if (stride == 1) return dsp::convolveAt(corrector, window, centre);
    const std::int64_t n = corrector.halfLength;
    const double* const kernel = corrector.kernel;
    double sum = 0.0;
    for (std::int64_t m = -n; m <= n; ++m) sum += kernel[n + m] * window[(centre + m) * stride];
    return sum;
}

// Computes values[i] exactly, dsp::convolveAt centred on window position
// N + i (positions `stride` doubles apart), for every i < frames with
// marked[i] set; returns how many sums it computed. Marked outputs close
// together are computed as one dsp::convolveRun on `path` (the stream's
// instruction set), which works on several outputs side by side, over the positions copied into `scratch` (2 N +
// frames doubles) unless they are contiguous; one or two alone, each by
// the plain ascending chain of convolveAt, about twice as fast as a run's
// for one output (measured). Both add the same products in the same order:
// the same bits.
std::uint64_t settleMarked(dsp::ConvolvePath path, const dsp::FirCorrector& corrector, const double* window,
                           std::ptrdiff_t stride, std::uint32_t frames, const unsigned char* marked, double* values,
                           double* scratch) {
    const std::int32_t n = corrector.halfLength;
    std::uint64_t computed = 0;
    std::uint32_t i = 0;
    while (i < frames) {
        if (marked[i] == 0) {
            ++i;
            continue;
        }
        std::uint32_t end = i + 1, count = 1;
        for (std::uint32_t j = end; j < frames && j - end < SETTLE_GAP; ++j)
            if (marked[j] != 0) {
                end = j + 1;
                ++count;
            }
        if (count <= 2) {
            for (std::uint32_t j = i; j < end; ++j)
                if (marked[j] != 0)
                    values[j] = convolveStridedAt(corrector, window, n + static_cast<std::ptrdiff_t>(j), stride);
            computed += count;
        } else {
            const double* run = window + static_cast<std::ptrdiff_t>(i) * stride;
            if (stride != 1) {
                const std::size_t positions = 2 * static_cast<std::size_t>(n) + (end - i);
                for (std::size_t k = 0; k < positions; ++k) scratch[k] = run[static_cast<std::ptrdiff_t>(k) * stride];
                run = scratch;
            }
            if (!dsp::convolveRunWith(path, corrector, run, n, end - i, values + i))
                dsp::convolveRun(corrector, run, n, end - i, values + i);
            computed += end - i;
        }
        i = end;
    }
    return computed;
}

}  // namespace

void writeExactSums(FirStream& stream, float* const* out, int channels, std::uint32_t frames, std::int64_t firstTime) {
    const std::int32_t n = stream.halfLength;
    for (int ch = 0; ch < channels; ++ch) {
        FirChannel& channel = stream.channel[ch];
        // The window from the first centre's N samples of past to the
        // newest input lies in one piece of the mirrored delay line.
        const std::int64_t firstWindow = firstTime - 2 * static_cast<std::int64_t>(n);
        const double* window =
            stream.ring.get() + channels * (static_cast<std::size_t>(firstWindow) & (stream.capacity - 1)) + ch;
        const dsp::FirCorrector corrector{n, stream.kernel.get()};
        stream.exactSums += settleMarked(stream.vectorPath, corrector, window, channels, frames, channel.undecided.get(),
                                         channel.values.get(), stream.exactWindow.get());
        // Only the marked sums take the exact value: a decided one that a
        // run of exact sums happened to cover keeps its fast value, so that
        // the output does not depend on where blocks begin.
        for (std::uint32_t i = 0; i < frames; ++i)
            if (channel.undecided[i] != 0) {
                out[ch][i] = static_cast<float>(channel.values[i]);
                channel.undecided[i] = 0;  // all clear again for the next call
            }
    }
}

}  // namespace realtime
