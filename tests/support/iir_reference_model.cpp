#include "dsp/iir_corrector.h"
#include "tests/support/reference_input.h"
#include "tests/support/reference_model.h"

namespace testsupport {

ReferenceResult referenceRun(const Bytes& file, const ReferenceSettings& settings) {
    constexpr std::uint64_t FRAMES_PER_BLOCK = 0x100000;
    ReferenceResult r;
    ModelInput in{file};
    if (!readModelHeader(&in, &r)) return r;
    if (!modelDataPresent(in, r)) {
        r.outcome = ReferenceOutcome::ReadFailure;
        return r;
    }
    r.outcome = ReferenceOutcome::Processed;
    measureModelDcOffsets(in, &r);
    appendModelHeader(&r);

    dsp::IirCorrector corrector;
    dsp::reset(corrector);
    dsp::configure(corrector, r.sampleRate, settings.effect * 0.25);
    const std::uint64_t total = r.totalFrames;
    for (std::uint64_t n = 0; n < total; ++n) {
        const double fadeOut = modelFadeOut(settings, n, total, r.sampleRate);
        const double fadeIn = modelFadeIn(settings, n, r.sampleRate);
        const double scale = ((fadeOut * fadeIn) * settings.gain) * 0.01;
        for (int c = 0; c < r.channels; ++c)
            appendModelSample(&r, dsp::process(corrector, c, modelPlaneValue(in, r, n, c)) * scale);
    }

    // Progress before every block: one block even for an empty data chunk,
    // whose value is shown as 0.
    const std::uint64_t blocks = total == 0 ? 1 : (total - 1) / FRAMES_PER_BLOCK + 1;
    for (std::uint64_t b = 0; b < blocks; ++b)
        r.progress.push_back(total == 0 ? 0.0 : static_cast<double>(b * FRAMES_PER_BLOCK) * 100.0 / total);
    return r;
}

}  // namespace testsupport
