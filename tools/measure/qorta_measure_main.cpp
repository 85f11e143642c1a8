// qorta_measure: what a correction did to a recording. For each WAV file, per
// channel: the DC offset, the peak and RMS level, and the level below 120 Hz;
// optionally a plot of the files' third-octave spectra in the style of the
// response plot.
//
//   qorta_measure [-s PLOT.svg] [-t TITLE] [LABEL=]FILE.wav...
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tools/measure/power_density.h"
#include "tools/realtime/sample_file.h"
#include "tools/response/svg_plot.h"

namespace {

const char USAGE[] = "usage: qorta_measure [-s PLOT.svg] [-t TITLE] [LABEL=]FILE.wav...\n";
const double BASS_LIMIT_HZ = 120.0;

struct Input {
    std::string label;
    std::string path;
    rtref::SampleFile file;
};

int refuse(const std::string& what) {
    std::fprintf(stderr, "qorta_measure: %s\n%s", what.c_str(), USAGE);
    return 2;
}

double db(double amplitude) { return 20.0 * std::log10(amplitude); }

// Segments of about a quarter of a second: third-octave bands from 20 Hz hold several bins.
int segmentLength(std::uint32_t rate) {
    int n = 1024;
    while (n < static_cast<int>(rate / 4)) n *= 2;
    return n;
}

void printLevels(const Input& input) {
    const rtref::SampleFile& file = input.file;
    for (int c = 0; c < file.channels; ++c) {
        const std::vector<double>& x = file.samples[c];
        double sum = 0.0, squares = 0.0, peak = 0.0;
        for (double v : x) {
            sum += v;
            squares += v * v;
            peak = std::fmax(peak, std::fabs(v));
        }
        const double frames = x.empty() ? 1.0 : static_cast<double>(x.size());
        const measure::Spectrum spectrum = measure::powerSpectrum(x, file.sampleRate, segmentLength(file.sampleRate));
        std::printf("%-22s %7d %+10.5f %9.2f %9.2f %12.2f\n", input.label.c_str(), c + 1, sum / frames, db(peak),
                    10.0 * std::log10(squares / frames), measure::bandLevelDb(spectrum, 0.0, BASS_LIMIT_HZ));
    }
}

// The channels' mean power in third-octave bands centred on 1 kHz x 2^(k/3), from 20 Hz up.
plot::Curve bandCurve(const Input& input) {
    const rtref::SampleFile& file = input.file;
    std::vector<measure::Spectrum> spectra;
    for (int c = 0; c < file.channels; ++c)
        spectra.push_back(measure::powerSpectrum(file.samples[c], file.sampleRate, segmentLength(file.sampleRate)));
    plot::Curve curve;
    curve.label = input.label;
    for (int k = -17; k <= 13; ++k) {
        const double centre = 1000.0 * std::pow(2.0, k / 3.0);
        const double low = centre * std::pow(2.0, -1.0 / 6.0), high = centre * std::pow(2.0, 1.0 / 6.0);
        if (high > file.sampleRate / 2.0) break;
        double power = 0.0;
        for (const measure::Spectrum& s : spectra) power += std::pow(10.0, measure::bandLevelDb(s, low, high) / 10.0);
        curve.x.push_back(centre);
        curve.y.push_back(10.0 * std::log10(power / static_cast<double>(spectra.size())));
    }
    return curve;
}

int writePlot(const std::vector<Input>& inputs, const std::string& path, const std::string& title) {
    static const char* const COLOURS[] = {"#555555", "#0072b2", "#d55e00", "#009e73", "#cc79a7"};
    static const char* const DASHES[] = {"", "", "8 4", "2 3", "8 3 2 3"};
    std::vector<plot::Curve> curves;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        curves.push_back(bandCurve(inputs[i]));
        curves.back().colour = COLOURS[i % 5];
        curves.back().dashes = DASHES[i % 5];
    }
    plot::Frame frame;
    frame.xLow = 20.0;
    frame.yLow = -100.0;
    frame.yHigh = 0.0;
    frame.yStep = 10.0;
    frame.title = title;
    frame.xTitle = "Frequency (Hz)";
    frame.yTitle = "Level in third-octave bands (dBFS)";
    std::string svg;
    if (plot::renderSvg(frame, curves, &svg) != 0) return refuse("the plot cannot be drawn");
    std::ofstream out(path, std::ios::binary);
    out << svg;
    out.close();
    if (!out) {
        std::fprintf(stderr, "qorta_measure: cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string plotPath, title = "Spectrum before and after";
    std::vector<Input> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "-s" || arg == "-t") && i + 1 < argc) {
            (arg == "-s" ? plotPath : title) = argv[++i];
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(USAGE, stdout);
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            return refuse("unknown option " + arg);
        } else {
            Input input;
            const std::size_t equals = arg.find('=');
            input.label = equals == std::string::npos ? arg : arg.substr(0, equals);
            input.path = equals == std::string::npos ? arg : arg.substr(equals + 1);
            inputs.push_back(input);
        }
    }
    if (inputs.empty()) return refuse("no file given");
    for (Input& input : inputs) {
        std::string error;
        if (!rtref::readSampleFile(input.path, &input.file, &error)) {
            std::fprintf(stderr, "qorta_measure: %s\n", error.c_str());
            return 1;
        }
    }
    std::printf("%-22s %7s %10s %9s %9s %12s\n", "file", "channel", "DC offset", "peak dB", "RMS dB",
                "below 120 Hz");
    for (const Input& input : inputs) printLevels(input);
    return plotPath.empty() ? 0 : writePlot(inputs, plotPath, title);
}
