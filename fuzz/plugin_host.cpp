#include "fuzz/plugin_host.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/byte_source.h"
#include "fuzz/check.h"
#include "plugin/fir_filter.h"
#include "plugin/iir_filter.h"

namespace fuzz {
namespace {

// Samples per channel of the largest frame the host hands over.
constexpr std::int32_t MAX_FRAME_SAMPLES = 4096;
// The largest kernel half-length the host lets the FIR plug-in build: the
// host keeps Quality x rate small enough that a run stays fast.
constexpr std::int64_t MAX_HALF_LENGTH = 1 << 16;
// Multiply-adds per channel the host lets one FIR frame cost: frames get
// fewer samples the longer the kernel is.
constexpr std::int64_t MAX_FRAME_TAPS = 1 << 21;

using namespace plugin;  // the positions of the track bars

struct Host {
    ByteSource* script = nullptr;
    PluginKind kind = PluginKind::Iir;
    FilterTable* table = nullptr;
    std::unique_ptr<std::int32_t[]> tracks;  // exactly trackCount values
    HostServices services = {};
    bool recordHasTracks = true;
    bool recordHasServices = true;
    std::int32_t rate = 44100;  // what a successful query reports unless the script says otherwise

    // What the host knows of the plug-in's state.
    bool saving = false;          // IIR: between save start and save end
    std::int64_t plannedHalfLength = 0;  // FIR: N of the last kernel the plug-in may have built

    // The call in progress.
    void* editHandle = nullptr;
    const FrameAudioRecord* current = nullptr;
    int queries = 0;
    bool lastQueryOk = false;
    std::int32_t lastRate = 0;
    bool inSaveStart = false;
};

Host* host = nullptr;  // the services are plain functions; they find their host here

std::int32_t track(int index) { return host->tracks[index]; }

std::int32_t queryFileInfo(void* editHandle, FileInfoRecord* info) {
    Host& h = *host;
    check(editHandle == h.editHandle, "the plug-in passes the edit handle back unchanged");
    check(info != nullptr, "the plug-in hands over a file information record");
    ++h.queries;
    const std::uint8_t mode = h.script->byte();
    std::memset(info, 0x5A, sizeof *info);  // host data the plug-in must not rely on
    if (mode % 4 == 0) {
        h.lastQueryOk = false;
        return 0;
    }
    // Save start always reports the configured rate, which is what keeps
    // the kernel within MAX_HALF_LENGTH; frames may get any rate.
    info->samplingRate = (mode % 4 == 1 && !h.inSaveStart) ? h.script->edgyInt32() : h.rate;
    h.lastQueryOk = true;
    h.lastRate = info->samplingRate;
    return mode % 4 == 3 ? -7 : 1;  // any value but 0 means success
}

// The samples per channel the host answers for a neighbouring frame: mostly
// a whole frame like the current one, sometimes part of it, nothing, a
// negative count or a count far beyond any buffer.
std::int32_t neighbourCount(std::int32_t currentSamples) {
    const std::uint8_t choice = host->script->byte();
    switch (choice % 8) {
        case 0: return 0;
        case 1: return host->script->edgyInt32();
        case 2: return 1 + static_cast<std::int32_t>(host->script->below(static_cast<std::uint32_t>(currentSamples)));
        case 3: return currentSamples + 1;
        default: return currentSamples;
    }
}

std::int32_t readFrameAudio(void* editHandle, std::int32_t frameNumber, std::int16_t* buffer) {
    Host& h = *host;
    check(h.kind == PluginKind::Fir, "only the FIR plug-in reads neighbouring frames");
    check(editHandle == h.editHandle, "the plug-in passes the edit handle back unchanged");
    check(h.current != nullptr, "neighbouring frames are read only while a frame is processed");
    check(buffer != nullptr, "the plug-in hands over a buffer");
    const FrameAudioRecord& frame = *h.current;
    check(frame.channelCount >= 1 && frame.channelCount <= 2 && frame.sampleCount > 0,
          "neighbours are read only for frames the plug-in can process");
    const std::int64_t k = frameNumber;
    check((k >= 0 && k < frame.frame) || (k > frame.frame && k < frame.frameCount),
          "a neighbour is a frame of the edit other than the current one");
    const std::int32_t answer = neighbourCount(frame.sampleCount);
    const std::int64_t written = std::clamp<std::int64_t>(answer, 0, frame.sampleCount) * frame.channelCount;
    for (std::int64_t i = 0; i < written; ++i)
        buffer[i] = static_cast<std::int16_t>(static_cast<std::uint32_t>(k * 7919 + i * 104729) & 0xFFFF);
    return answer;
}

// The record a callback gets: the plug-in's table with the host's track
// values and services filled in, or left out when the script says so.
FilterTable callbackRecord() {
    FilterTable record = *host->table;
    record.trackValues = host->recordHasTracks ? host->tracks.get() : nullptr;
    record.hostServices = host->recordHasServices ? &host->services : nullptr;
    return record;
}

void* editHandleFromScript() {
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(host->script->u32()));
}

void configure() {
    Host& h = *host;
    ByteSource& s = *h.script;
    for (std::int32_t i = 0; i < h.table->trackCount; ++i) h.tracks[i] = s.edgyInt32();
    h.rate = s.edgyInt32();
    const std::uint8_t presence = s.byte();
    h.recordHasTracks = (presence & 0x03) != 0;
    h.recordHasServices = (presence & 0x0C) != 0;
    h.services.queryFileInfo = (presence & 0x30) != 0 ? queryFileInfo : nullptr;
    h.services.readFrameAudio = (presence & 0xC0) != 0 ? readFrameAudio : nullptr;
}

// The kernel half-length the FIR plug-in builds for Quality q and rate r.
std::int64_t halfLengthFor(std::int32_t q, std::int32_t r) {
    if (q < 0 || r <= 0) return 0;
    return static_cast<std::int64_t>(q) * r / 5000;
}

void saveStart() {
    Host& h = *host;
    if (h.kind == PluginKind::Fir && halfLengthFor(track(FIR_TRACK_QUALITY), h.rate) > MAX_HALF_LENGTH)
        h.tracks[FIR_TRACK_QUALITY] = static_cast<std::int32_t>(MAX_HALF_LENGTH * 5000 / h.rate);
    const std::int32_t value1 = h.script->edgyInt32();
    const std::int32_t value2 = h.script->edgyInt32();
    h.editHandle = editHandleFromScript();
    h.queries = 0;
    h.lastQueryOk = false;
    FilterTable record = callbackRecord();
    h.inSaveStart = true;
    check(h.table->saveStartCallback(&record, value1, value2, h.editHandle) == 1, "save start returns 1");
    h.inSaveStart = false;
    if (h.kind == PluginKind::Iir) {
        check(h.queries == 0, "the IIR plug-in asks nothing at save start");
        h.saving = true;
    } else if (h.queries > 0 && h.lastQueryOk && h.recordHasTracks) {
        h.plannedHalfLength = halfLengthFor(track(FIR_TRACK_QUALITY), h.lastRate);
    }
}

void saveEnd(void* editHandle) {
    FilterTable record = callbackRecord();
    check(host->table->saveEndCallback(&record, editHandle) == 1, "save end returns 1");
    host->saving = false;
    host->plannedHalfLength = 0;
}

void exitPlugin() {
    FilterTable record = callbackRecord();
    check(host->table->exitCallback(&record) == 1, "exit returns 1");
    if (host->kind == PluginKind::Fir) host->plannedHalfLength = 0;
}

// The most samples per channel a frame may have so that the FIR
// convolution stays within MAX_FRAME_TAPS.
std::int32_t frameSampleLimit() {
    const std::int64_t taps = 2 * host->plannedHalfLength + 1;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(MAX_FRAME_TAPS / taps, 1, MAX_FRAME_SAMPLES));
}

// True when the plug-in must hand the frame back exactly as it got it
// because it takes the preview path with Gain 100 and no fades.
bool expectsIdentity() {
    Host& h = *host;
    if (h.kind == PluginKind::Iir) {
        const bool preview = !h.saving || track(IIR_TRACK_EFFECT) == 0 || h.lastRate <= 0;
        return preview && track(IIR_TRACK_GAIN) == 100 && track(IIR_TRACK_FADE_IN) <= 0 &&
               track(IIR_TRACK_FADE_OUT) <= 0;
    }
    return track(FIR_TRACK_EFFECT) == 0 && track(FIR_TRACK_GAIN) == 100 && track(FIR_TRACK_FADE_IN) <= 0 &&
           track(FIR_TRACK_FADE_OUT) <= 0;
}

void processFrame() {
    Host& h = *host;
    ByteSource& s = *h.script;
    FrameAudioRecord frame;
    std::memset(&frame, 0x5A, sizeof frame);  // host data the plug-in must not rely on
    frame.frame = s.edgyInt32();
    frame.frameCount = s.edgyInt32();
    frame.editHandle = editHandleFromScript();
    const bool processable = s.byte() % 4 != 0;
    std::size_t length;
    if (processable) {
        frame.channelCount = 1 + static_cast<std::int32_t>(s.byte() % 2);
        frame.sampleCount = 1 + static_cast<std::int32_t>(s.below(static_cast<std::uint32_t>(frameSampleLimit())));
        length = static_cast<std::size_t>(frame.sampleCount) * static_cast<std::size_t>(frame.channelCount);
    } else {
        // Counts the plug-in must not act on (no samples, or other than one
        // or two channels); a small buffer stands behind them.
        frame.channelCount = s.edgyInt32();
        frame.sampleCount = s.edgyInt32();
        if (frame.channelCount >= 1 && frame.channelCount <= 2 && frame.sampleCount > 0)
            frame.sampleCount = -frame.sampleCount;
        length = 16;
    }
    std::unique_ptr<std::int16_t[]> audio;
    if (s.byte() % 16 != 0) audio.reset(new std::int16_t[length]);
    const std::uint32_t seed = s.u16();
    for (std::size_t i = 0; audio && i < length; ++i)
        audio[i] = static_cast<std::int16_t>((seed * 2654435761u + i * 40503u) >> 16);
    frame.audio = audio.get();
    std::vector<std::int16_t> before(audio.get(), audio.get() + (audio ? length : 0));

    h.editHandle = frame.editHandle;
    h.current = &frame;
    h.queries = 0;
    h.lastQueryOk = false;
    FilterTable record = callbackRecord();
    check(h.table->processCallback(&record, &frame) == 1, "processing returns 1");
    h.current = nullptr;

    const bool unchanged = audio == nullptr || std::equal(before.begin(), before.end(), audio.get());
    const bool queried = h.queries > 0 && h.lastQueryOk;
    if (!queried || !h.recordHasTracks || !processable) {
        check(unchanged, "a frame without file information, track values or usable counts is left alone");
        return;
    }
    if (expectsIdentity()) check(unchanged, "the preview path with Gain 100 and no fades changes nothing");
}

void checkTable(const unsigned char* snapshot, GetFilterTableFunction getTable) {
    check(getTable() == host->table, "GetFilterTable returns the same table every time");
    check(std::memcmp(snapshot, host->table, sizeof(FilterTable)) == 0, "the static table is never written");
}

}  // namespace

void playPluginScript(GetFilterTableFunction getTable, PluginKind kind, const std::uint8_t* data,
                      std::size_t size) {
    ByteSource script(data, size);
    Host h;
    h.script = &script;
    h.kind = kind;
    h.table = getTable();
    check(h.table != nullptr && h.table->trackCount == (kind == PluginKind::Iir ? 4 : 5),
          "the table has the plug-in's track count");
    unsigned char snapshot[sizeof(FilterTable)];
    std::memcpy(snapshot, h.table, sizeof snapshot);
    h.tracks.reset(new std::int32_t[static_cast<std::size_t>(h.table->trackCount)]);
    std::copy(h.table->trackDefaults, h.table->trackDefaults + h.table->trackCount, h.tracks.get());
    h.services.queryFileInfo = queryFileInfo;
    h.services.readFrameAudio = readFrameAudio;
    host = &h;

    saveEnd(nullptr);
    exitPlugin();
    while (!script.empty()) {
        switch (script.byte() % OP_COUNT) {
            case OP_SAVE_START: saveStart(); break;
            case OP_FRAME: processFrame(); break;
            case OP_SAVE_END: saveEnd(editHandleFromScript()); break;
            case OP_EXIT: exitPlugin(); break;
            case OP_CONFIGURE: configure(); break;
            default: checkTable(snapshot, getTable); break;
        }
    }
    saveEnd(nullptr);
    exitPlugin();
    checkTable(snapshot, getTable);
    host = nullptr;
}

}  // namespace fuzz
