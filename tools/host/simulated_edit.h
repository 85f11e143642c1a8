// A simulated host editor: an edit made of one audio clip cut into video
// frames, the host services that answer from it, and the calls a host makes
// into a plug-in during a save or a preview.
#ifndef QORTA_TOOLS_HOST_SIMULATED_EDIT_H
#define QORTA_TOOLS_HOST_SIMULATED_EDIT_H

#include <cstdint>
#include <string>
#include <vector>

#include "plugin/filter_records.h"
#include "tools/host/frame_rate.h"
#include "tools/host/wav_io.h"

namespace host {

// Host faults to simulate; by default the host answers every request.
struct HostFaults {
    bool queryFileInfoFails = false;             // queryFileInfo answers 0
    bool overrideSamplingRate = false;           // report `reportedSamplingRate`
    std::int32_t reportedSamplingRate = 0;       //   instead of the edit's rate
    std::vector<std::int32_t> unreadableFrames;  // readFrameAudio answers 0 for these
};

// The edit: its source audio, how it is cut into video frames, the faults
// to simulate, and a log of the requests the plug-in made. The source is
// held in memory, or, when `sourceFile` names a file, read from it frame by
// frame as the host needs it, so that an edit of any length takes little
// memory.
struct SimulatedEdit {
    std::int32_t samplingRate = 0;
    std::int32_t channelCount = 0;
    std::vector<std::int16_t> source;        // the edit's audio, interleaved, never changed
    WavSource sourceFile;                    // used instead of `source` when its file is valid
    // The cut: frame starts computed from `frameRate` for the first
    // `framesAtRate` frames, or, when `frameStarts` is not empty, the first
    // sample of each frame there, then the end of the audio.
    FrameRate frameRate;
    std::int32_t framesAtRate = 0;
    std::vector<std::int64_t> frameStarts;
    HostFaults faults;
    bool logReadRequests = true;             // qortahost keeps no log: it would grow with every frame
    std::vector<std::int32_t> readRequests;  // frames asked for through readFrameAudio, in order
    std::int32_t fileInfoQueries = 0;        // calls of queryFileInfo
};

// Samples per channel in the edit's source.
std::int64_t sourceSamples(const SimulatedEdit& edit);

// Video frames in the edit.
std::int32_t frameCount(const SimulatedEdit& edit);

// First sample of frame `k` (0 <= k <= frameCount; frame frameCount starts
// at the end of the audio).
std::int64_t frameStart(const SimulatedEdit& edit, std::int32_t k);

// Samples per channel of frame `k` (0 <= k < frameCount).
std::int32_t frameSamples(const SimulatedEdit& edit, std::int32_t k);

// Copies the audio of frame `k` (0 <= k < frameCount), frameSamples(k) x
// channelCount samples, into `audio`. False when the source file cannot
// deliver it.
bool readSourceFrame(const SimulatedEdit& edit, std::int32_t k, std::int16_t* audio);

// Cuts the source into video frames at `rate`: frame k holds the samples
// floor(k x samplingRate / fps) .. floor((k + 1) x samplingRate / fps) - 1,
// the last frame ending with the audio. Returns false, leaving no frames,
// when the sampling rate is not positive or the frames would not be
// countable in 32 bits.
bool cutIntoFrames(SimulatedEdit& edit, const FrameRate& rate);

// Cuts the source into frames of the given lengths (samples per channel),
// which must add up to the source length; false otherwise.
bool cutIntoFrames(SimulatedEdit& edit, const std::vector<std::int32_t>& lengths);

// The host side of a loaded plug-in: the filter record handed to its
// callbacks (a copy of its table with the host's track values and services)
// and the edit it works on. Neither copied nor moved: the record points into
// the session.
struct HostSession {
    HostSession() = default;
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    FilterTable record = {};
    HostServices services = {};
    std::vector<std::int32_t> trackValues;
    SimulatedEdit* edit = nullptr;
};

// Prepares `session` for the plug-in with `table` working on `edit`: every
// track value at its default.
void openSession(HostSession& session, const FilterTable& table, SimulatedEdit& edit);

// Index of the track bar called `name` (letter case ignored), or -1.
int findTrack(const HostSession& session, const std::string& name);

// The callbacks as the host calls them; each returns the callback's result,
// or 1 when the table has no such callback.
std::int32_t startSave(HostSession& session);
std::int32_t endSave(HostSession& session);
std::int32_t exitPlugin(HostSession& session);

// Calls the processing callback for frame `k` of the edit with `audio`
// holding frameSamples(k) x channelCount samples, rewritten in place.
std::int32_t processFrame(HostSession& session, std::int32_t k, std::int16_t* audio);

enum class RunMode {
    Save,     // save start, every frame, save end: the full correction
    Preview,  // every frame outside a save run: gain and fades only
};

// Takes the rewritten audio of each frame in order, `count` interleaved
// samples; returns false to end the run.
struct FrameSink {
    bool (*take)(void* context, const std::int16_t* audio, std::size_t count);
    void* context;
};

// Runs every frame of the edit through the plug-in in order, each in a
// buffer of its own, and hands the rewritten audio to `sink`. Returns false
// when a frame's audio cannot be read or the sink ends the run; a save run
// still gets its save end.
bool runEdit(HostSession& session, RunMode mode, const FrameSink& sink);

// The same, returning the rewritten audio in `*output`.
void runEdit(HostSession& session, RunMode mode, std::vector<std::int16_t>* output);

}  // namespace host

#endif
