// Fuzz target: the LV2 and LADSPA plug-ins driven through their entry points
// by a hostile host. The input is a script: the standard, the plug-in and
// the sample rate (1 Hz to 1 MHz and beyond, for LV2 also fractions, NaN
// and infinities), then a sequence of operations: control values (NaN,
// infinities, out of range, unconnected), activations, buffer connections
// (separate, in place, crossed, both inputs on one buffer) and runs of 0 to
// 8192 frames whose samples include NaN, infinities, subnormals and the
// float extremes.
//
// Promises checked:
//   - instantiation succeeds exactly for rates from 1 to 1,000,000 Hz;
//   - every output is finite and either 0.0 or of normal size;
//   - run allocates nothing;
//   - the FIR kinds report their latency, N = quality x rate / 5000;
//   - while the controls stay as they were at the first run after an
//     activation and DC removal is off: the IIR output equals the
//     double-precision corrector of dsp/ rounded to float bit for bit, and
//     the FIR output lies within one float step of the exact ascending
//     kernel sum (on the samples whose window holds only finite inputs of
//     normal size or zeros), each with an output beyond the float range
//     held at the largest float and one below the smallest normal float as
//     0.0. A non-finite input counts as 0.0 in both.
#include <ladspa.h>
#include <lv2/core/lv2.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <vector>

#include "dsp/fir_corrector.h"
#include "dsp/iir_corrector.h"
#include "dsp/strength.h"
#include "fuzz/byte_source.h"
#include "fuzz/check.h"
#include "hostglue/plugin_kinds.h"
#include "realtime/stream_controls.h"
#include "tests/realtime/allocation_counter.h"

extern "C" const LADSPA_Descriptor* ladspa_descriptor(unsigned long index);
extern "C" const LV2_Descriptor* lv2_descriptor(std::uint32_t index);

namespace {

using fuzz::check;
constexpr std::uint32_t MAX_BLOCK = 8192;
constexpr std::size_t MAX_FRAMES = 1u << 17;  // per input, so that every run stays fast
constexpr std::size_t CHECK_BUDGET = 400000;  // taps of exact FIR sums per channel and run

// One instance behind either standard's calls.
struct Plugin {
    const LADSPA_Descriptor* ladspa = nullptr;
    const LV2_Descriptor* lv2 = nullptr;
    void* handle = nullptr;
    void connect(int port, void* data) {
        if (ladspa) ladspa->connect_port(handle, static_cast<unsigned long>(port), static_cast<LADSPA_Data*>(data));
        else lv2->connect_port(handle, static_cast<std::uint32_t>(port), data);
    }
    void activate() {
        if (ladspa) ladspa->activate(handle);
        else lv2->activate(handle);
    }
    void run(std::uint32_t frames) {
        if (ladspa) ladspa->run(handle, frames);
        else lv2->run(handle, frames);
    }
    void cleanup() {
        if (ladspa) ladspa->cleanup(handle);
        else lv2->cleanup(handle);
    }
};

// A float that is often one of those hosts should not but do deliver.
float edgyFloat(fuzz::ByteSource& in) {
    switch (in.byte() % 12) {
        case 0: return std::numeric_limits<float>::quiet_NaN();
        case 1: return std::numeric_limits<float>::infinity();
        case 2: return -std::numeric_limits<float>::infinity();
        case 3: return FLT_MAX;
        case 4: return -FLT_MAX;
        case 5: return FLT_MIN;
        case 6: return std::numeric_limits<float>::denorm_min() * static_cast<float>(in.byte() + 1);
        case 7: return -0.0f;
        case 8: return 0.0f;
        default: {
            const std::uint32_t bits = in.u32();
            float value;
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
    }
}

// A control value: often in range, sometimes anything.
float controlValue(fuzz::ByteSource& in, float minimum, float maximum) {
    const std::uint8_t choice = in.byte();
    if (choice < 160) return minimum + (maximum - minimum) * static_cast<float>(in.byte()) / 255.0f;
    if (choice < 200) return static_cast<float>(in.below(static_cast<std::uint32_t>(maximum) + 1));
    return edgyFloat(in);
}

double sampleRate(fuzz::ByteSource& in, bool lv2) {
    const double rates[] = {1, 2, 5000, 8000, 22050, 44100, 48000, 96000, 192000, 999999, 1000000, 0, 1000001};
    const std::uint8_t choice = in.byte();
    if (choice < 13 * 16) return rates[choice / 16];
    if (choice < 240 || !lv2) return static_cast<double>(in.u32() % 1100000);
    switch (choice % 4) {
        case 0: return std::numeric_limits<double>::quiet_NaN();
        case 1: return std::numeric_limits<double>::infinity();
        case 2: return 44100.5;
        default: return 1000000.000001;
    }
}

// The output the host may be given for the double `value` the corrector
// computed: rounded to float, held at the largest float beyond the range,
// 0.0 below the smallest normal float.
float bounded(double value) {
    const float y = static_cast<float>(value);
    if (!(std::fabs(y) >= FLT_MIN)) return 0.0f;
    return std::fabs(y) <= FLT_MAX ? y : std::copysign(FLT_MAX, y);
}

// A float's position on the number line: neighbours differ by 1.
std::int64_t orderOf(float value) {
    std::int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits >= 0 ? bits : -static_cast<std::int64_t>(bits & 0x7fffffff);
}

bool normalOrZero(float x) { return x == 0.0f || (std::fabs(x) >= FLT_MIN && std::fabs(x) <= FLT_MAX); }

enum class Wiring { Separate, InPlace, Crossed, SharedInputs };

// The reference of the present stretch: since the first run after an
// activation, with the controls of that run, DC removal off.
struct Reference {
    bool valid = false;
    realtime::ControlValues values;
    dsp::IirCorrector iir;
    std::int32_t halfLength = 0;
    std::vector<double> kernel;
    std::vector<double> history[2];     // inputs as the corrector counts them, zeros before the stream
    std::vector<std::uint32_t> bad[2];  // bad[k]: inputs before history index k that were not finite and
                                        // of normal size or zero
};

class Host {
public:
    Host(fuzz::ByteSource& in) : in_(in) {}

    void play() {
        const bool lv2 = in_.flag();
        kind_ = static_cast<int>(in_.below(hostglue::PLUGIN_KIND_COUNT));
        rate_ = sampleRate(in_, lv2);
        const hostglue::PluginKind& kind = hostglue::PLUGIN_KINDS[kind_];
        layout_ = hostglue::portLayout(kind);
        channels_ = kind.channels;
        fir_ = kind.form == realtime::CorrectorForm::Fir;
        if (lv2) {
            plugin_.lv2 = lv2_descriptor(static_cast<std::uint32_t>(kind_));
            const LV2_Feature* none[] = {nullptr};
            plugin_.handle = plugin_.lv2->instantiate(plugin_.lv2, rate_, "", none);
        } else {
            plugin_.ladspa = ladspa_descriptor(static_cast<unsigned long>(kind_));
            rate_ = static_cast<double>(static_cast<unsigned long>(rate_));
            plugin_.handle = plugin_.ladspa->instantiate(plugin_.ladspa, static_cast<unsigned long>(rate_));
        }
        const bool inRange = rate_ >= 1.0 && rate_ <= 1e6;
        check((plugin_.handle != nullptr) == inRange, "instantiation succeeds exactly for rates of 1 to 1e6 Hz");
        if (!plugin_.handle) return;

        for (auto& buffer : buffers_) buffer.assign(MAX_BLOCK, 0.0f);
        for (int ch = 0; ch < 2; ++ch) {
            reference_.history[ch].reserve(MAX_FRAMES + 1);
            reference_.bad[ch].reserve(MAX_FRAMES + 1);
        }
        const float defaults[4] = {realtime::EFFECT_DEFAULT, realtime::GAIN_DEFAULT, realtime::QUALITY_DEFAULT,
                                   realtime::DC_REMOVAL_DEFAULT};
        for (int c = 0; c < 4; ++c) controls_[c] = defaults[c];
        controls_[3] = 0.0f;  // DC removal off, where the reference applies, unless the script says otherwise
        connectControls();
        if (in_.flag()) plugin_.activate();  // hosts that never call activate must work too
        wire(Wiring::Separate);
        fresh_ = true;

        for (int op = 0; op < 256 && !in_.empty() && frames_ < MAX_FRAMES; ++op) {
            switch (in_.byte() % 8) {
                case 0: setControl(); break;
                case 1:
                    plugin_.activate();
                    fresh_ = true;
                    break;
                case 2: wire(static_cast<Wiring>(in_.below(4))); break;
                default: runBlock(); break;
            }
        }
        plugin_.cleanup();
    }

private:
    void connectControls() {
        const int ports[4] = {layout_.effect, layout_.gain, layout_.quality, layout_.dcRemoval};
        for (int c = 0; c < 4; ++c)
            if (ports[c] >= 0) plugin_.connect(ports[c], connected_[c] ? &controls_[c] : nullptr);
        if (layout_.latency >= 0) plugin_.connect(layout_.latency, &latency_);
    }

    void setControl() {
        const int c = static_cast<int>(in_.below(4));
        const float minimum[4] = {realtime::EFFECT_MIN, realtime::GAIN_MIN, realtime::QUALITY_MIN, 0.0f};
        const float maximum[4] = {realtime::EFFECT_MAX, realtime::GAIN_MAX, realtime::QUALITY_MAX, 1.0f};
        if (in_.byte() < 16) {
            connected_[c] = !connected_[c];  // an unconnected control keeps its default
        } else {
            controls_[c] = controlValue(in_, minimum[c], maximum[c]);
        }
        connectControls();
        reference_.valid = false;  // the controls may glide from here on
    }

    // The controls the plug-in applies now, as the engine makes them safe.
    realtime::ControlValues appliedControls() const {
        realtime::StreamControls raw;
        const bool fir = fir_;
        if (connected_[0]) raw.effect = controls_[0];
        if (connected_[1]) raw.gain = controls_[1];
        if (connected_[2] && fir) raw.quality = controls_[2];
        if (connected_[3]) raw.dcRemoval = controls_[3];
        return realtime::sanitizeControls(raw);
    }

    void wire(Wiring wiring) {
        wiring_ = channels_ == 2 ? wiring : (wiring == Wiring::Crossed || wiring == Wiring::SharedInputs ? Wiring::InPlace
                                                                                                          : wiring);
        float* a = buffers_[0].data();
        float* b = buffers_[1].data();
        float* c = buffers_[2].data();
        float* d = buffers_[3].data();
        switch (wiring_) {
            case Wiring::Separate: set({a, b}, {c, d}); break;
            case Wiring::InPlace: set({a, b}, {a, b}); break;
            case Wiring::Crossed: set({a, b}, {b, a}); break;
            case Wiring::SharedInputs: set({a, a}, {c, d}); break;
        }
        for (int ch = 0; ch < channels_; ++ch) {
            plugin_.connect(layout_.audioIn[ch], in_ptr_[ch]);
            plugin_.connect(layout_.audioOut[ch], out_ptr_[ch]);
        }
    }
    void set(std::initializer_list<float*> ins, std::initializer_list<float*> outs) {
        int ch = 0;
        for (float* p : ins) in_ptr_[ch++] = p;
        ch = 0;
        for (float* p : outs) out_ptr_[ch++] = p;
    }

    // Fills the first `frames` samples of every input buffer: a tone with
    // noise, and now and then a hostile value.
    void fillInputs(std::uint32_t frames) {
        const float level = std::ldexp(1.0f, static_cast<int>(in_.below(160)) - 140);
        const std::uint32_t period = 2 + in_.below(400);
        const int distinct = wiring_ == Wiring::SharedInputs ? 1 : channels_;
        for (int ch = 0; ch < distinct; ++ch) {
            float* to = in_ptr_[ch];
            for (std::uint32_t i = 0; i < frames; ++i)
                to[i] = level * static_cast<float>(std::sin(6.2831853 * (frames_ + i) / period + ch));
            for (std::uint32_t k = in_.below(8); k > 0; --k) to[in_.below(frames)] = edgyFloat(in_);
        }
    }

    void runBlock() {
        std::uint32_t frames = in_.byte() < 200 ? in_.below(600) : in_.below(MAX_BLOCK + 1);
        frames = static_cast<std::uint32_t>(std::min<std::size_t>(frames, MAX_FRAMES - frames_));
        if (frames > 0) fillInputs(frames);

        // What the plug-in reads, before it writes anything.
        std::vector<float> input[2];
        for (int ch = 0; ch < channels_; ++ch) input[ch].assign(in_ptr_[ch], in_ptr_[ch] + frames);

        if (fresh_) startReference();
        fresh_ = false;

        const std::size_t before = testsupport::allocationCount();
        plugin_.run(frames);
        check(testsupport::allocationCount() == before, "run allocates nothing");
        frames_ += frames;

        if (fir_) {
            const realtime::ControlValues values = appliedControls();
            check(latency_ == static_cast<float>(realtime::streamHalfLength(values.quality, rate_)),
                  "the latency port holds N");
        }
        for (int ch = 0; ch < channels_; ++ch)
            for (std::uint32_t i = 0; i < frames; ++i)
                check(normalOrZero(out_ptr_[ch][i]), "every output is finite, and 0.0 or of normal size");
        if (reference_.valid) compare(input, frames);
    }

    // At the first run after an activation: the reference starts afresh
    // when the controls hold DC removal off.
    void startReference() {
        Reference& r = reference_;
        r.values = appliedControls();
        r.valid = !r.values.dcRemoval;
        if (!r.valid) return;
        dsp::configure(r.iir, rate_, dsp::strengthFromEffect(r.values.effect));
        dsp::reset(r.iir);
        r.halfLength = fir_ ? realtime::streamHalfLength(r.values.quality, rate_) : 0;
        if (fir_) {
            r.kernel.assign(2 * static_cast<std::size_t>(r.halfLength) + 1, 0.0);
            dsp::fillKernel(dsp::FirCorrector{r.halfLength, r.kernel.data()}, r.values.effect, r.values.gain, rate_);
        }
        for (int ch = 0; ch < 2; ++ch) {
            r.history[ch].assign(2 * static_cast<std::size_t>(r.halfLength), 0.0);
            r.bad[ch].assign(2 * static_cast<std::size_t>(r.halfLength) + 1, 0);
        }
    }

    void compare(const std::vector<float>* input, std::uint32_t frames) {
        Reference& r = reference_;
        const double scale = r.values.gain * 0.01;
        for (int ch = 0; ch < channels_; ++ch) {
            for (std::uint32_t i = 0; i < frames; ++i) {
                const float x = input[ch][i];
                const bool finite = std::fabs(x) <= FLT_MAX;
                r.history[ch].push_back(finite ? x : 0.0);
                r.bad[ch].push_back(r.bad[ch].back() + (normalOrZero(x) ? 0 : 1));
                if (!fir_) {
                    const float expected = bounded(dsp::process(r.iir, ch, finite ? x : 0.0) * scale);
                    check(std::memcmp(&expected, &out_ptr_[ch][i], sizeof expected) == 0,
                      "the IIR output is the corrector of dsp/ bit for bit");
                }
            }
            if (!fir_ || frames == 0) continue;
            // Output t is the kernel centred on input t - N: window positions
            // t - N .. t + N of the history, which holds 2N zeros before
            // input 0, so output t ends at history index 2N + t.
            const std::size_t end = r.history[ch].size();
            const std::size_t taps = 2 * static_cast<std::size_t>(r.halfLength) + 1;
            const std::size_t checks = std::max<std::size_t>(1, std::min<std::size_t>(24, CHECK_BUDGET / taps));
            const auto step = static_cast<std::uint32_t>(frames / checks + 1);
            for (std::uint32_t i = frames % step; i < frames; i += step) {
                const std::size_t last = end - frames + i;  // history index of output i's newest input
                if (r.bad[ch][last + 1] != r.bad[ch][last + 1 - taps]) continue;
                const double exact = dsp::convolveAt(dsp::FirCorrector{r.halfLength, r.kernel.data()},
                                                     r.history[ch].data(),
                                                     static_cast<std::ptrdiff_t>(last) - r.halfLength);
                const float expected = bounded(exact), got = out_ptr_[ch][i];
                // One step below the smallest normal float is written as 0.0.
                const bool tiny = std::fabs(exact) < 2.0 * FLT_MIN && std::fabs(got) < 2.0f * FLT_MIN;
                check(std::abs(orderOf(expected) - orderOf(got)) <= 1 || tiny,
                      "the FIR output is within one float step of the exact sum");
            }
        }
    }

    fuzz::ByteSource& in_;
    Plugin plugin_;
    int kind_ = 0, channels_ = 1;
    bool fir_ = false;
    double rate_ = 0.0;
    hostglue::PortLayout layout_{};
    float controls_[4] = {};
    bool connected_[4] = {true, true, true, true};
    float latency_ = -1.0f;
    std::vector<float> buffers_[4];
    float* in_ptr_[2] = {nullptr, nullptr};
    float* out_ptr_[2] = {nullptr, nullptr};
    Wiring wiring_ = Wiring::Separate;
    bool fresh_ = true;
    std::size_t frames_ = 0;
    Reference reference_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::ByteSource in(data, size);
    Host host(in);
    host.play();
    return 0;
}
