#include "qorta/correct_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <type_traits>

#include "console/corrector_settings.h"
#include "console/fades.h"
#include "dsp/fir_corrector.h"
#include "dsp/fir_fast.h"
#include "dsp/iir_corrector.h"
#include "dsp/strength.h"
#include "qorta/integer_blocks.h"
#include "qorta/quantize.h"
#include "qorta/sample_format.h"

namespace qorta {

namespace {

__extension__ typedef __int128 WideSum;

// Frames read, corrected and written at a time.
constexpr std::int64_t BLOCK = 65536;

// Frames whose fade factors and error-bound ends are computed at a time.
constexpr std::int64_t FINISH = 1024;

// How the write pass turns values into samples, which decides how exactly
// the FIR sums must be known.
enum class Decision {
    None,     // the fast sums as they are: the peak pass and coded outputs
    Integer,  // exact where the truncated sample depends on it
    Float32,  // exact where the rounding to float depends on it
    Exact,    // every sum exact: 64-bit float outputs
};

struct Run {
    SNDFILE* in = nullptr;
    SF_INFO info = {};
    const Settings* settings = nullptr;
    console::CorrectorSettings fades;  // the fade lengths, for the console's fade factors
    SampleCoding coding;
    int channels = 0;
    std::int64_t total = 0;
    std::uint32_t rate = 0;
    double inScale = 1.0;  // 2^-(b-1) for integer inputs
    int inShift = 0;       // bits a sample is shifted down from its word
    bool shortWords = false;  // integer samples of up to 16 bits are read as shorts
    int bias = 0;
    std::vector<double> dc;  // per channel, in raw sample units (unsigned for 8-bit WAV)
    std::vector<std::int32_t> intBuffer;
    std::vector<std::int16_t> shortBuffer;
    std::vector<double> doubleBuffer;
    std::atomic<std::int64_t>* progress = nullptr;
    std::string error;

    void advance(std::int64_t frames) {
        if (progress != nullptr) progress->fetch_add(frames, std::memory_order_relaxed);
    }
};

std::string readError(const Run& run, std::int64_t read, std::int64_t wanted) {
    std::string reason = sf_error(run.in) != SF_ERR_NO_ERROR ? std::string(": ") + sf_strerror(run.in) : "";
    return "the file ends early: " + std::to_string(read) + " of " + std::to_string(wanted) + " frames read" +
           reason;
}

// Reads `count` interleaved frames into the run's buffer; false (with the
// run's error set) when fewer come.
bool readInterleaved(Run& run, std::int64_t count, std::int64_t position) {
    sf_count_t got;
    if (run.coding.kind == SampleKind::Integer && run.shortWords) got = sf_readf_short(run.in, run.shortBuffer.data(), count);
    else if (run.coding.kind == SampleKind::Integer) got = sf_readf_int(run.in, run.intBuffer.data(), count);
    else got = sf_readf_double(run.in, run.doubleBuffer.data(), count);
    if (got != count) {
        run.error = readError(run, position + std::max<sf_count_t>(got, 0), run.total);
        return false;
    }
    return true;
}

// Reads `count` frames and decodes them into planes[c][offset ..]: the
// channel's DC offset removed, integer samples scaled by 2^-(b-1).
bool readPlanes(Run& run, std::int64_t count, std::int64_t position, double* const* planes, std::int64_t offset) {
    if (!readInterleaved(run, count, position)) return false;
    const int channels = run.channels;
    if (run.coding.kind == SampleKind::Integer) {
        const double* dc = run.dc.data();
        const auto decode = [&](auto* buffer) {
            using Word = std::remove_const_t<std::remove_pointer_t<decltype(buffer)>>;
            if (channels == 1) decodeBlock<Word, 1>(buffer, 1, count, run.inShift, run.bias, dc, run.inScale, planes, offset);
            else if (channels == 2) decodeBlock<Word, 2>(buffer, 2, count, run.inShift, run.bias, dc, run.inScale, planes, offset);
            else decodeBlock<Word, 0>(buffer, channels, count, run.inShift, run.bias, dc, run.inScale, planes, offset);
        };
        if (run.shortWords) decode(run.shortBuffer.data());
        else decode(run.intBuffer.data());
    } else {
        const double* buffer = run.doubleBuffer.data();
        for (int c = 0; c < channels; ++c) {
            double* plane = planes[c] + offset;
            const double dc = run.dc[c];
            for (std::int64_t j = 0; j < count; ++j) plane[j] = (buffer[j * channels + c] - dc) * run.inScale;
        }
    }
    return true;
}

bool rewind(Run& run) {
    if (sf_seek(run.in, 0, SEEK_SET) != 0) {
        run.error = std::string("cannot go back to the start of the file: ") + sf_strerror(run.in);
        return false;
    }
    return true;
}

// The first pass: the mean of every channel over the whole file and the
// input's peak. Integer sums are exact; float sums are added in frame order.
bool measureDc(Run& run, const InputExtras& extras, FileStats* stats) {
    const int channels = run.channels;
    std::vector<WideSum> intSums(channels, 0);
    std::int64_t blockSums[MAX_FILE_CHANNELS];
    std::vector<double> floatSums(channels, 0.0);
    std::int64_t peakInt = 0;
    double peakFloat = 0.0;
    for (std::int64_t done = 0; done < run.total;) {
        const std::int64_t count = std::min(BLOCK, run.total - done);
        if (!readInterleaved(run, count, done)) return false;
        if (run.coding.kind == SampleKind::Integer) {
            // A block of 2^16 samples of 32 bits cannot overflow a 64-bit sum.
            std::fill(blockSums, blockSums + MAX_FILE_CHANNELS, 0);
            const auto sum = [&](auto* buffer) {
                using Word = std::remove_const_t<std::remove_pointer_t<decltype(buffer)>>;
                if (channels == 1) sumBlock<Word, 1>(buffer, 1, count, run.inShift, run.bias, blockSums, &peakInt);
                else if (channels == 2) sumBlock<Word, 2>(buffer, 2, count, run.inShift, run.bias, blockSums, &peakInt);
                else sumBlock<Word, 0>(buffer, channels, count, run.inShift, run.bias, blockSums, &peakInt);
            };
            if (run.shortWords) sum(run.shortBuffer.data());
            else sum(run.intBuffer.data());
            for (int c = 0; c < channels; ++c) intSums[c] += blockSums[c];
        } else {
            const double* buffer = run.doubleBuffer.data();
            for (std::int64_t j = 0; j < count; ++j)
                for (int c = 0; c < channels; ++c) {
                    const double v = buffer[j * channels + c];
                    if (!std::isfinite(v)) {
                        run.error = "frame " + std::to_string(done + j) + " holds a sample that is not a finite number";
                        return false;
                    }
                    floatSums[c] += v;
                    peakFloat = std::max(peakFloat, std::fabs(v));
                }
        }
        done += count;
        run.advance(count);
    }
    if (run.coding.kind == SampleKind::Integer) {
        for (std::size_t i = 0; i < extras.partialFrame.size() && i < intSums.size(); ++i)
            intSums[i] += extras.partialFrame[i];
        stats->peakIn = static_cast<double>(peakInt) * run.inScale;
    } else {
        stats->peakIn = peakFloat;
    }
    run.dc.assign(channels, 0.0);
    if (run.total > 0) {
        const double reciprocal = 1.0 / static_cast<double>(run.total);
        for (int c = 0; c < channels; ++c) {
            const double sum = run.coding.kind == SampleKind::Integer ? static_cast<double>(intSums[c]) : floatSums[c];
            run.dc[c] = sum * reciprocal;
        }
    }
    stats->dcOffset.resize(channels);
    for (int c = 0; c < channels; ++c) stats->dcOffset[c] = (run.dc[c] - run.bias) * run.inScale;
    return true;
}

// Planes of doubles, one per channel.
struct Planes {
    std::vector<std::unique_ptr<double[]>> memory;
    std::vector<double*> pointers;
    Planes(int channels, std::int64_t length) {
        for (int c = 0; c < channels; ++c) {
            memory.emplace_back(new double[static_cast<std::size_t>(std::max<std::int64_t>(length, 1))]());
            pointers.push_back(memory.back().get());
        }
    }
    double* const* get() const { return pointers.data(); }
};

// What a pass hands each block of values to: frames `first` on, `count`
// of them, values[c][j]. Returns false to stop (with the run's error set).
struct BlockSink {
    bool (*take)(void* context, std::int64_t first, std::int64_t count, double* const* values);
    void* context;
};

// The IIR pass: every sample through the recursive corrector of its
// channel, times the frame's output scale (fades and gain), as qortaiir
// computes it.
bool iirPass(Run& run, const BlockSink& sink) {
    const Settings& s = *run.settings;
    const std::int64_t length = std::min(run.total, BLOCK);
    Planes in(run.channels, length), out(run.channels, length);
    std::vector<dsp::IirCorrector> correctors(run.channels);
    for (dsp::IirCorrector& corrector : correctors) {
        dsp::reset(corrector);
        dsp::configure(corrector, run.rate, dsp::strengthFromEffect(s.effect));
    }
    std::vector<double> scale(static_cast<std::size_t>(std::max<std::int64_t>(length, 1)));
    for (std::int64_t first = 0; first < run.total;) {
        const std::int64_t count = std::min(BLOCK, run.total - first);
        if (!readPlanes(run, count, first, in.get(), 0)) return false;
        for (std::int64_t j = 0; j < count; ++j) {
            const std::int64_t n = first + j;
            scale[j] = ((console::fadeOutFactor(run.fades, n, run.total, run.rate) *
                         console::fadeInFactor(run.fades, n, run.rate)) *
                        s.gain) *
                       0.01;
        }
        for (int c = 0; c < run.channels; ++c) {
            dsp::IirCorrector local = correctors[c];
            const double* x = in.get()[c];
            double* y = out.get()[c];
            for (std::int64_t j = 0; j < count; ++j) y[j] = dsp::process(local, 0, x[j]) * scale[j];
            correctors[c] = local;
        }
        if (!sink.take(sink.context, first, count, out.get())) return false;
        first += count;
        run.advance(count);
    }
    return true;
}

// The FIR corrector of one file: its kernel and the fast form of its sums.
struct FirEngine {
    std::vector<double> kernel;
    std::vector<double> powers;
    std::vector<double> scratch;
    dsp::FirCorrector corrector = {0, nullptr};
    dsp::FastFir fast;
    bool fastUsable = false;
};

void buildFir(const Run& run, double peakIn, FirEngine* fir) {
    const Settings& s = *run.settings;
    const std::int64_t half = dsp::halfLengthExact(s.quality, run.rate);  // checked: 0 .. MAX_HALF_LENGTH
    fir->kernel.assign(2 * static_cast<std::size_t>(half) + 1, 0.0);
    fir->corrector = {static_cast<std::int32_t>(half), fir->kernel.data()};
    dsp::fillKernel(fir->corrector, s.effect, s.gain, run.rate);
    if (half >= dsp::FAST_FIR_MIN_HALF_LENGTH) {
        fir->powers.assign(dsp::fastFirTableLength(fir->corrector.halfLength), 0.0);
        // Window values stay below 2 in magnitude for integer inputs (a
        // sample minus a mean of samples of the same width); float inputs
        // may hold anything, so their bound is their own largest value
        // plus the largest DC offset.
        double bound = 2.0;
        if (run.coding.kind != SampleKind::Integer) {
            double dcMax = 0.0;
            for (double d : run.dc) dcMax = std::max(dcMax, std::fabs(d));
            bound = peakIn + dcMax > 0.0 ? peakIn + dcMax : 1.0;
        }
        fir->fastUsable = dsp::prepareFastFir(&fir->fast, fir->powers.data(), fir->corrector, s.effect, s.gain,
                                              run.rate, bound);
        fir->scratch.assign(dsp::fastFirScratchLength(fir->corrector.halfLength), 0.0);
    }
}

// The FIR pass: every output frame is the kernel centred on its input
// frame, over a window per channel that holds the block's frames and N on
// each side (silence beyond the file's ends), then the fade-out and the
// fade-in factor of the frame, as qortafir computes it. Where the fast
// form's sum leaves the written sample open, the exact sum replaces it,
// so every sample is the exact sum's.
bool firPass(Run& run, const FirEngine& fir, Decision decision, double outFactor, double outScale,
             const BlockSink& sink) {
    const std::int64_t half = fir.corrector.halfLength;
    const std::int64_t length = BLOCK + 2 * half;
    Planes window(run.channels, length), out(run.channels, BLOCK);
    const bool fast = fir.fastUsable && decision != Decision::Exact;
    const bool fades = run.fades.fadeIn > 0 || run.fades.fadeOut > 0;
    double fadeOut[FINISH], fadeIn[FINISH], low[FINISH], high[FINISH];
    unsigned char undecided[FINISH];
    std::fill(fadeOut, fadeOut + FINISH, 1.0);
    std::fill(fadeIn, fadeIn + FINISH, 1.0);
    // Window position i holds file frame start + i. Before block 0 the
    // frames -N .. -1 are silence and frames 0 .. BLOCK + N - 1 are read.
    std::int64_t start = -half;
    std::int64_t readUpTo = 0;  // the next file frame to read
    for (std::int64_t first = 0; first < run.total; first += BLOCK, start += BLOCK) {
        if (first > 0)
            for (int c = 0; c < run.channels; ++c)
                std::memmove(window.get()[c], window.get()[c] + BLOCK, static_cast<std::size_t>(2 * half) * sizeof(double));
        const std::int64_t windowEnd = start + length;  // one past the last frame the window holds
        const std::int64_t fillFrom = std::max(readUpTo, start);
        const std::int64_t readEnd = std::min(windowEnd, run.total);
        for (std::int64_t f = fillFrom; f < readEnd;) {
            const std::int64_t count = std::min(BLOCK, readEnd - f);
            if (!readPlanes(run, count, f, window.get(), f - start)) return false;
            f += count;
        }
        readUpTo = std::max(readUpTo, readEnd);
        for (int c = 0; c < run.channels; ++c)
            std::fill(window.get()[c] + std::max<std::int64_t>(readEnd - start, 0), window.get()[c] + length, 0.0);
        if (first == 0)
            for (int c = 0; c < run.channels; ++c) std::fill(window.get()[c], window.get()[c] + half, 0.0);

        const std::int64_t count = std::min(BLOCK, run.total - first);
        const std::ptrdiff_t centre = half;  // window position of frame `first`
        for (int c = 0; c < run.channels; ++c) {
            const double* w = window.get()[c];
            double* values = out.get()[c];
            if (fast)
                dsp::fastConvolveRun(fir.fast, w, centre, static_cast<std::size_t>(count), values,
                                     fir.scratch.empty() ? nullptr : const_cast<double*>(fir.scratch.data()));
            else
                dsp::convolveRun(fir.corrector, w, centre, static_cast<std::size_t>(count), values);
            for (std::int64_t done = 0; done < count; done += FINISH) {
                const auto part = static_cast<std::size_t>(std::min(FINISH, count - done));
                double* v = values + done;
                if (fades)
                    for (std::size_t j = 0; j < part; ++j) {
                        const std::int64_t n = first + done + static_cast<std::int64_t>(j);
                        fadeOut[j] = console::fadeOutFactor(run.fades, n, run.total, run.rate);
                        fadeIn[j] = console::fadeInFactor(run.fades, n, run.rate);
                    }
                if (fast && decision == Decision::Integer) {
                    const double b = fir.fast.errorBound;
                    for (std::size_t j = 0; j < part; ++j) {
                        low[j] = (((fadeOut[j] * (v[j] - b)) * fadeIn[j]) * outFactor) * outScale;
                        high[j] = (((fadeOut[j] * (v[j] + b)) * fadeIn[j]) * outFactor) * outScale;
                    }
                    dsp::settleRun(fir.corrector, w, centre + done, part, low, high, v);
                } else if (fast && decision == Decision::Float32) {
                    const double b = fir.fast.errorBound;
                    bool any = false;
                    for (std::size_t j = 0; j < part; ++j) {
                        const float l = static_cast<float>(((fadeOut[j] * (v[j] - b)) * fadeIn[j]) * outFactor);
                        const float h = static_cast<float>(((fadeOut[j] * (v[j] + b)) * fadeIn[j]) * outFactor);
                        undecided[j] = !(l == h);
                        any = any || undecided[j];
                    }
                    if (any) dsp::settleUndecided(fir.corrector, w, centre + done, part, undecided, v);
                }
                if (fades)
                    for (std::size_t j = 0; j < part; ++j) v[j] = (fadeOut[j] * v[j]) * fadeIn[j];
            }
        }
        if (!sink.take(sink.context, first, count, out.get())) return false;
        run.advance(count);
    }
    return true;
}

// The second pass of --peak: the largest magnitude of the corrected values.
struct PeakMeter {
    double peak = 0.0;
    static bool take(void* context, std::int64_t, std::int64_t count, double* const* values);
    int channels = 0;
};

bool PeakMeter::take(void* context, std::int64_t, std::int64_t count, double* const* values) {
    auto* meter = static_cast<PeakMeter*>(context);
    double peak = meter->peak;
    for (int c = 0; c < meter->channels; ++c)
        for (std::int64_t j = 0; j < count; ++j) peak = std::max(peak, std::fabs(values[c][j]));
    meter->peak = peak;
    return true;
}

// The write pass's end: the values times the --peak factor, converted to
// the output's samples and written.
struct Writer {
    Run* run = nullptr;
    SNDFILE* out = nullptr;
    SampleCoding coding;
    IntegerRange range = integerRange(16);
    double factor = 1.0;
    FileStats* stats = nullptr;
    std::vector<std::int32_t> ints;
    std::vector<std::int16_t> shorts;
    std::vector<float> floats;
    std::vector<double> doubles;
    static bool take(void* context, std::int64_t first, std::int64_t count, double* const* values);
};

bool Writer::take(void* context, std::int64_t first, std::int64_t count, double* const* values) {
    auto* w = static_cast<Writer*>(context);
    const int channels = w->run->channels;
    double peak = w->stats->peakOut;
    std::int64_t clipped = w->stats->clipped;
    sf_count_t written = 0;
    if (w->coding.kind == SampleKind::Integer) {
        const auto encode = [&](auto* out, int shift) {
            using Word = std::remove_pointer_t<decltype(out)>;
            if (channels == 1) encodeBlock<Word, 1>(values, 1, count, w->factor, w->range, shift, out, &peak, &clipped);
            else if (channels == 2) encodeBlock<Word, 2>(values, 2, count, w->factor, w->range, shift, out, &peak, &clipped);
            else encodeBlock<Word, 0>(values, channels, count, w->factor, w->range, shift, out, &peak, &clipped);
        };
        if (w->coding.bits <= 16) {
            encode(w->shorts.data(), 16 - w->coding.bits);
            written = sf_writef_short(w->out, w->shorts.data(), count);
        } else {
            encode(w->ints.data(), w->range.shift);
            written = sf_writef_int(w->out, w->ints.data(), count);
        }
    } else {
        for (int c = 0; c < channels; ++c)
            for (std::int64_t j = 0; j < count; ++j) {
                const double x = values[c][j] * w->factor;
                const double a = std::fabs(x);
                peak = std::max(peak, a);
                if (!(a <= 1.0)) ++clipped;
                if (w->coding.kind == SampleKind::Float32) w->floats[j * channels + c] = static_cast<float>(x);
                else w->doubles[j * channels + c] = x;
            }
        written = w->coding.kind == SampleKind::Float32 ? sf_writef_float(w->out, w->floats.data(), count)
                                                        : sf_writef_double(w->out, w->doubles.data(), count);
    }
    w->stats->peakOut = peak;
    w->stats->clipped = clipped;
    if (written != count) {
        w->run->error = "cannot write frame " + std::to_string(first + std::max<sf_count_t>(written, 0)) +
                        " of the output: " + sf_strerror(w->out);
        return false;
    }
    return true;
}

}  // namespace

std::string checkInput(const SF_INFO& info, const Settings& settings) {
    if (info.channels < 1 || info.channels > MAX_FILE_CHANNELS)
        return std::to_string(info.channels) + " channels: qorta corrects 1 to " + std::to_string(MAX_FILE_CHANNELS);
    if (info.samplerate < MIN_SAMPLE_RATE)
        return "sample rate of " + std::to_string(info.samplerate) + " Hz: qorta needs at least " +
               std::to_string(MIN_SAMPLE_RATE) + " Hz";
    if (info.frames < 0) return "the number of frames is not known";
    if (settings.corrector == CorrectorKind::Fir) {
        const std::int64_t half = dsp::halfLengthExact(settings.quality, info.samplerate);
        if (half > MAX_HALF_LENGTH)
            return "the FIR kernel of quality " + std::to_string(settings.quality) + " at " +
                   std::to_string(info.samplerate) + " Hz would reach " + std::to_string(half) +
                   " frames each side, more than " + std::to_string(MAX_HALF_LENGTH);
    }
    return "";
}

std::string correctFile(SNDFILE* in, const SF_INFO& info, const InputExtras& extras, int outputFormat,
                        const Settings& settings, const OutputOpener& opener, FileStats* stats,
                        std::atomic<std::int64_t>* progress) {
    *stats = FileStats();
    stats->frames = info.frames;
    stats->channels = info.channels;
    stats->sampleRate = info.samplerate;
    stats->inputFormat = info.format;
    stats->outputFormat = outputFormat;
    std::string problem = checkInput(info, settings);
    if (!problem.empty()) return problem;

    Run run;
    run.in = in;
    run.info = info;
    run.settings = &settings;
    run.fades.fadeIn = settings.fadeIn;
    run.fades.fadeOut = settings.fadeOut;
    run.coding = codingOf(info.format);
    run.channels = info.channels;
    run.total = info.frames;
    run.rate = static_cast<std::uint32_t>(info.samplerate);
    run.progress = progress;
    if (run.coding.kind == SampleKind::Integer) {
        run.shortWords = run.coding.bits <= 16;
        run.inShift = (run.shortWords ? 16 : 32) - run.coding.bits;
        run.inScale = 1.0 / integerRange(run.coding.bits).scale;
        run.bias = run.coding.unsignedBias ? 128 : 0;
        if (run.shortWords) run.shortBuffer.resize(static_cast<std::size_t>(BLOCK * run.channels));
        else run.intBuffer.resize(static_cast<std::size_t>(BLOCK * run.channels));
    } else {
        run.doubleBuffer.resize(static_cast<std::size_t>(BLOCK * run.channels));
    }

    if (!measureDc(run, extras, stats)) return run.error;

    FirEngine fir;
    if (settings.corrector == CorrectorKind::Fir) buildFir(run, stats->peakIn, &fir);
    const SampleCoding outCoding = codingOf(outputFormat);
    Decision decision = Decision::None;
    if (outCoding.kind == SampleKind::Integer) decision = Decision::Integer;
    else if (outCoding.kind == SampleKind::Float32) decision = Decision::Float32;
    else if (outCoding.kind == SampleKind::Float64) decision = Decision::Exact;
    const double outScale = outCoding.kind == SampleKind::Integer ? integerRange(outCoding.bits).scale : 1.0;

    double factor = 1.0;
    if (settings.peakSet) {
        if (!rewind(run)) return run.error;
        PeakMeter meter;
        meter.channels = run.channels;
        const BlockSink sink = {PeakMeter::take, &meter};
        const bool ok = settings.corrector == CorrectorKind::Fir ? firPass(run, fir, Decision::None, 1.0, 1.0, sink)
                                                                 : iirPass(run, sink);
        if (!ok) return run.error;
        if (meter.peak > 0.0 && std::isfinite(meter.peak)) {
            factor = std::pow(10.0, settings.peakDb / 20.0) / meter.peak;
            stats->peakGainSet = true;
        }
    }
    stats->peakGain = factor;
    if (!rewind(run)) return run.error;

    SNDFILE* out = opener.open(opener.context, &run.error);
    if (out == nullptr) return run.error;
    Writer writer;
    writer.run = &run;
    writer.out = out;
    writer.coding = outCoding;
    if (outCoding.kind == SampleKind::Integer) {
        writer.range = integerRange(outCoding.bits);
        if (outCoding.bits <= 16) writer.shorts.resize(static_cast<std::size_t>(BLOCK * run.channels));
        else writer.ints.resize(static_cast<std::size_t>(BLOCK * run.channels));
    } else if (outCoding.kind == SampleKind::Float32) {
        writer.floats.resize(static_cast<std::size_t>(BLOCK * run.channels));
    } else {
        writer.doubles.resize(static_cast<std::size_t>(BLOCK * run.channels));
    }
    writer.factor = factor;
    writer.stats = stats;
    const BlockSink sink = {Writer::take, &writer};
    const bool ok = settings.corrector == CorrectorKind::Fir ? firPass(run, fir, decision, factor, outScale, sink)
                                                             : iirPass(run, sink);
    return ok ? "" : run.error;
}

}  // namespace qorta
