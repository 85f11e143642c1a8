// Cost of the streaming correctors (realtime/) per second of stereo audio:
// the IIR form beside the FIR form at quality 100 and 300, at 44.1, 96 and
// 192 kHz, with DC removal on, in host-sized blocks of 512 frames and in
// blocks of one frame, as some hosts call. Then what the DC removal does to
// low frequencies, measured with sines through the stream.
//
// With --accuracy instead: the FIR form's outputs against the exact
// ascending sum (dsp::convolveRun) rounded to float, over random settings
// (8 to 192 kHz, quality 1 to 300, effect -100 to 1000, gain 0 to 400) and
// music-like, full-scale noise and quiet material; with the exact
// fallback and, to show why it is there, without it.
//
// Usage: bench_realtime [--path generic|avx|avx512] [seconds of audio per run, default 10]
//        bench_realtime [--path generic|avx|avx512] --accuracy [settings, default 60]
// --path runs the FIR form's processing on that instruction set (every one
// gives the same bits), so that each can be measured on one machine; by
// default the widest the processor has. The path that ran is printed.
// Prints figures; exit status 0, or 2 on a bad argument or a path the
// processor lacks (1 when an output with the fallback lies more than one
// float step from the exact sum).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "dsp/fir_corrector.h"
#include "realtime/stream_controls.h"
#include "realtime/stream_corrector.h"
#include "realtime/stream_probe.h"

namespace {

using realtime::CorrectorForm;

// The FIR form's instruction set in every stream the benchmark creates.
dsp::ConvolvePath firPath = dsp::CONVOLVE_GENERIC;

const char* pathName(dsp::ConvolvePath path) {
    return path == dsp::CONVOLVE_AVX512F ? "AVX-512F" : path == dsp::CONVOLVE_AVX ? "AVX" : "generic";
}

// A stream of `form` whose FIR processing runs on firPath.
realtime::StreamCorrector* createStream(CorrectorForm form, int channels, double rate) {
    realtime::StreamCorrector* stream = realtime::createStreamCorrector(form, channels, rate);
    if (form == CorrectorForm::Fir && !realtime::selectFirVectorPath(stream, firPath)) std::abort();
    return stream;
}

double threadSeconds() {
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Music-like stereo material at about -6 dBFS: a bass line, tones, noise and
// a slow envelope.
std::vector<std::vector<float>> material(double rate, std::size_t frames) {
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 0.03);
    std::vector<std::vector<float>> planes(2, std::vector<float>(frames));
    for (std::size_t ch = 0; ch < 2; ++ch)
        for (std::size_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / rate;
            const double envelope = 0.6 + 0.4 * std::sin(2 * M_PI * 0.3 * t + static_cast<double>(ch));
            const double tones = 0.3 * std::sin(2 * M_PI * (49.0 + 3.0 * static_cast<double>(ch)) * t) +
                                 0.12 * std::sin(2 * M_PI * 330.0 * t) + 0.05 * std::sin(2 * M_PI * 2637.0 * t);
            planes[ch][i] = static_cast<float>(envelope * tones + noise(random));
        }
    return planes;
}

struct Timing {
    double seconds;        // processor time for the whole material, best of three
    double exactFraction;  // share of FIR sums computed exactly
};

Timing run(CorrectorForm form, double rate, float quality, const std::vector<std::vector<float>>& input,
           std::uint32_t block) {
    std::vector<std::vector<float>> output(2, std::vector<float>(input[0].size()));
    Timing timing{1e30, 0.0};
    for (int attempt = 0; attempt < 3; ++attempt) {
        realtime::StreamCorrector* stream = createStream(form, 2, rate);
        realtime::StreamControls controls;
        controls.quality = quality;
        const double start = threadSeconds();
        for (std::size_t done = 0; done < input[0].size(); done += block) {
            const auto frames = static_cast<std::uint32_t>(std::min<std::size_t>(block, input[0].size() - done));
            const float* in[2] = {input[0].data() + done, input[1].data() + done};
            float* out[2] = {output[0].data() + done, output[1].data() + done};
            realtime::processStream(stream, controls, in, out, frames);
        }
        timing.seconds = std::min(timing.seconds, threadSeconds() - start);
        timing.exactFraction =
            static_cast<double>(realtime::countExactSums(stream)) / (2.0 * static_cast<double>(input[0].size()));
        realtime::destroyStreamCorrector(stream);
    }
    return timing;
}

void benchmark(double seconds) {
    std::printf("Processor time per second of stereo audio (DC removal on, best of 3 runs of %g s):\n", seconds);
    std::printf("%-8s %-22s %12s %12s %10s %12s\n", "rate", "form", "ms/s audio", "x real time", "x IIR", "exact sums");
    for (double rate : {44100.0, 96000.0, 192000.0}) {
        const auto input = material(rate, static_cast<std::size_t>(seconds * rate));
        for (std::uint32_t block : {512u, 1u}) {
            // Each FIR figure beside the IIR in blocks of the same length.
            const Timing iir = run(CorrectorForm::Iir, rate, 100.0f, input, block);
            char name[64];
            std::snprintf(name, sizeof name, "IIR, blocks of %u", block);
            std::printf("%-8.0f %-22s %12.3f %12.0f %10s %12s\n", rate, name, iir.seconds / seconds * 1e3,
                        seconds / iir.seconds, "1.00", "-");
            for (float quality : {100.0f, 300.0f}) {
                const Timing fir = run(CorrectorForm::Fir, rate, quality, input, block);
                std::snprintf(name, sizeof name, "FIR q%.0f, blocks of %u", static_cast<double>(quality), block);
                std::printf("%-8.0f %-22s %12.3f %12.0f %10.2f %11.4f%%\n", rate, name, fir.seconds / seconds * 1e3,
                            seconds / fir.seconds, fir.seconds / iir.seconds, fir.exactFraction * 100.0);
            }
        }
    }
}

// Root mean square of `plane` over its last `count` samples.
double rms(const std::vector<float>& plane, std::size_t count) {
    double sum = 0.0;
    for (std::size_t i = plane.size() - count; i < plane.size(); ++i) sum += static_cast<double>(plane[i]) * plane[i];
    return std::sqrt(sum / static_cast<double>(count));
}

// Gain in dB of a sine of `frequency` through the stream, in steady state.
double sineGain(CorrectorForm form, float dcRemoval, double frequency) {
    const double rate = 8000.0;
    const std::size_t period = static_cast<std::size_t>(rate / frequency);
    const std::size_t frames = static_cast<std::size_t>(12 * rate) + 4 * period;
    std::vector<float> input(frames);
    for (std::size_t i = 0; i < frames; ++i)
        input[i] = static_cast<float>(0.01 * std::sin(2 * M_PI * frequency * i / rate));
    std::vector<float> output(frames);
    realtime::StreamCorrector* stream = createStream(form, 1, rate);
    realtime::StreamControls controls;
    controls.dcRemoval = dcRemoval;
    for (std::size_t done = 0; done < frames; done += realtime::STREAM_MAX_BLOCK) {
        const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(realtime::STREAM_MAX_BLOCK, frames - done));
        const float* in[1] = {input.data() + done};
        float* out[1] = {output.data() + done};
        realtime::processStream(stream, controls, in, out, count);
    }
    realtime::destroyStreamCorrector(stream);
    return 20.0 * std::log10(rms(output, 4 * period) / rms(input, 4 * period));
}

void dcRemovalResponse() {
    std::printf("\nDC removal at low frequencies (sines through the stream at 8 kHz, default controls):\n");
    std::printf("%8s %16s %16s %16s %16s %16s\n", "Hz", "DC removal dB", "FIR off dB", "FIR on dB", "IIR off dB",
                "IIR on dB");
    for (double frequency : {0.5, 1.0, 2.0, 5.0, 10.0, 20.0}) {
        const double firOff = sineGain(CorrectorForm::Fir, 0.0f, frequency);
        const double firOn = sineGain(CorrectorForm::Fir, 1.0f, frequency);
        const double iirOff = sineGain(CorrectorForm::Iir, 0.0f, frequency);
        const double iirOn = sineGain(CorrectorForm::Iir, 1.0f, frequency);
        std::printf("%8.1f %16.2f %16.2f %16.2f %16.2f %16.2f\n", frequency, firOn - firOff, firOff, firOn, iirOff,
                    iirOn);
    }
}

std::int64_t floatOrder(float value) {
    std::int32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits >= 0 ? bits : -static_cast<std::int64_t>(bits & 0x7fffffff);
}

// Largest distance in float steps of `output` from the exact sums, and the
// number of outputs one step or more away.
std::int64_t worstSteps(const std::vector<std::vector<float>>& input, const std::vector<std::vector<float>>& output,
                        const dsp::FirCorrector& corrector, std::size_t* offByOne) {
    const std::size_t frames = input[0].size(), n = static_cast<std::size_t>(corrector.halfLength);
    std::int64_t worst = 0;
    for (std::size_t ch = 0; ch < input.size(); ++ch) {
        std::vector<double> window(2 * n, 0.0), exact(frames);
        window.insert(window.end(), input[ch].begin(), input[ch].end());
        dsp::convolveRun(corrector, window.data(), static_cast<std::ptrdiff_t>(n), frames, exact.data());
        for (std::size_t t = 0; t < frames; ++t) {
            const std::int64_t steps = std::abs(floatOrder(output[ch][t]) - floatOrder(static_cast<float>(exact[t])));
            worst = std::max(worst, steps);
            *offByOne += steps >= 1 ? 1 : 0;
        }
    }
    return worst;
}

int accuracy(int settings) {
    std::mt19937 random(12345);
    const double rates[] = {8000.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0};
    std::int64_t worstWith = 0, worstWithout = 0;
    std::size_t outputs = 0, stepsWith = 0, stepsWithout = 0;
    std::uint64_t exact = 0;
    std::printf("%8s %7s %8s %7s %-7s %12s %14s %12s\n", "rate", "quality", "effect", "gain", "signal", "steps",
                "no fallback", "exact sums");
    for (int setting = 0; setting < settings; ++setting) {
        const double rate = rates[random() % 6];
        const float quality = static_cast<float>(1 + random() % 300);
        const float effect = std::uniform_real_distribution<float>(-100.0f, 1000.0f)(random);
        const float gain = std::uniform_real_distribution<float>(0.0f, 400.0f)(random);
        const int kind = static_cast<int>(random() % 3);
        const auto frames = static_cast<std::size_t>(std::min(rate, 96000.0));
        auto input = material(rate, frames);
        std::normal_distribution<double> noise(0.0, 0.4);
        for (auto& plane : input)
            for (float& sample : plane)
                sample = kind == 1   ? static_cast<float>(std::max(-1.0, std::min(1.0, noise(random))))
                         : kind == 2 ? sample * 0.001f
                                     : sample;
        realtime::StreamControls controls;
        controls.quality = quality;
        controls.effect = effect;
        controls.gain = gain;
        controls.dcRemoval = 0.0f;
        const std::int32_t n = realtime::streamHalfLength(static_cast<std::int32_t>(quality), rate);
        std::vector<double> kernel(2 * static_cast<std::size_t>(n) + 1);
        const dsp::FirCorrector corrector{n, kernel.data()};
        dsp::fillKernel(corrector, effect, gain, rate);
        std::size_t with = 0, without = 0;
        std::int64_t steps[2];
        for (int fallback = 1; fallback >= 0; --fallback) {
            realtime::StreamCorrector* stream = createStream(CorrectorForm::Fir, 2, rate);
            realtime::setExactFallback(stream, fallback != 0);
            std::vector<std::vector<float>> output(2, std::vector<float>(frames));
            for (std::size_t done = 0; done < frames; done += 4096) {
                const auto count = static_cast<std::uint32_t>(std::min<std::size_t>(4096, frames - done));
                const float* in[2] = {input[0].data() + done, input[1].data() + done};
                float* out[2] = {output[0].data() + done, output[1].data() + done};
                realtime::processStream(stream, controls, in, out, count);
            }
            if (fallback != 0) exact += realtime::countExactSums(stream);
            realtime::destroyStreamCorrector(stream);
            steps[fallback] = worstSteps(input, output, corrector, fallback != 0 ? &with : &without);
        }
        outputs += 2 * frames;
        stepsWith += with;
        stepsWithout += without;
        worstWith = std::max(worstWith, steps[1]);
        worstWithout = std::max(worstWithout, steps[0]);
        const char* names[] = {"music", "noise", "quiet"};
        std::printf("%8.0f %7.0f %8.1f %7.1f %-7s %6lld (%4zu) %7lld (%5zu) %12llu\n", rate,
                    static_cast<double>(quality), static_cast<double>(effect), static_cast<double>(gain), names[kind],
                    static_cast<long long>(steps[1]), with, static_cast<long long>(steps[0]), without,
                    static_cast<unsigned long long>(exact));
    }
    std::printf(
        "\n%zu outputs: with the fallback at most %lld float step(s) from the exact sum (%zu one step away);\n"
        "without it at most %lld (%zu outputs one step or more away); %llu sums computed exactly.\n",
        outputs, static_cast<long long>(worstWith), stepsWith, static_cast<long long>(worstWithout), stepsWithout,
        static_cast<unsigned long long>(exact));
    return worstWith <= 1 ? 0 : 1;
}

}  // namespace

// The widest instruction set the FIR form can run on here.
dsp::ConvolvePath widestPath() {
    realtime::StreamCorrector* probe = realtime::createStreamCorrector(CorrectorForm::Fir, 1, 8000.0);
    dsp::ConvolvePath path = dsp::CONVOLVE_GENERIC;
    for (dsp::ConvolvePath candidate : {dsp::CONVOLVE_AVX, dsp::CONVOLVE_AVX512F})
        if (realtime::selectFirVectorPath(probe, candidate)) path = candidate;
    realtime::destroyStreamCorrector(probe);
    return path;
}

int main(int argc, char** argv) {
    firPath = widestPath();
    if (argc > 2 && std::strcmp(argv[1], "--path") == 0) {
        const char* name = argv[2];
        firPath = std::strcmp(name, "generic") == 0  ? dsp::CONVOLVE_GENERIC
                  : std::strcmp(name, "avx") == 0    ? dsp::CONVOLVE_AVX
                  : std::strcmp(name, "avx512") == 0 ? dsp::CONVOLVE_AVX512F
                                                     : dsp::CONVOLVE_SSE2;  // not a path of the stream
        realtime::StreamCorrector* probe = realtime::createStreamCorrector(CorrectorForm::Fir, 1, 8000.0);
        const bool available = realtime::selectFirVectorPath(probe, firPath);
        realtime::destroyStreamCorrector(probe);
        if (!available) {
            std::fprintf(stderr, "bench_realtime: --path %s: not an instruction set of this build and processor "
                                 "(generic, avx or avx512)\n", name);
            return 2;
        }
        argc -= 2;
        argv += 2;
    }
    std::printf("FIR code path: %s\n", pathName(firPath));
    if (argc > 1 && std::strcmp(argv[1], "--accuracy") == 0) {
        const int settings = argc > 2 ? std::atoi(argv[2]) : 60;
        if (settings < 1 || settings > 100000) {
            std::fprintf(stderr, "usage: bench_realtime --accuracy [settings, 1 to 100000]\n");
            return 2;
        }
        return accuracy(settings);
    }
    double seconds = 10.0;
    if (argc > 1) {
        seconds = std::atof(argv[1]);
        if (!(seconds >= 0.1 && seconds <= 600.0)) {
            std::fprintf(stderr, "usage: bench_realtime [seconds, 0.1 to 600]\n");
            return 2;
        }
    }
    benchmark(seconds);
    dcRemovalResponse();
    return 0;
}
