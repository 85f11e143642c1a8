// The command line of the host simulator, qortahost.
#ifndef QORTA_TOOLS_HOST_HOST_OPTIONS_H
#define QORTA_TOOLS_HOST_HOST_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/frame_rate.h"

namespace host {

struct TrackSetting {
    std::string name;    // as the plug-in lists it, letter case ignored
    std::int32_t value;
};

struct HostOptions {
    std::string pluginPath;
    std::string inputPath;   // empty: only describe the plug-in
    std::string outputPath;
    std::vector<TrackSetting> tracks;
    FrameRate frameRate;     // 30 frames per second unless given
    bool preview = false;    // run the preview path instead of a save
    bool quiet = false;      // no description of the plug-in
    bool help = false;
};

// The usage text printed by --help.
extern const char* const HOST_USAGE;

// Reads argv[1] .. argv[argc - 1]. Returns 0 and fills `*options`, or -1
// with a one-line description of the mistake in `*error`: an unknown
// option, a missing or malformed value (a track setting is NAME=VALUE with a
// 32-bit integer VALUE), no plug-in, or an input without an output or more
// than three names. White space around a numeric value (a track VALUE, the
// frame rate) is ignored. With --help nothing else is required.
int parseHostOptions(int argc, const char* const* argv, HostOptions* options, std::string* error);

}  // namespace host

#endif
