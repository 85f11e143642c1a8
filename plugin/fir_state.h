// The FIR plug-in's kernel and buffers for one save run: built at save start
// from the track values and the edit's sampling rate, freed at save end and
// at exit.
#ifndef QORTA_PLUGIN_FIR_STATE_H
#define QORTA_PLUGIN_FIR_STATE_H

#include <cstddef>
#include <cstdint>

#include "dsp/channels.h"
#include "dsp/fir_fast.h"

namespace plugin {

struct FirState {
    std::int32_t halfLength = 0;  // N; 0 means no kernel in use, no correction
    std::int32_t capacity = 0;    // most samples per channel a frame may hold (one second)
    double* kernel = nullptr;     // 2N + 1 taps
    std::int16_t* neighbourAudio = nullptr;  // one neighbouring frame, up to capacity x 2 samples
    double* channelWindow[dsp::MAX_CHANNELS] = {nullptr, nullptr};  // capacity + 2N positions each
    double* powers = nullptr;     // the fast form's table of powers, when N is large enough for it
    dsp::FastFir fast;            // the fast form of the kernel's sums
    bool fastUsable = false;      // true when `fast` is prepared
};

// Returns `bytes` of uninitialised memory that std::free releases, or null
// when none is available.
using AllocateFunction = void* (*)(std::size_t bytes);

// Frees what `state` holds and builds the kernel and buffers for the given
// track values and sampling rate, allocating with `allocate`. When the
// half-length is 0 or less (quality x rate below 5000, a negative quality,
// a rate of 0 or less) nothing is allocated and `state` stays without a
// kernel (halfLength 0): the run then applies only gain and fades. The same
// holds when a size does not fit or an allocation fails; whatever was
// allocated is freed again.
void buildFirState(FirState& state, std::int32_t quality, std::int32_t effect, std::int32_t gain,
                   std::int32_t rate, AllocateFunction allocate);

// Frees the kernel and buffers, if any, and sets halfLength to 0. Harmless
// without a kernel and when called twice.
void releaseFirState(FirState& state);

}  // namespace plugin

#endif
