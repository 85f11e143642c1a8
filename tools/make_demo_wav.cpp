// Writes the demo recording: two seconds of 44.1 kHz 16-bit stereo with the
// faults the correctors are made for. A bass line and a melody are mixed as
// a line input with weak bass would record them (the bass far too weak), and
// each channel carries a DC offset.
//
// Usage: make_demo_wav OUTPUT.wav
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "console/wav_container.h"
#include "platform/platform.h"

using namespace console;

namespace {

constexpr std::uint32_t RATE = 44100;
constexpr int SECONDS = 2;
constexpr double PI = 3.14159265358979323846;

// A note with a soft attack and an exponential decay, `t` seconds after its start.
double note(double frequency, double t) {
    if (t < 0) return 0;
    double envelope = (1 - std::exp(-t * 200)) * std::exp(-t * 3);
    return envelope * (std::sin(2 * PI * frequency * t) + 0.3 * std::sin(4 * PI * frequency * t));
}

double sampleAt(double t, int channel) {
    static const double bass[] = {41.2, 55.0, 49.0, 36.7};  // E1 A1 G1 D1
    static const double melody[] = {329.6, 392.0, 440.0, 493.9, 440.0, 392.0, 329.6, 293.7};
    int bar = static_cast<int>(t * 2);
    int step = static_cast<int>(t * 4);
    double low = 0.05 * note(bass[bar % 4], t - bar * 0.5);
    double high = 0.25 * note(melody[step % 8], t - step * 0.25);
    double pan = channel == 0 ? 0.8 : 1.2;
    return low + high * pan;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_demo_wav OUTPUT.wav\n");
        return 2;
    }
    const double dcOffset[2] = {0.02, -0.015};
    std::vector<unsigned char> data;
    for (std::uint32_t n = 0; n < RATE * SECONDS; ++n) {
        for (int c = 0; c < 2; ++c) {
            double x = sampleAt(static_cast<double>(n) / RATE, c) + dcOffset[c];
            long v = std::lround(x * 32767);
            auto s = static_cast<std::uint16_t>(static_cast<std::int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v));
            data.push_back(static_cast<unsigned char>(s));
            data.push_back(static_cast<unsigned char>(s >> 8));
        }
    }
    platform::FileHandle file =
        platform::createOutputFile(argv[1], platform::CreateMode::CreateAlways, platform::invalidFile());
    if (!platform::isValid(file)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    WavFormat format;
    format.channels = 2;
    format.sampleRate = RATE;
    format.bitsPerSample = 16;
    auto size = static_cast<std::uint32_t>(data.size());
    std::uint32_t written = 0;
    bool ok = writeWavHeader(fileSink(&file), format, size) == FileResult::Ok &&
              platform::writeFile(file, data.data(), size, &written) && written == size;
    platform::closeFile(file);
    return ok ? 0 : 1;
}
