#include "tools/host/host_options.h"

#include <cerrno>
#include <cstdlib>

namespace host {

const char* const HOST_USAGE =
    "Usage: qortahost [OPTION]... PLUGIN.auf [INPUT.wav OUTPUT.wav]\n"
    "\n"
    "Loads an audio filter plug-in as the host video editor does and shows its\n"
    "name, information text and track bars. Given two WAV files, it cuts the\n"
    "input into video frames, runs them through the plug-in as the editor does\n"
    "when it saves an edit (or, with --preview, as during preview) and writes\n"
    "the result to OUTPUT.wav.\n"
    "\n"
    "Options:\n"
    "  -t, --track NAME=VALUE  set the track bar NAME (as listed, letter case\n"
    "                          ignored) to the integer VALUE; repeat for more.\n"
    "                          Track bars not set keep their defaults.\n"
    "  -r, --fps RATE          video frame rate: 30, 29.97 or 30000/1001,\n"
    "                          from 1 to 1000 (default 30). Frame k holds the\n"
    "                          samples floor(k*rate/fps) to\n"
    "                          floor((k+1)*rate/fps)-1.\n"
    "  -p, --preview           process as during preview (gain and fades only)\n"
    "                          instead of as during a save\n"
    "  -q, --quiet             do not describe the plug-in\n"
    "  -h, --help              show this text and exit\n"
    "\n"
    "INPUT.wav must be 16-bit PCM, mono or stereo. OUTPUT.wav is replaced if\n"
    "it exists; it may not be the input.\n"
    "\n"
    "Examples:\n"
    "  qortahost build/qortaiir.auf\n"
    "  qortahost build/qortafir.auf -t Quality=200 -t Gain=80 song.wav out.wav\n"
    "  qortahost build/qortaiir.auf --fps 30000/1001 -t FadeIn=30 in.wav out.wav\n"
    "\n"
    "Exit status: 0 on success, 1 for a usage mistake, 2 when the plug-in or a\n"
    "file cannot be used.\n";

namespace {

// `text` without the white space around it. Every numeric value of the
// command line is read this way, so " 30" and "5 " count as 30 and 5 for
// every option alike; white space inside a value is still a mistake.
std::string trimmed(const std::string& text) {
    const char* space = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(space) + 1 - first);
}

enum class NumberRead { Ok, Malformed, OutOfRange };

// Reads `text`, a decimal integer with an optional sign (and no white space
// in front: callers trim it), into `*value`: Ok, Malformed for any other
// text, OutOfRange for an integer beyond 32-bit signed range.
NumberRead parseInt32(const std::string& text, std::int32_t* value) {
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0') return NumberRead::Malformed;
    if (errno == ERANGE || parsed < INT32_MIN || parsed > INT32_MAX) return NumberRead::OutOfRange;
    *value = static_cast<std::int32_t>(parsed);
    return NumberRead::Ok;
}

// Reads "NAME=VALUE" into `*setting`; NAME is not empty, VALUE an integer,
// white space around it left out.
NumberRead parseTrack(const std::string& text, TrackSetting* setting) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) return NumberRead::Malformed;
    setting->name = text.substr(0, equals);
    return parseInt32(trimmed(text.substr(equals + 1)), &setting->value);
}

// Splits "--name=value" into the option and its attached value.
bool attachedValue(const std::string& argument, std::string* option, std::string* value) {
    const std::size_t equals = argument.find('=');
    if (argument.rfind("--", 0) != 0 || equals == std::string::npos) return false;
    *option = argument.substr(0, equals);
    *value = argument.substr(equals + 1);
    return true;
}

}  // namespace

int parseHostOptions(int argc, const char* const* argv, HostOptions* options, std::string* error) {
    std::vector<std::string> names;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            names.push_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::string option = argument;
        std::string value;
        bool hasValue = attachedValue(argument, &option, &value);
        if (option == "-h" || option == "--help") {
            options->help = true;
            return 0;
        }
        if (option == "-p" || option == "--preview" || option == "-q" || option == "--quiet") {
            if (hasValue) {
                *error = "option " + option + " takes no value";
                return -1;
            }
            (option == "-p" || option == "--preview" ? options->preview : options->quiet) = true;
            continue;
        }
        if (option != "-t" && option != "--track" && option != "-r" && option != "--fps") {
            *error = "unknown option " + argument;
            return -1;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                *error = "option " + option + " needs a value";
                return -1;
            }
            value = argv[++i];
        }
        if (option == "-t" || option == "--track") {
            TrackSetting setting;
            const NumberRead read = parseTrack(value, &setting);
            if (read == NumberRead::OutOfRange) {
                *error = "track setting '" + value + "' is out of range: VALUE from -2147483648 to 2147483647";
                return -1;
            }
            if (read != NumberRead::Ok) {
                *error = "track setting '" + value + "' is not NAME=VALUE with an integer VALUE";
                return -1;
            }
            options->tracks.push_back(setting);
        } else if (!parseFrameRate(trimmed(value), &options->frameRate)) {
            *error = "frame rate '" + value + "' is not a rate from 1 to 1000 such as 30, 29.97 or 30000/1001";
            return -1;
        }
    }
    if (names.empty()) {
        *error = "no plug-in given";
        return -1;
    }
    if (names.size() == 2) {
        *error = "an input file needs an output file";
        return -1;
    }
    if (names.size() > 3) {
        *error = "too many file names";
        return -1;
    }
    options->pluginPath = names[0];
    if (names.size() == 3) {
        options->inputPath = names[1];
        options->outputPath = names[2];
    }
    return 0;
}

}  // namespace host
