#include "plugin/fir_state.h"

#include <cstdint>
#include <cstdlib>

#include "dsp/fir_corrector.h"

namespace plugin {
namespace {

// Bytes for `count` elements of `elementSize` bytes; false when `count` is
// negative or the size does not fit a size_t.
bool byteSize(std::int64_t count, std::size_t elementSize, std::size_t* bytes) {
    if (count < 0 || static_cast<std::uint64_t>(count) > SIZE_MAX / elementSize) return false;
    *bytes = static_cast<std::size_t>(count) * elementSize;
    return true;
}

template <typename T>
bool allocateArray(AllocateFunction allocate, std::int64_t count, T** array) {
    std::size_t bytes = 0;
    if (!byteSize(count, sizeof(T), &bytes)) return false;
    *array = static_cast<T*>(allocate(bytes));
    return *array != nullptr;
}

}  // namespace

void buildFirState(FirState& state, std::int32_t quality, std::int32_t effect, std::int32_t gain,
                   std::int32_t rate, AllocateFunction allocate) {
    releaseFirState(state);
    if (quality < 0 || rate <= 0) return;
    const std::int64_t n = dsp::halfLengthExact(quality, rate);
    if (n <= 0 || n > INT32_MAX) return;

    FirState built;
    bool allocated = allocateArray(allocate, 2 * n + 1, &built.kernel) &&
                     allocateArray(allocate, 2 * static_cast<std::int64_t>(rate), &built.neighbourAudio);
    for (int ch = 0; allocated && ch < dsp::MAX_CHANNELS; ++ch)
        allocated = allocateArray(allocate, rate + 2 * n, &built.channelWindow[ch]);
    const bool fastSized = n >= dsp::FAST_FIR_MIN_HALF_LENGTH && n <= dsp::FAST_FIR_MAX_HALF_LENGTH;
    if (allocated && fastSized)
        allocated = allocateArray(allocate, static_cast<std::int64_t>(dsp::fastFirTableLength(static_cast<std::int32_t>(n))),
                                  &built.powers);
    if (!allocated) {
        releaseFirState(built);
        return;
    }
    built.halfLength = static_cast<std::int32_t>(n);
    built.capacity = rate;
    dsp::FirCorrector corrector = {built.halfLength, built.kernel};
    dsp::fillKernel(corrector, effect, gain, rate);
    // The window holds 16-bit samples times 2^-15: at most 1 in magnitude.
    if (fastSized) built.fastUsable = dsp::prepareFastFir(&built.fast, built.powers, corrector, effect, gain, rate, 1.0);
    state = built;
}

void releaseFirState(FirState& state) {
    std::free(state.kernel);
    std::free(state.neighbourAudio);
    std::free(state.powers);
    for (double*& window : state.channelWindow) {
        std::free(window);
        window = nullptr;
    }
    state.kernel = nullptr;
    state.neighbourAudio = nullptr;
    state.powers = nullptr;
    state.fast = dsp::FastFir{};
    state.fastUsable = false;
    state.halfLength = 0;
    state.capacity = 0;
}

}  // namespace plugin
