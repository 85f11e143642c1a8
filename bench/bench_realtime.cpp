// Cost of the streaming correctors (realtime/) per second of stereo audio:
// the IIR form beside the FIR form at quality 100 and 300, at 44.1, 96 and
// 192 kHz, with DC removal on, in host-sized blocks of 512 frames and, for
// the FIR, in blocks of one frame. Then what the DC removal does to low
// frequencies, measured with sines through the stream.
//
// Usage: bench_realtime [seconds of audio per run, default 10]
// Prints figures; exit status 0, or 2 on a bad argument.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "realtime/stream_corrector.h"
#include "realtime/stream_inspect.h"

namespace {

using realtime::CorrectorForm;

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
        realtime::StreamCorrector* stream = realtime::createStreamCorrector(form, 2, rate);
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
    std::printf("Processor time per second of stereo audio (DC removal on, best of 3 runs of %.0f s):\n", seconds);
    std::printf("%-8s %-22s %12s %12s %10s %12s\n", "rate", "form", "ms/s audio", "x real time", "x IIR",
                "exact sums");
    for (double rate : {44100.0, 96000.0, 192000.0}) {
        const auto input = material(rate, static_cast<std::size_t>(seconds * rate));
        const Timing iir = run(CorrectorForm::Iir, rate, 100.0f, input, 512);
        std::printf("%-8.0f %-22s %12.3f %12.0f %10s %12s\n", rate, "IIR, blocks of 512", iir.seconds / seconds * 1e3,
                    seconds / iir.seconds, "1.00", "-");
        for (float quality : {100.0f, 300.0f})
            for (std::uint32_t block : {512u, 1u}) {
                const Timing fir = run(CorrectorForm::Fir, rate, quality, input, block);
                char name[64];
                std::snprintf(name, sizeof name, "FIR q%.0f, blocks of %u", static_cast<double>(quality), block);
                std::printf("%-8.0f %-22s %12.3f %12.0f %10.2f %11.4f%%\n", rate, name, fir.seconds / seconds * 1e3,
                            seconds / fir.seconds, fir.seconds / iir.seconds, fir.exactFraction * 100.0);
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
    for (std::size_t i = 0; i < frames; ++i) input[i] = static_cast<float>(0.01 * std::sin(2 * M_PI * frequency * i / rate));
    std::vector<float> output(frames);
    realtime::StreamCorrector* stream = realtime::createStreamCorrector(form, 1, rate);
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

}  // namespace

int main(int argc, char** argv) {
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
