// Writes the seed corpora of the fuzz targets: small WAV files made with the
// test suite's WAV builder (well-formed ones of every supported kind and
// the malformed kinds the reader refuses), host scripts for the plug-in
// targets (save runs, previews, failing services), and scripts of the
// hostile LV2 and LADSPA host.
//
// Usage: make_seeds FOLDER — writes FOLDER/wav_header, FOLDER/qortaiir_file,
// FOLDER/qortafir_file, FOLDER/qortaiir_plugin, FOLDER/qortafir_plugin and
// FOLDER/stream_plugins.
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "fuzz/plugin_host.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

namespace {

using testsupport::Bytes;
using testsupport::WavLayout;

struct Seed {
    std::string name;
    Bytes bytes;
};

// Sizes are chosen so that the fuzz build's blocks of 1024 frames are
// crossed and the FIR kernel (Quality 100: N = rate / 50) fits its window.
std::vector<Seed> wavSeeds() {
    using namespace testsupport;
    std::vector<Seed> seeds;
    auto add = [&](const std::string& name, const WavLayout& l) { seeds.push_back({name, buildWav(l)}); };
    add("stereo16-8000.wav", pcmLayout(2, 8000, 16, sine16(1500, 2, 8000, 50, 20000, 300)));
    add("mono8-11025.wav", pcmLayout(1, 11025, 8, sine8(2600, 1, 11025, 60, 100, 4)));
    add("mono16-12000.wav", pcmLayout(1, 12000, 16, noiseBytes(1400, 7)));
    add("stereo8-10hz.wav", pcmLayout(2, 10, 8, noiseBytes(60, 3)));
    WavLayout l = pcmLayout(2, 8000, 16, sine16(300, 2, 8000, 80, 32767, 0));
    l.fmtBodySize = 18;
    add("fmt18.wav", l);
    l = pcmLayout(1, 8000, 8, sine8(200, 1, 8000, 80, 127, 0));
    l.fmtBodySize = 14;
    add("fmt14.wav", l);
    l = pcmLayout(2, 8000, 16, Bytes(64, 1));
    l.formatTag = 0xFFFE;
    l.fmtBodySize = 40;
    l.cbSize = 22;
    add("extensible.wav", l);
    l = pcmLayout(1, 8000, 16, noiseBytes(500, 11));
    l.afterFmt.push_back(chunk("LIST", Bytes(13, 'x')));
    l.afterFmt.back().padOdd = true;
    l.afterFmt.push_back(chunk("fact", Bytes(4, 0)));
    add("list-odd-pad.wav", l);
    l.afterFmt.front().padOdd = false;  // as older writers leave it
    add("list-odd-unpadded.wav", l);
    l = pcmLayout(2, 8000, 16, noiseBytes(400, 5));
    l.dataSizeField = 4000;
    add("data-longer-than-file.wav", l);
    l = pcmLayout(2, 8000, 16, noiseBytes(403, 9));
    add("partial-frame.wav", l);
    add("empty-data.wav", pcmLayout(1, 8000, 8, Bytes()));
    add("three-channels.wav", pcmLayout(3, 8000, 16, noiseBytes(120, 1)));
    l = pcmLayout(0, 8000, 16, noiseBytes(40, 1));
    l.blockAlign = 4;
    add("zero-channels.wav", l);
    add("rate9.wav", pcmLayout(1, 9, 8, noiseBytes(20, 2)));
    add("bits24.wav", pcmLayout(1, 8000, 24, noiseBytes(60, 2)));
    l = pcmLayout(1, 8000, 16, Bytes(40, 0));
    l.beforeFmt.push_back(chunk("JUNK", Bytes(6, 0)));
    add("junk-before-fmt.wav", l);
    l = pcmLayout(1, 8000, 32, Bytes(40, 0));
    l.formatTag = 3;
    add("float.wav", l);
    return seeds;
}

// Builds a host script in the format the plug-in host reads.
class Script {
public:
    explicit Script(bool fir) : fir_(fir) {}
    Script& op(fuzz::ScriptOp o) { return byte(o); }
    Script& byte(std::uint8_t b) {
        bytes_.push_back(b);
        return *this;
    }
    Script& u16(std::uint16_t v) { return byte(static_cast<std::uint8_t>(v)).byte(static_cast<std::uint8_t>(v >> 8)); }
    Script& u32(std::uint32_t v) { return u16(static_cast<std::uint16_t>(v)).u16(static_cast<std::uint16_t>(v >> 16)); }
    // An int32 as the host's edgyInt32 reads it.
    Script& int32(std::int32_t v) {
        if (v == 0) return byte(0);
        if (v == 1) return byte(1);
        if (v == -1) return byte(2);
        if (v >= 0 && v <= 0xFFFF) return byte(6).u16(static_cast<std::uint16_t>(v));
        return byte(7).u32(static_cast<std::uint32_t>(v));
    }
    // Track values, sampling rate and every service present.
    Script& configure(const std::vector<std::int32_t>& tracks, std::int32_t rate) {
        op(fuzz::OP_CONFIGURE);
        for (std::int32_t t : tracks) int32(t);
        return int32(rate).byte(0xFF);
    }
    // Save start; the FIR plug-in's query at its start answers `queryMode`
    // (0 fails, 2 succeeds with the configured rate).
    Script& saveStart(std::uint8_t queryMode = 2) {
        op(fuzz::OP_SAVE_START).int32(0).int32(0).u32(7);
        return fir_ ? byte(queryMode) : *this;
    }
    // A frame of `samples` samples per channel; the query answers
    // `queryMode`, then each neighbour read answers a whole frame.
    Script& frame(std::int32_t number, std::int32_t count, std::int32_t channels, std::int32_t samples,
                  int neighbourReads = 0, std::uint8_t queryMode = 2) {
        op(fuzz::OP_FRAME).int32(number).int32(count).u32(7).byte(1).byte(static_cast<std::uint8_t>(channels - 1));
        u16(static_cast<std::uint16_t>(samples - 1)).byte(1).u16(static_cast<std::uint16_t>(number * 31 + 5));
        byte(queryMode);
        for (int i = 0; i < neighbourReads; ++i) byte(4);
        return *this;
    }
    Script& saveEnd() { return op(fuzz::OP_SAVE_END).u32(7); }
    Script& exit() { return op(fuzz::OP_EXIT); }
    Script& table() { return op(fuzz::OP_TABLE); }
    const Bytes& bytes() const { return bytes_; }

private:
    bool fir_;
    Bytes bytes_;
};

std::vector<Seed> iirScripts() {
    std::vector<Seed> seeds;
    Script save(false);
    save.configure({100, 100, 0, 0}, 44100).saveStart();
    for (int k = 0; k < 4; ++k) save.frame(k, 4, 2, 1470);
    save.saveEnd().exit().table();
    seeds.push_back({"save-stereo", save.bytes()});
    Script fades(false);
    fades.configure({50, 150, 2, 2}, 48000).saveStart();
    for (int k = 0; k < 4; ++k) fades.frame(k, 4, 1, 1600);
    fades.saveEnd();
    seeds.push_back({"save-mono-fades", fades.bytes()});
    Script preview(false);
    preview.configure({100, 200, 3, 0}, 44100);
    for (int k = 0; k < 3; ++k) preview.frame(k, 10, 2, 735, 0, k == 1 ? 0 : 2);
    seeds.push_back({"preview-failing-query", preview.bytes()});
    return seeds;
}

std::vector<Seed> firScripts() {
    std::vector<Seed> seeds;
    // N = 160 at 8000 Hz: one neighbour on each side but at the edit's ends.
    Script save(true);
    save.configure({100, 100, 100, 0, 0}, 8000).saveStart();
    save.frame(0, 3, 2, 267, 1).frame(1, 3, 2, 267, 2).frame(2, 3, 2, 266, 1);
    save.saveEnd().exit();
    seeds.push_back({"save-stereo", save.bytes()});
    // N = 2880 at 48000 Hz with frames of 300: context from ten frames on
    // each side.
    Script wide(true);
    wide.configure({300, 100, 100, 1, 1}, 48000).saveStart();
    wide.frame(0, 30, 1, 300, 10).frame(12, 30, 1, 300, 20).frame(29, 30, 1, 300, 10);
    wide.saveEnd().table();
    seeds.push_back({"save-wide-kernel", wide.bytes()});
    // The query fails at save start: no kernel, preview with gain.
    Script failing(true);
    failing.configure({100, 100, 150, 0, 0}, 8000).saveStart(0).frame(1, 3, 2, 267).exit();
    seeds.push_back({"save-start-query-fails", failing.bytes()});
    return seeds;
}

// Scripts of the hostile LV2 and LADSPA host (fuzz/stream_plugins_target.cpp):
// a header (standard, plug-in, rate, activation), then operations.
class StreamScript {
public:
    StreamScript(bool lv2, std::uint8_t kind, std::uint8_t rateChoice, bool activate) {
        bytes_ = {static_cast<std::uint8_t>(lv2), kind, rateChoice, static_cast<std::uint8_t>(activate)};
    }
    StreamScript& control(std::uint8_t which, std::uint8_t level) { return add({0, which, 100, 0, level}); }
    StreamScript& disconnect(std::uint8_t which) { return add({0, which, 0}); }
    StreamScript& activate() { return add({1}); }
    StreamScript& wire(std::uint8_t wiring) { return add({2, wiring}); }  // separate, in place, crossed, shared
    // A run of `frames` (< 600) at level 2^(level - 140) with the hostile
    // values `specials` (edgy-float choices) at `at` in the first channel.
    StreamScript& run(std::uint16_t frames, std::uint8_t level, std::vector<std::uint8_t> specials = {},
                      std::uint16_t at = 7) {
        add({3, 0, static_cast<std::uint8_t>(frames), static_cast<std::uint8_t>(frames >> 8)});
        if (frames == 0) return *this;
        add({level, 97, 0, static_cast<std::uint8_t>(specials.size())});
        for (std::uint8_t special : specials) add({static_cast<std::uint8_t>(at), static_cast<std::uint8_t>(at >> 8), special});
        return add({0, 0});  // no specials in the second channel (when there is one)
    }
    // A run of 8192 frames.
    StreamScript& longRun(std::uint8_t level) { return add({3, 255, 0x00, 0x20, level, 97, 0, 0, 0}); }
    const Bytes& bytes() const { return bytes_; }

private:
    StreamScript& add(std::initializer_list<std::uint8_t> more) {
        bytes_.insert(bytes_.end(), more);
        return *this;
    }
    Bytes bytes_;
};

// Rate choices: 80 is 44100 Hz, 96 48000 Hz, 160 1 MHz, 176 0 Hz (refused),
// 0 1 Hz. Edgy floats: 1 +inf, 2 -inf, 0 NaN, 3 the largest float, 6 a
// subnormal.
std::vector<Seed> streamScripts() {
    std::vector<Seed> seeds;
    seeds.push_back({"lv2-iir-stereo-crossed-inf",
                     StreamScript(true, 1, 80, true).wire(2).run(512, 139, {1}).run(512, 139).longRun(139).bytes()});
    seeds.push_back({"ladspa-fir-mono-extremes",
                     StreamScript(false, 2, 96, false).control(2, 40).run(300, 139, {3, 2}).run(599, 139).longRun(130)
                         .bytes()});
    seeds.push_back({"lv2-fir-stereo-shared-1mhz",
                     StreamScript(true, 3, 160, true).control(2, 255).wire(3).run(599, 139, {0, 6}).longRun(139)
                         .bytes()});
    seeds.push_back({"ladspa-iir-mono-tiny-then-loud",
                     StreamScript(false, 0, 80, true).run(599, 0).run(599, 2).activate().run(599, 159, {3}).bytes()});
    seeds.push_back({"lv2-iir-stereo-controls-change",
                     StreamScript(true, 1, 0, true).control(0, 255).run(100, 139).control(1, 10).disconnect(3)
                         .run(599, 139, {2}).wire(1).run(0, 0).run(599, 139).bytes()});
    seeds.push_back({"ladspa-rate-refused", StreamScript(false, 3, 176, true).run(100, 139).bytes()});
    return seeds;
}

bool writeSeeds(const std::string& folder, const std::vector<Seed>& seeds) {
    mkdir(folder.c_str(), 0777);
    for (const Seed& seed : seeds)
        if (!testsupport::writeBytes(folder + "/" + seed.name, seed.bytes)) return false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    const std::string root = argv[1];
    mkdir(root.c_str(), 0777);
    const std::vector<Seed> wavs = wavSeeds();
    bool ok = writeSeeds(root + "/wav_header", wavs) && writeSeeds(root + "/qortaiir_file", wavs) &&
              writeSeeds(root + "/qortafir_file", wavs) && writeSeeds(root + "/qortaiir_plugin", iirScripts()) &&
              writeSeeds(root + "/qortafir_plugin", firScripts()) &&
              writeSeeds(root + "/stream_plugins", streamScripts());
    if (!ok) std::fprintf(stderr, "cannot write the seeds under %s\n", root.c_str());
    return ok ? 0 : 1;
}
