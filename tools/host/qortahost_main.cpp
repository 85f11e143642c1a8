// qortahost: a stand-in for the host video editor. Loads an audio filter
// plug-in, shows what it declares, and runs a WAV file through it frame by
// frame as the editor does when it saves or previews an edit.
#include <cstdio>
#include <string>

#include "console/output_header.h"
#include "platform/platform.h"
#include "tools/host/host_options.h"
#include "tools/host/plugin_loader.h"
#include "tools/host/shift_jis_text.h"
#include "tools/host/simulated_edit.h"
#include "tools/host/wav_io.h"

namespace {

constexpr int EXIT_USAGE = 1;
constexpr int EXIT_FAILURE_TO_RUN = 2;

// Closes the input file on every way out.
struct InputFile {
    platform::FileHandle handle = platform::invalidFile();
    ~InputFile() { platform::closeFile(handle); }
};

void describePlugin(const host::HostOptions& options, const host::HostSession& session) {
    const FilterTable& table = session.record;
    std::printf("plug-in      %s\n", options.pluginPath.c_str());
    std::printf("name         %s\n", table.name != nullptr ? table.name : "(none)");
    std::printf("information  %s\n",
                table.informationText != nullptr ? host::displayShiftJis(table.informationText).c_str() : "(none)");
    std::printf("track bars   %-10s %11s %11s\n", "name", "default", "value");
    for (std::size_t i = 0; i < session.trackValues.size(); ++i) {
        const char* name = table.trackNames != nullptr && table.trackNames[i] != nullptr ? table.trackNames[i] : "?";
        const long defaultValue = table.trackDefaults != nullptr ? static_cast<long>(table.trackDefaults[i]) : 0L;
        std::printf("             %-10s %11ld %11ld\n", name, defaultValue, static_cast<long>(session.trackValues[i]));
    }
}

bool applyTracks(const host::HostOptions& options, host::HostSession& session) {
    for (const host::TrackSetting& setting : options.tracks) {
        const int index = host::findTrack(session, setting.name);
        if (index < 0) {
            std::fprintf(stderr, "qortahost: this plug-in has no track bar '%s'; it has:", setting.name.c_str());
            for (std::size_t i = 0; i < session.trackValues.size(); ++i)
                std::fprintf(stderr, " %s", session.record.trackNames[i]);
            std::fprintf(stderr, "\n");
            return false;
        }
        session.trackValues[index] = setting.value;
    }
    return true;
}

bool writeFrame(void* context, const std::int16_t* audio, std::size_t count) {
    return host::writeWavSamples(*static_cast<host::WavOutput*>(context), audio, count);
}

// Runs the input through the plug-in frame by frame, reading each frame (and
// each neighbour the plug-in asks for) from the input file when it is needed
// and writing each rewritten frame at once, so that memory does not grow
// with the length of the input.
int processAudio(const host::HostOptions& options, host::HostSession& session, host::SimulatedEdit& edit) {
    InputFile input;
    input.handle = platform::openInputFile(options.inputPath.c_str());
    if (!platform::isValid(input.handle)) {
        std::fprintf(stderr, "qortahost: cannot open %s\n", options.inputPath.c_str());
        return EXIT_FAILURE_TO_RUN;
    }
    host::WavSource source;
    std::string error;
    if (host::openWav16(input.handle, &source, &error) != 0) {
        std::fprintf(stderr, "qortahost: %s: %s\n", options.inputPath.c_str(), error.c_str());
        return EXIT_FAILURE_TO_RUN;
    }
    edit.samplingRate = source.samplingRate;
    edit.channelCount = source.channelCount;
    edit.sourceFile = source;
    edit.logReadRequests = false;
    if (!host::cutIntoFrames(edit, options.frameRate)) {
        std::fprintf(stderr, "qortahost: %s: too many video frames\n", options.inputPath.c_str());
        return EXIT_FAILURE_TO_RUN;
    }
    host::WavOutput output;
    if (host::createWav16(options.outputPath.c_str(), input.handle, options.inputPath.c_str(), source.samplingRate,
                          source.channelCount, source.frames, &output, &error) != 0) {
        std::fprintf(stderr, "qortahost: %s\n", error.c_str());
        return EXIT_FAILURE_TO_RUN;
    }
    const bool ran = host::runEdit(session, options.preview ? host::RunMode::Preview : host::RunMode::Save,
                                   host::FrameSink{writeFrame, &output});
    const bool written = host::closeWav16(output, ran, &error) == 0;
    if (!ran && written) {
        std::fprintf(stderr, "qortahost: %s: cannot read the audio\n", options.inputPath.c_str());
        return EXIT_FAILURE_TO_RUN;
    }
    if (!written) {
        std::fprintf(stderr, "qortahost: %s\n", error.c_str());
        return EXIT_FAILURE_TO_RUN;
    }
    std::printf("%s %ld video frames at %s fps (%ld samples per channel, %ld Hz, %s) to %s\n",
                options.preview ? "previewed" : "saved", static_cast<long>(host::frameCount(edit)),
                host::formatFrameRate(options.frameRate).c_str(), static_cast<long>(host::sourceSamples(edit)),
                static_cast<long>(edit.samplingRate), edit.channelCount == 1 ? "mono" : "stereo",
                options.outputPath.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // As in the console programs: no file takes the place of a closed
    // standard stream, and an interrupted run leaves a true output header.
    platform::openStandardStreams();
    console::fitOutputOnInterruption();
    host::HostOptions options;
    std::string error;
    if (host::parseHostOptions(argc, argv, &options, &error) != 0) {
        std::fprintf(stderr, "qortahost: %s\nTry 'qortahost --help' for more information.\n", error.c_str());
        return EXIT_USAGE;
    }
    if (options.help) {
        std::fputs(host::HOST_USAGE, stdout);
        return 0;
    }
    host::LoadedPlugin plugin;
    if (host::loadPlugin(options.pluginPath.c_str(), &plugin, &error) != 0) {
        std::fprintf(stderr, "qortahost: %s\n", error.c_str());
        return EXIT_FAILURE_TO_RUN;
    }
    host::SimulatedEdit edit;
    host::HostSession session;
    host::openSession(session, *plugin.table, edit);
    int status = applyTracks(options, session) ? 0 : EXIT_USAGE;
    if (status == 0 && !options.quiet) describePlugin(options, session);
    if (status == 0 && !options.inputPath.empty()) status = processAudio(options, session, edit);
    host::exitPlugin(session);
    host::unloadPlugin(&plugin);
    return status;
}
