#include "tests/qorta/qorta_fixture.h"

#include <dirent.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "console/corrector_settings.h"
#include "console/fades.h"
#include "dsp/fir_corrector.h"
#include "dsp/iir_corrector.h"
#include "dsp/strength.h"

namespace qortatest {

Audio readAudio(const std::string& path) {
    Audio audio;
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &audio.info);
    if (file == nullptr) return audio;
    if (audio.info.frames < 0 || audio.info.frames > (std::int64_t{1} << 28)) {
        sf_close(file);
        return audio;
    }
    const auto samples = static_cast<std::size_t>(audio.info.frames * audio.info.channels);
    audio.ints.resize(samples);
    audio.doubles.resize(samples);
    const bool intsRead = sf_readf_int(file, audio.ints.data(), audio.info.frames) == audio.info.frames;
    sf_seek(file, 0, SEEK_SET);
    const bool doublesRead = sf_readf_double(file, audio.doubles.data(), audio.info.frames) == audio.info.frames;
    audio.ok = intsRead && doublesRead;
    sf_close(file);
    return audio;
}

namespace {

int integerBits(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32: return 32;
    default: return 0;
    }
}

}  // namespace

std::vector<double> referenceValues(const Audio& input, const ReferenceSettings& s) {
    const int channels = input.info.channels;
    const std::int64_t frames = input.info.frames;
    const int bits = integerBits(input.info.format);
    const int bias = (input.info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_U8 ? 128 : 0;
    const double scale = bits > 0 ? std::ldexp(1.0, -(bits - 1)) : 1.0;
    // Raw sample values: integers as stored (unsigned for 8-bit WAV), or floats.
    auto raw = [&](std::int64_t i) {
        return bits > 0 ? static_cast<double>((input.ints[i] >> (32 - bits)) + bias) : input.doubles[i];
    };
    std::vector<double> dc(channels, 0.0);
    for (int c = 0; c < channels; ++c) {
        double sum = 0.0;  // integer sums of small files are exact in a double
        for (std::int64_t n = 0; n < frames; ++n) sum += raw(n * channels + c);
        if (frames > 0) dc[c] = sum * (1.0 / static_cast<double>(frames));
    }
    console::CorrectorSettings fades;
    fades.fadeIn = s.fadeIn;
    fades.fadeOut = s.fadeOut;
    const auto rate = static_cast<std::uint32_t>(input.info.samplerate);
    std::vector<double> out(static_cast<std::size_t>(frames * channels));
    const std::int64_t half = s.iir ? 0 : dsp::halfLengthExact(s.quality, rate);
    std::vector<double> kernel(2 * half + 1);
    const dsp::FirCorrector fir = {static_cast<std::int32_t>(half), kernel.data()};
    if (!s.iir) dsp::fillKernel(fir, s.effect, s.gain, rate);
    for (int c = 0; c < channels; ++c) {
        std::vector<double> x(static_cast<std::size_t>(frames + 2 * half), 0.0);
        for (std::int64_t n = 0; n < frames; ++n) x[half + n] = (raw(n * channels + c) - dc[c]) * scale;
        dsp::IirCorrector iir;
        dsp::reset(iir);
        dsp::configure(iir, rate, dsp::strengthFromEffect(s.effect));
        for (std::int64_t n = 0; n < frames; ++n) {
            const double fo = console::fadeOutFactor(fades, n, frames, rate);
            const double fi = console::fadeInFactor(fades, n, rate);
            double y;
            if (s.iir) y = dsp::process(iir, 0, x[half + n]) * (((fo * fi) * s.gain) * 0.01);
            else y = (fo * dsp::convolveAt(fir, x.data(), half + n)) * fi;
            out[n * channels + c] = y;
        }
    }
    return out;
}

std::vector<std::int32_t> referenceIntegers(const std::vector<double>& values, int bits) {
    const double full = std::ldexp(1.0, bits - 1);
    std::vector<std::int32_t> samples;
    for (double x : values) {
        double v = std::trunc(x * full);
        v = std::min(std::max(v, -full), full - 1.0);
        samples.push_back(static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::int64_t>(v))
                                                    << (32 - bits)));
    }
    return samples;
}

testsupport::Bytes wavData(const testsupport::Bytes& file) {
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::uint32_t size = file[at + 4] | file[at + 5] << 8 | file[at + 6] << 16 |
                                   static_cast<std::uint32_t>(file[at + 7]) << 24;
        if (std::memcmp(&file[at], "data", 4) == 0) {
            const std::size_t end = std::min<std::size_t>(file.size(), at + 8 + size);
            return testsupport::Bytes(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                                      file.begin() + static_cast<std::ptrdiff_t>(end));
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

void QortaRun::SetUp() { ASSERT_FALSE(dir.path().empty()); }

testsupport::RunResult QortaRun::qorta(const std::vector<std::string>& args, int timeout) {
    testsupport::RunOptions options;
    options.workDir = dir.path();
    options.timeoutSeconds = timeout;
    return testsupport::runProgram(QORTA_PATH, args, options);
}

testsupport::RunResult QortaRun::program(const std::string& path, const std::vector<std::string>& args) {
    testsupport::RunOptions options;
    options.workDir = dir.path();
    return testsupport::runProgram(path, args, options);
}

void QortaRun::tool(const std::string& name, const std::vector<std::string>& args) {
    const std::string found = testsupport::findTool(name);
    if (found.empty()) GTEST_SKIP() << name << " is not installed (scripts/setup.sh installs it)";
    testsupport::RunOptions options;
    options.workDir = dir.path();
    const testsupport::RunResult r = testsupport::runProgram(found, args, options);
    ASSERT_TRUE(r.exited && r.exitStatus == 0) << name << " failed: " << r.err;
}

std::string QortaRun::toolOutput(const std::string& name, const std::vector<std::string>& args) {
    const std::string found = testsupport::findTool(name);
    if (found.empty()) return "";
    testsupport::RunOptions options;
    options.workDir = dir.path();
    const testsupport::RunResult r = testsupport::runProgram(found, args, options);
    return r.out + r.err;
}

std::vector<std::string> QortaRun::hiddenFiles(const std::string& sub) const {
    std::vector<std::string> names;
    DIR* d = opendir(sub.empty() ? dir.path().c_str() : dir.file(sub).c_str());
    if (d == nullptr) return names;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != ".." && name[0] == '.') names.push_back(name);
    }
    closedir(d);
    return names;
}

}  // namespace qortatest
