#include "qorta/sample_format.h"

#include <sndfile.h>

namespace qorta {

namespace {

struct ContainerName {
    const char* name;
    int major;
    const char* extension;
};

constexpr ContainerName CONTAINERS[] = {
    {"wav", SF_FORMAT_WAV, "wav"},    {"wavex", SF_FORMAT_WAVEX, "wav"}, {"rf64", SF_FORMAT_RF64, "wav"},
    {"w64", SF_FORMAT_W64, "w64"},    {"aiff", SF_FORMAT_AIFF, "aiff"},  {"caf", SF_FORMAT_CAF, "caf"},
    {"au", SF_FORMAT_AU, "au"},       {"flac", SF_FORMAT_FLAC, "flac"},  {"ogg", SF_FORMAT_OGG, "ogg"},
    {"opus", SF_FORMAT_OGG, "opus"},
};

struct SampleName {
    const char* name;
    int subtype;
};

constexpr SampleName SAMPLES[] = {
    {"8", SF_FORMAT_PCM_S8},       {"8", SF_FORMAT_PCM_U8},       {"16", SF_FORMAT_PCM_16},
    {"24", SF_FORMAT_PCM_24},      {"32", SF_FORMAT_PCM_32},      {"float", SF_FORMAT_FLOAT},
    {"double", SF_FORMAT_DOUBLE},  {"vorbis", SF_FORMAT_VORBIS},  {"opus", SF_FORMAT_OPUS},
    {"ulaw", SF_FORMAT_ULAW},      {"alaw", SF_FORMAT_ALAW},      {"ima-adpcm", SF_FORMAT_IMA_ADPCM},
    {"ms-adpcm", SF_FORMAT_MS_ADPCM}, {"gsm610", SF_FORMAT_GSM610}, {"alac16", SF_FORMAT_ALAC_16},
    {"alac20", SF_FORMAT_ALAC_20}, {"alac24", SF_FORMAT_ALAC_24}, {"alac32", SF_FORMAT_ALAC_32},
};

bool writable(int format) {
    SF_INFO info = {};
    info.samplerate = 48000;
    info.channels = 2;
    info.format = format;
    return sf_format_check(&info) != 0;
}

// 8-bit PCM in the container's own signedness.
int eightBit(int major) {
    return writable(major | SF_FORMAT_PCM_U8) && !writable(major | SF_FORMAT_PCM_S8) ? SF_FORMAT_PCM_U8
                                                                                       : SF_FORMAT_PCM_S8;
}

// The subtype a container gets when its name alone is given: the input's
// where it can be written, else the nearest integer width, else float,
// else its first coding.
int keptSubtype(int major, int inputFormat) {
    const int subtype = inputFormat & SF_FORMAT_SUBMASK;
    if (writable(major | subtype)) return subtype;
    const SampleCoding coding = codingOf(inputFormat);
    if (coding.kind == SampleKind::Integer && coding.bits == 8 && writable(major | eightBit(major)))
        return eightBit(major);
    int wanted[] = {SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_FLOAT};
    if (coding.kind == SampleKind::Integer && coding.bits <= 16) wanted[0] = SF_FORMAT_PCM_16;
    if (coding.kind == SampleKind::Coded) wanted[0] = SF_FORMAT_PCM_16;
    for (int candidate : wanted)
        if (writable(major | candidate)) return candidate;
    for (const SampleName& s : SAMPLES)
        if (writable(major | s.subtype)) return s.subtype;
    return 0;
}

}  // namespace

SampleCoding codingOf(int format) {
    SampleCoding coding;
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8:
        coding = {SampleKind::Integer, 8, true};
        break;
    case SF_FORMAT_PCM_S8:
        coding = {SampleKind::Integer, 8, false};
        break;
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_ALAC_16:
        coding = {SampleKind::Integer, 16, false};
        break;
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_ALAC_24:
        coding = {SampleKind::Integer, 24, false};
        break;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_ALAC_32:
        coding = {SampleKind::Integer, 32, false};
        break;
    case SF_FORMAT_FLOAT:
        coding = {SampleKind::Float32, 0, false};
        break;
    case SF_FORMAT_DOUBLE:
        coding = {SampleKind::Float64, 0, false};
        break;
    default:
        break;
    }
    return coding;
}

std::string formatName(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    const int subtype = format & SF_FORMAT_SUBMASK;
    std::string name = "?";
    for (const ContainerName& c : CONTAINERS)
        if (c.major == major) {
            name = c.name;
            break;
        }
    if (major == SF_FORMAT_OGG && subtype == SF_FORMAT_OPUS) return "opus";
    if (major == SF_FORMAT_OGG && subtype == SF_FORMAT_VORBIS) return "ogg";
    if (major == SF_FORMAT_AIFF && subtype != SF_FORMAT_PCM_S8 && subtype != SF_FORMAT_PCM_16 &&
        subtype != SF_FORMAT_PCM_24 && subtype != SF_FORMAT_PCM_32)
        name = "aifc";
    for (const SampleName& s : SAMPLES)
        if (s.subtype == subtype) return name + ":" + s.name;
    return name;
}

int parseFormat(const std::string& text, int inputFormat) {
    const std::size_t colon = text.find(':');
    const std::string container = text.substr(0, colon);
    int major = 0;
    for (const ContainerName& c : CONTAINERS)
        if (container == c.name) major = c.major;
    if (container == "aifc") major = SF_FORMAT_AIFF;
    if (major == 0) return 0;
    int subtype = 0;
    if (colon == std::string::npos) {
        if (container == "opus") subtype = SF_FORMAT_OPUS;
        else if (container == "ogg") subtype = SF_FORMAT_VORBIS;
        else subtype = keptSubtype(major, inputFormat);
    } else {
        const std::string sample = text.substr(colon + 1);
        if (sample == "8") {
            subtype = eightBit(major);
        } else {
            for (const SampleName& s : SAMPLES)
                if (sample == s.name) {
                    subtype = s.subtype;
                    break;
                }
        }
        if (container == "opus" && subtype != SF_FORMAT_OPUS) return 0;
    }
    const int format = major | subtype;
    return subtype != 0 && writable(format) ? format : 0;
}

std::string extensionOf(int format) {
    const int major = format & SF_FORMAT_TYPEMASK;
    if (major == SF_FORMAT_OGG && (format & SF_FORMAT_SUBMASK) == SF_FORMAT_OPUS) return "opus";
    for (const ContainerName& c : CONTAINERS)
        if (c.major == major) return c.extension;
    return "wav";
}

}  // namespace qorta
