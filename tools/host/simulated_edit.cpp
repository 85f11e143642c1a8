#include "tools/host/simulated_edit.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace host {
namespace {

bool sameNameIgnoringCase(const char* a, const std::string& b) {
    std::size_t i = 0;
    for (; a[i] != '\0' && i < b.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
    return a[i] == '\0' && i == b.size();
}

SimulatedEdit& editOf(void* editHandle) { return *static_cast<SimulatedEdit*>(editHandle); }

std::int32_t readFrameAudio(void* editHandle, std::int32_t frame, std::int16_t* buffer) {
    SimulatedEdit& edit = editOf(editHandle);
    if (edit.logReadRequests) edit.readRequests.push_back(frame);
    if (frame < 0 || frame >= frameCount(edit)) return 0;
    const std::vector<std::int32_t>& unreadable = edit.faults.unreadableFrames;
    if (std::find(unreadable.begin(), unreadable.end(), frame) != unreadable.end()) return 0;
    return readSourceFrame(edit, frame, buffer) ? frameSamples(edit, frame) : 0;
}

std::int32_t queryFileInfo(void* editHandle, FileInfoRecord* info) {
    SimulatedEdit& edit = editOf(editHandle);
    ++edit.fileInfoQueries;
    if (edit.faults.queryFileInfoFails) return 0;
    std::memset(info, 0, sizeof *info);
    info->samplingRate = edit.faults.overrideSamplingRate ? edit.faults.reportedSamplingRate : edit.samplingRate;
    return 1;
}

}  // namespace

std::int64_t sourceSamples(const SimulatedEdit& edit) {
    if (platform::isValid(edit.sourceFile.file)) return edit.sourceFile.frames;
    return edit.channelCount > 0 ? static_cast<std::int64_t>(edit.source.size()) / edit.channelCount : 0;
}

std::int32_t frameCount(const SimulatedEdit& edit) {
    if (edit.frameStarts.empty()) return edit.framesAtRate;
    return static_cast<std::int32_t>(edit.frameStarts.size() - 1);
}

std::int64_t frameStart(const SimulatedEdit& edit, std::int32_t k) {
    if (!edit.frameStarts.empty()) return edit.frameStarts[k];
    return k < edit.framesAtRate ? frameStartSample(k, edit.samplingRate, edit.frameRate) : sourceSamples(edit);
}

std::int32_t frameSamples(const SimulatedEdit& edit, std::int32_t k) {
    return static_cast<std::int32_t>(frameStart(edit, k + 1) - frameStart(edit, k));
}

bool readSourceFrame(const SimulatedEdit& edit, std::int32_t k, std::int16_t* audio) {
    const std::int64_t first = frameStart(edit, k);
    const std::int32_t count = frameSamples(edit, k);
    if (platform::isValid(edit.sourceFile.file)) return readWavFrames(edit.sourceFile, first, count, audio);
    std::copy_n(edit.source.begin() + first * edit.channelCount, static_cast<std::int64_t>(count) * edit.channelCount,
                audio);
    return true;
}

bool cutIntoFrames(SimulatedEdit& edit, const FrameRate& rate) {
    edit.frameStarts.clear();
    edit.framesAtRate = 0;
    if (edit.samplingRate <= 0) return false;
    // Frame k starts at floor(k x q / fps numerator), q = samplingRate x fps
    // denominator, so the frames that start before the end of the audio
    // (total samples) are the k below total x numerator / q, rounded up. The
    // sums stay below 2^63: samples below 2^32, terms at most 10^9.
    const std::int64_t total = sourceSamples(edit);
    const std::int64_t q = static_cast<std::int64_t>(edit.samplingRate) * rate.denominator;
    const std::int64_t frames = (total * rate.numerator + q - 1) / q;
    if (frames > INT32_MAX) return false;
    edit.frameRate = rate;
    edit.framesAtRate = static_cast<std::int32_t>(frames);
    return true;
}

bool cutIntoFrames(SimulatedEdit& edit, const std::vector<std::int32_t>& lengths) {
    edit.framesAtRate = 0;
    edit.frameStarts.assign(1, 0);
    for (std::int32_t length : lengths) {
        if (length < 0) break;
        edit.frameStarts.push_back(edit.frameStarts.back() + length);
    }
    if (edit.frameStarts.size() == lengths.size() + 1 && edit.frameStarts.back() == sourceSamples(edit)) return true;
    edit.frameStarts.clear();
    return false;
}

void openSession(HostSession& session, const FilterTable& table, SimulatedEdit& edit) {
    session.edit = &edit;
    session.trackValues.assign(table.trackCount > 0 ? table.trackCount : 0, 0);
    for (std::size_t i = 0; i < session.trackValues.size() && table.trackDefaults != nullptr; ++i)
        session.trackValues[i] = table.trackDefaults[i];
    session.services = HostServices{};
    session.services.readFrameAudio = readFrameAudio;
    session.services.queryFileInfo = queryFileInfo;
    session.record = table;
    session.record.trackValues = session.trackValues.empty() ? nullptr : session.trackValues.data();
    session.record.hostServices = &session.services;
}

int findTrack(const HostSession& session, const std::string& name) {
    const FilterTable& table = session.record;
    for (int i = 0; i < static_cast<int>(session.trackValues.size()); ++i)
        if (table.trackNames != nullptr && table.trackNames[i] != nullptr &&
            sameNameIgnoringCase(table.trackNames[i], name))
            return i;
    return -1;
}

std::int32_t startSave(HostSession& session) {
    if (session.record.saveStartCallback == nullptr) return 1;
    return session.record.saveStartCallback(&session.record, 0, frameCount(*session.edit) - 1, session.edit);
}

std::int32_t endSave(HostSession& session) {
    if (session.record.saveEndCallback == nullptr) return 1;
    return session.record.saveEndCallback(&session.record, session.edit);
}

std::int32_t exitPlugin(HostSession& session) {
    if (session.record.exitCallback == nullptr) return 1;
    return session.record.exitCallback(&session.record);
}

std::int32_t processFrame(HostSession& session, std::int32_t k, std::int16_t* audio) {
    if (session.record.processCallback == nullptr) return 1;
    const SimulatedEdit& edit = *session.edit;
    FrameAudioRecord frame = {};
    frame.frame = k;
    frame.frameCount = frameCount(edit);
    frame.audio = audio;
    frame.sampleCount = frameSamples(edit, k);
    frame.channelCount = edit.channelCount;
    frame.editHandle = session.edit;
    return session.record.processCallback(&session.record, &frame);
}

bool runEdit(HostSession& session, RunMode mode, const FrameSink& sink) {
    const SimulatedEdit& edit = *session.edit;
    bool ran = true;
    if (mode == RunMode::Save) startSave(session);
    for (std::int32_t k = 0; ran && k < frameCount(edit); ++k) {
        // A buffer of the frame's exact size, so that a write beyond the
        // frame is caught by the memory checkers rather than hidden.
        std::vector<std::int16_t> frameAudio(static_cast<std::size_t>(frameSamples(edit, k)) * edit.channelCount);
        ran = readSourceFrame(edit, k, frameAudio.data());
        if (ran) processFrame(session, k, frameAudio.data());
        ran = ran && sink.take(sink.context, frameAudio.data(), frameAudio.size());
    }
    if (mode == RunMode::Save) endSave(session);
    return ran;
}

void runEdit(HostSession& session, RunMode mode, std::vector<std::int16_t>* output) {
    output->clear();
    auto append = [](void* context, const std::int16_t* audio, std::size_t count) {
        auto* samples = static_cast<std::vector<std::int16_t>*>(context);
        samples->insert(samples->end(), audio, audio + count);
        return true;
    };
    runEdit(session, mode, FrameSink{append, output});
}

}  // namespace host
