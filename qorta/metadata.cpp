#include "qorta/metadata.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>

#include "qorta/sample_format.h"

namespace qorta {

namespace {

// A bext record with room for a long coding history.
typedef SF_BROADCAST_INFO_VAR(16000) BextRecord;
// A cart record with room for a long tag text.
typedef SF_CART_INFO_VAR(16000) CartRecord;

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

const char* modeOf(int channels) {
    if (channels == 1) return "mono";
    if (channels == 2) return "stereo";
    return "multichannel";
}

}  // namespace

std::string codingHistoryLine(const Settings& s, int outputFormat, int sampleRate, int channels) {
    const SampleCoding coding = codingOf(outputFormat);
    std::string line = "A=" + (coding.kind == SampleKind::Coded ? formatName(outputFormat) : std::string("PCM"));
    line += ",F=" + std::to_string(sampleRate);
    if (coding.kind == SampleKind::Integer) line += ",W=" + std::to_string(coding.bits);
    else if (coding.kind == SampleKind::Float32) line += ",W=32";
    else if (coding.kind == SampleKind::Float64) line += ",W=64";
    line += std::string(",M=") + modeOf(channels);
    line += ",T=qorta " + std::string(s.corrector == CorrectorKind::Fir ? "FIR" : "IIR") + " bass correction";
    line += "; effect " + number(s.effect) + "%; gain " + number(s.gain) + "%";
    if (s.corrector == CorrectorKind::Fir) line += "; quality " + std::to_string(s.quality);
    if (s.fadeIn > 0) line += "; fade-in " + std::to_string(s.fadeIn) + " ms";
    if (s.fadeOut > 0) line += "; fade-out " + std::to_string(s.fadeOut) + " ms";
    if (s.peakSet) line += "; peak " + number(s.peakDb) + " dBFS";
    line += "\r\n";
    return line;
}

void copyMetadata(SNDFILE* in, SNDFILE* out, const Settings& settings, int outputFormat, int sampleRate,
                  int channels) {
    for (int id = SF_STR_FIRST; id <= SF_STR_LAST; ++id) {
        const char* text = sf_get_string(in, id);
        if (text != nullptr && *text != '\0') sf_set_string(out, id, text);
    }

    // bext: kept, with the correction added to its history. Only a file
    // that had one gets one.
    auto bext = std::make_unique<BextRecord>();
    std::memset(bext.get(), 0, sizeof *bext);
    if (sf_command(in, SFC_GET_BROADCAST_INFO, bext.get(), sizeof *bext) == SF_TRUE) {
        std::string history(bext->coding_history, strnlen(bext->coding_history, bext->coding_history_size));
        if (!history.empty() && history.back() != '\n') history += "\r\n";
        history += codingHistoryLine(settings, outputFormat, sampleRate, channels);
        if (history.size() < sizeof bext->coding_history) {
            std::memcpy(bext->coding_history, history.data(), history.size());
            bext->coding_history[history.size()] = '\0';
            bext->coding_history_size = static_cast<std::uint32_t>(history.size());
        }
        // libsndfile takes the record's size as it is used, up to 16 KiB.
        const std::size_t used = offsetof(BextRecord, coding_history) + bext->coding_history_size + 1;
        sf_command(out, SFC_SET_BROADCAST_INFO, bext.get(),
                   static_cast<int>(std::max(used, sizeof(SF_BROADCAST_INFO))));
    }

    // The sampler's loops (smpl, AIFF INST) and the broadcast cart chunk.
    SF_INSTRUMENT instrument;
    std::memset(&instrument, 0, sizeof instrument);
    if (sf_command(in, SFC_GET_INSTRUMENT, &instrument, sizeof instrument) == SF_TRUE)
        sf_command(out, SFC_SET_INSTRUMENT, &instrument, sizeof instrument);
    auto cart = std::make_unique<CartRecord>();
    std::memset(cart.get(), 0, sizeof *cart);
    if (sf_command(in, SFC_GET_CART_INFO, cart.get(), sizeof *cart) == SF_TRUE) {
        const std::size_t used = offsetof(CartRecord, tag_text) + std::min<std::size_t>(cart->tag_text_size, 15999) + 1;
        sf_command(out, SFC_SET_CART_INFO, cart.get(), static_cast<int>(std::max(used, sizeof(SF_CART_INFO))));
    }

    std::uint32_t cueCount = 0;
    if (sf_command(in, SFC_GET_CUE_COUNT, &cueCount, sizeof cueCount) == SF_TRUE && cueCount > 0) {
        auto cues = std::make_unique<SF_CUES>();
        if (sf_command(in, SFC_GET_CUE, cues.get(), sizeof *cues) == SF_TRUE)
            sf_command(out, SFC_SET_CUE, cues.get(), sizeof *cues);
    }
}

}  // namespace qorta
