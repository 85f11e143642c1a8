#include "realtime/stream_fir.h"

#include <algorithm>
#include <new>

#include "dsp/fir_convolve.h"
#include "dsp/fir_convolve_kernels.h"
#include "dsp/fir_corrector.h"
#include "realtime/stream_corrector.h"
#include "realtime/stream_fir_chunk.h"
#include "realtime/stream_fir_decide.h"
#include "realtime/stream_fir_exact.h"
#include "realtime/stream_fir_samples.h"

namespace realtime {

namespace {

template <class T>
std::unique_ptr<T[]> allocate(std::size_t count) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[count]());
}

// Rebuilds kernel, closed form and bound for `values`.
void buildKernel(FirStream& stream, const ControlValues& values) {
    stream.settings = values;
    stream.halfLength = streamHalfLength(values.quality, stream.sampleRate);
    const dsp::FirCorrector corrector{stream.halfLength, stream.kernel.get()};
    dsp::fillKernelFromTable(corrector, stream.decayTable.get(), values.effect, values.gain, stream.sampleRate);
    stream.fastUsable =
        prepareStreamFir(&stream.form, stream.powers.get(), corrector, values.effect, values.gain, stream.sampleRate);
    // The factors of the decisions (stream_fir_decide.h), once per kernel.
    stream.decisionScale = (1.0 + 0x1p-40) / (0x1p-26 - stream.form.boundPerOutput);
    stream.coarseScale =
        (stream.form.boundPerInput + stream.form.boundPerRecursion * stream.form.recursionReach) * stream.decisionScale;
}

void jumpToWeights(FirStream& stream) {
    jumpTo(stream.alpha, stream.form.closed.centreWeight);
    jumpTo(stream.beta, stream.form.closed.boostWeight);
    jumpTo(stream.average, stream.form.closed.averageWeight);
}

// Glides `glide` to `target` unless it is there already.
void glideIfChanged(Glide& glide, double target, std::uint32_t samples) {
    if (glide.target != target) glideTo(glide, target, samples);
}

}  // namespace

bool allocateFirStream(FirStream& stream, double sampleRate) {
    stream.sampleRate = sampleRate;
    stream.maxHalfLength = streamHalfLength(static_cast<std::int32_t>(QUALITY_MAX), sampleRate);
    const auto maxN = static_cast<std::size_t>(stream.maxHalfLength);
    stream.capacity = 1;
    while (stream.capacity < 2 * maxN + STREAM_MAX_BLOCK + 2) stream.capacity *= 2;
    stream.decayTable = allocate<double>(maxN + 2);
    stream.kernel = allocate<double>(2 * maxN + 1);
    stream.powers = allocate<double>(streamFirTableLength(stream.maxHalfLength));
    const std::size_t blockValues = STREAM_MAX_BLOCK * dsp::MAX_CHANNELS;
    stream.blockSums = allocate<double>(blockValues);
    stream.blockInputMax = allocate<double>(blockValues);
    stream.blockRecursionMax = allocate<double>(blockValues);
    stream.ring = allocate<double>(2 * stream.capacity * dsp::MAX_CHANNELS);
    stream.backward = allocate<double>((maxN + 1) * dsp::MAX_CHANNELS);
    stream.exactWindow = allocate<double>(2 * maxN + STREAM_MAX_BLOCK);
    bool allocated = stream.decayTable && stream.kernel && stream.powers && stream.blockSums && stream.blockInputMax &&
                     stream.blockRecursionMax && stream.ring && stream.backward && stream.exactWindow;
    for (FirChannel& channel : stream.channel) {
        channel.values = allocate<double>(STREAM_MAX_BLOCK);
        channel.undecided = allocate<unsigned char>(STREAM_MAX_BLOCK);
        allocated = allocated && channel.values && channel.undecided;
    }
    if (!allocated) return false;
    selectFirVectorPath(stream, dsp::CONVOLVE_GENERIC);
    if (!selectFirVectorPath(stream, dsp::CONVOLVE_AVX512F)) selectFirVectorPath(stream, dsp::CONVOLVE_AVX);
    dsp::fillDecayTable(stream.decayTable.get(), stream.maxHalfLength + 2, sampleRate);
    return true;
}

void startFirStream(FirStream& stream, const ControlValues& values) {
    std::fill(stream.ring.get(), stream.ring.get() + 2 * stream.capacity * dsp::MAX_CHANNELS, 0.0);
    for (FirChannel& channel : stream.channel)
        std::fill(channel.undecided.get(), channel.undecided.get() + STREAM_MAX_BLOCK, 0);
    stream.sums = FirSums{};
    stream.time = 0;
    stream.restart = true;
    buildKernel(stream, values);
    jumpToWeights(stream);
}

void setFirControls(FirStream& stream, const ControlValues& values, bool atOnce, std::uint32_t glideSamples) {
    const ControlValues& now = stream.settings;
    if (values.effect == now.effect && values.gain == now.gain && values.quality == now.quality) return;
    const std::int32_t oldHalfLength = stream.halfLength;
    const bool wasUsable = stream.fastUsable;
    buildKernel(stream, values);
    const bool newSums = stream.halfLength != oldHalfLength || stream.fastUsable != wasUsable;
    if (newSums) stream.restart = true;
    if (atOnce || newSums || !stream.fastUsable) {
        jumpToWeights(stream);
    } else {
        glideIfChanged(stream.alpha, stream.form.closed.centreWeight, glideSamples);
        glideIfChanged(stream.beta, stream.form.closed.boostWeight, glideSamples);
        glideIfChanged(stream.average, stream.form.closed.averageWeight, glideSamples);
    }
}

bool selectFirVectorPath(FirStream& stream, dsp::ConvolvePath path) {
    const bool compiled = path == dsp::CONVOLVE_GENERIC || path == dsp::CONVOLVE_AVX || path == dsp::CONVOLVE_AVX512F;
    if (!compiled || !dsp::convolvePathAvailable(path)) return false;
    stream.vectorPath = path;
    setSampleFunctions(stream.functions, path);
    setChunkFunctions(stream.functions, path);
    setDecisionFunctions(stream.functions, path);
    return true;
}

}  // namespace realtime
