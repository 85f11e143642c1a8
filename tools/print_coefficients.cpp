// Prints the filter coefficients that the correctors compute for one set of
// settings, bit for bit, together with every exponential they are built
// from. Built for each platform, its outputs show whether two builds agree
// on the coefficients and, where they do not, which exponentials differ.
//
// Usage: qortacoef RATE EFFECT GAIN QUALITY
//   RATE     sample rate in Hz
//   EFFECT   effect in percent (console strength EFFECT x 0.25, plug-in
//            strength (EFFECT x 25) / 100 in integers)
//   GAIN     gain in percent (inside the FIR kernel)
//   QUALITY  FIR quality: N = (QUALITY x RATE) / 5000
//
// Lines, all values as the 16 hex digits of their IEEE double bits:
//   iir-exp NAME ARGUMENT RESULT    the two poles' exponentials
//   iir STRENGTH NAME VALUE         coefficients, console and plug-in strength
//   fir-exp K ARGUMENT RESULT       exp(-K x 100 / RATE), K = 1 .. N + 1
//   fir-tap K VALUE                 kernel tap at offset K, K = -N .. N
// Exit status 0, or 1 for a wrong command line.
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "console/fir_stream.h"
#include "dsp/fir_corrector.h"
#include "dsp/iir_corrector.h"
#include "dsp/strength.h"

using namespace console;

namespace {

std::uint64_t bitsOf(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The exponential exactly as the correctors evaluate it: the argument
// stays in a double variable, so the call is the library's, not a constant
// the compiler folded.
double libraryExp(double argument) {
    volatile double kept = argument;
    return std::exp(kept);
}

void printExp(const char* kind, const char* name, double argument) {
    std::printf("%s %s %016" PRIx64 " %016" PRIx64 "\n", kind, name, bitsOf(argument), bitsOf(libraryExp(argument)));
}

void printIir(double sampleRate, double strength) {
    dsp::IirCorrector corrector;
    dsp::configure(corrector, sampleRate, strength);
    const struct {
        const char* name;
        double value;
    } values[] = {{"bassPole", corrector.bassPole},
                  {"bassGain", corrector.bassGain},
                  {"highPassPole", corrector.highPassPole},
                  {"highPassWeight", corrector.highPassWeight}};
    for (const auto& v : values) std::printf("iir %.17g %s %016" PRIx64 "\n", strength, v.name, bitsOf(v.value));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: qortacoef RATE EFFECT GAIN QUALITY\n");
        return 1;
    }
    const std::uint32_t rate = static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10));
    const double effect = std::strtod(argv[2], nullptr);
    const double gain = std::strtod(argv[3], nullptr);
    const std::int32_t quality = static_cast<std::int32_t>(std::strtol(argv[4], nullptr, 10));
    if (rate == 0) {
        std::fprintf(stderr, "qortacoef: the sample rate must be above 0\n");
        return 1;
    }
    const double sampleRate = rate;

    // The arguments that configure passes to exp: -20 / R and -50 / R, as
    // products with the reciprocal of the rate.
    const double reciprocal = 1.0 / sampleRate;
    printExp("iir-exp", "highPassPole", -20.0 * reciprocal);
    printExp("iir-exp", "bassPole", -50.0 * reciprocal);
    printIir(sampleRate, dsp::strengthFromEffect(effect));
    printIir(sampleRate, static_cast<double>(static_cast<std::int32_t>(effect) * 25 / 100));

    const std::int64_t n = dsp::halfLengthExact(quality, rate);
    if (n < 0 || n > MAX_FIR_HALF_LENGTH) {
        std::fprintf(stderr, "qortacoef: quality %d at %u Hz is out of range\n", static_cast<int>(quality),
                     static_cast<unsigned>(rate));
        return 1;
    }
    // The arguments that fillKernel passes to exp: -|k| x (100 / R).
    const double decayStep = 100.0 / sampleRate;
    char name[16];
    for (std::uint32_t k = 1; k <= n + 1; ++k) {
        std::snprintf(name, sizeof name, "%u", static_cast<unsigned>(k));
        printExp("fir-exp", name, -static_cast<double>(k) * decayStep);
    }
    std::vector<double> kernel(2 * static_cast<std::size_t>(n) + 1);
    dsp::FirCorrector corrector{static_cast<std::int32_t>(n), kernel.data()};
    dsp::fillKernel(corrector, effect, gain, sampleRate);
    for (std::size_t i = 0; i < kernel.size(); ++i)
        std::printf("fir-tap %ld %016" PRIx64 "\n", static_cast<long>(i) - static_cast<long>(n), bitsOf(kernel[i]));
    return 0;
}
