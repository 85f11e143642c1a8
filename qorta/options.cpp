#include "qorta/options.h"

#include <getopt.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace qorta {

namespace {

enum LongOnly { FADE_IN = 256, FADE_OUT, JSON, QUIET, FORMAT };

bool parseReal(const char* text, double* value) {
    char* end = nullptr;
    errno = 0;
    *value = std::strtod(text, &end);
    return end != text && *end == '\0' && errno == 0 && std::isfinite(*value);
}

bool parseInt(const char* text, long low, long high, int* value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0 || v < low || v > high) return false;
    *value = static_cast<int>(v);
    return true;
}

}  // namespace

const char* usageText() {
    return "Usage: qorta [OPTION]... FILE|FOLDER...\n"
           "Corrects the bass level of audio files: removes each channel's DC offset,\n"
           "then applies the FIR (default) or IIR bass corrector, gain and fades.\n"
           "Writes NAME_b.EXT beside each input unless -o is given.\n"
           "\n"
           "Correction:\n"
           "  -f, --fir              linear-phase FIR corrector (default)\n"
           "  -i, --iir              recursive IIR corrector\n"
           "  -e, --effect=PERCENT   strength of the bass correction (default 100)\n"
           "  -g, --gain=PERCENT     output gain (default 100)\n"
           "  -q, --quality=N        FIR kernel length, 0 to 300 (default 100)\n"
           "      --fade-in=MS       linear fade-in of MS milliseconds\n"
           "      --fade-out=MS      linear fade-out of MS milliseconds\n"
           "  -p, --peak=DB          scale the output so that its peak is DB dBFS\n"
           "\n"
           "Files:\n"
           "  -o, --output=PATH      output file (one input) or folder (several)\n"
           "  -r, --recursive        descend into sub-folders of folder arguments\n"
           "  -t, --format=NAME      output format, e.g. flac, wav:24, wav:float, aiff:16\n"
           "  -y, --overwrite        replace existing outputs\n"
           "  -j, --jobs=N           files corrected at once (default: one per core)\n"
           "\n"
           "Report:\n"
           "      --json=FILE        also write the report as JSON to FILE ('-': standard output)\n"
           "      --quiet            no progress on standard error\n"
           "  -h, --help             show this help and exit\n"
           "  -V, --version          show the version and exit\n"
           "\n"
           "'-' as FILE reads standard input; with -o - the output goes to standard output.\n"
           "Exit status: 0 when every output was written, 1 when any was not, 2 for a wrong\n"
           "command line. See qorta(1).\n";
}

std::string parseOptions(int argc, char** argv, Options* o) {
    static const option LONG[] = {
        {"fir", no_argument, nullptr, 'f'},          {"iir", no_argument, nullptr, 'i'},
        {"effect", required_argument, nullptr, 'e'}, {"gain", required_argument, nullptr, 'g'},
        {"quality", required_argument, nullptr, 'q'}, {"fade-in", required_argument, nullptr, FADE_IN},
        {"fade-out", required_argument, nullptr, FADE_OUT}, {"peak", required_argument, nullptr, 'p'},
        {"output", required_argument, nullptr, 'o'}, {"recursive", no_argument, nullptr, 'r'},
        {"format", required_argument, nullptr, 't'}, {"overwrite", no_argument, nullptr, 'y'},
        {"jobs", required_argument, nullptr, 'j'},   {"json", required_argument, nullptr, JSON},
        {"quiet", no_argument, nullptr, QUIET},      {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},      {nullptr, 0, nullptr, 0}};
    opterr = 0;
    optind = 1;
    int c;
    double real;
    while ((c = getopt_long(argc, argv, ":fie:g:q:p:o:rt:yj:hV", LONG, nullptr)) != -1) {
        const std::string value = optarg != nullptr ? optarg : "";
        switch (c) {
        case 'f': o->settings.corrector = CorrectorKind::Fir; break;
        case 'i': o->settings.corrector = CorrectorKind::Iir; break;
        case 'e':
            if (!parseReal(optarg, &o->settings.effect)) return "invalid effect '" + value + "': a number of percent";
            break;
        case 'g':
            if (!parseReal(optarg, &o->settings.gain)) return "invalid gain '" + value + "': a number of percent";
            break;
        case 'q':
            if (!parseInt(optarg, 0, 300, &o->settings.quality))
                return "invalid quality '" + value + "': a whole number from 0 to 300";
            break;
        case FADE_IN:
            if (!parseInt(optarg, 0, 2147483647L, &o->settings.fadeIn))
                return "invalid fade-in '" + value + "': whole milliseconds, 0 or more";
            break;
        case FADE_OUT:
            if (!parseInt(optarg, 0, 2147483647L, &o->settings.fadeOut))
                return "invalid fade-out '" + value + "': whole milliseconds, 0 or more";
            break;
        case 'p':
            if (!parseReal(optarg, &real) || real > 200.0 || real < -200.0)
                return "invalid peak '" + value + "': a level in dBFS such as -1";
            o->settings.peakSet = true;
            o->settings.peakDb = real;
            break;
        case 'o': o->output = value; break;
        case 'r': o->recursive = true; break;
        case 't': o->formatName = value; break;
        case 'y': o->overwrite = true; break;
        case 'j':
            if (!parseInt(optarg, 1, 1024, &o->jobs)) return "invalid job count '" + value + "': 1 to 1024";
            break;
        case JSON: o->jsonPath = value; break;
        case QUIET: o->quiet = true; break;
        case 'h': o->help = true; break;
        case 'V': o->version = true; break;
        case ':':
            return optopt != 0 ? std::string("option '-") + static_cast<char>(optopt) + "' needs a value"
                               : std::string("option '") + argv[optind - 1] + "' needs a value";
        default:
            return optopt != 0 ? std::string("unknown option '-") + static_cast<char>(optopt) + "'"
                               : std::string("unknown option '") + argv[optind - 1] + "'";
        }
    }
    for (int i = optind; i < argc; ++i) o->inputs.push_back(argv[i]);
    return "";
}

}  // namespace qorta
