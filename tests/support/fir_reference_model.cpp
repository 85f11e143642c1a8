#include "tests/support/fir_reference_model.h"

#include <vector>

#include "dsp/fir_corrector.h"
#include "tests/support/reference_input.h"

namespace testsupport {

std::uint64_t modelHalfLength(std::int32_t quality, std::uint32_t sampleRate) {
    if (quality < 0) return 0;  // refused before N is used
    return static_cast<std::uint64_t>(quality) * sampleRate / 5000u;
}

ReferenceResult firReferenceRun(const Bytes& file, const ReferenceSettings& settings) {
    ReferenceResult r;
    ModelInput in{file};
    if (!readModelHeader(&in, &r)) return r;
    r.halfLength = modelHalfLength(settings.quality, r.sampleRate);
    if (settings.quality < 0 || r.halfLength > MODEL_MAX_HALF_LENGTH) {
        r.outcome = ReferenceOutcome::QualityOutOfRange;
        return r;
    }
    if (!modelDataPresent(in, r)) {
        r.outcome = ReferenceOutcome::ReadFailure;
        return r;
    }
    r.outcome = ReferenceOutcome::Processed;
    measureModelDcOffsets(in, &r);
    appendModelHeader(&r);

    const std::uint64_t n = r.halfLength;
    const std::uint64_t total = r.totalFrames;
    std::vector<double> kernel(2 * n + 1);
    const dsp::FirCorrector corrector{static_cast<std::int32_t>(n), kernel.data()};
    dsp::fillKernel(corrector, settings.effect, settings.gain, r.sampleRate);

    // Frame f of channel c at position N + f of its signal; silence around.
    std::vector<std::vector<double>> signal(r.channels, std::vector<double>(total + 2 * n, 0.0));
    for (std::uint64_t f = 0; f < total; ++f)
        for (int c = 0; c < r.channels; ++c) signal[c][n + f] = modelPlaneValue(in, r, f, c);

    for (std::uint64_t f = 0; f < total; ++f) {
        const double fadeOut = modelFadeOut(settings, f, total, r.sampleRate);
        const double fadeIn = modelFadeIn(settings, f, r.sampleRate);
        for (int c = 0; c < r.channels; ++c) {
            const double sum = dsp::convolveAt(corrector, signal[c].data(), static_cast<std::ptrdiff_t>(n + f));
            appendModelSample(&r, (fadeOut * sum) * fadeIn);
        }
    }

    // A refill before frame 0, then at 0x40000 and every 0x80000 frames on.
    for (std::uint64_t f = 0; f < total; f = f == 0 ? 0x40000 : f + 0x80000)
        r.progress.push_back(static_cast<double>(f) * 100.0 / static_cast<double>(total));
    return r;
}

}  // namespace testsupport
