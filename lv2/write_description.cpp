// Writes the LV2 bundle's descriptions, manifest.ttl and qorta.ttl, from the
// plug-in kinds and their port descriptions (hostglue/plugin_kinds.h), so
// that an index, a range or a default cannot differ from what the library
// does. Run by the build: write_description MANIFEST QORTA_TTL.
// The stereo kinds put their audio ports in stereo port groups (left and
// right designated), by which hosts such as GStreamer pair them.
#include <cstdio>
#include <string>

#include "hostglue/plugin_kinds.h"

namespace {

using hostglue::PluginKind;
using hostglue::PortInfo;
using hostglue::PortType;

// A control value as the description writes it: whole numbers of integer
// and toggled ports without a fraction, others with one decimal at least.
std::string number(float value, bool whole) {
    char text[64];
    std::snprintf(text, sizeof text, whole ? "%.0f" : "%.9g", static_cast<double>(value));
    std::string written = text;
    if (!whole && written.find_first_of(".e") == std::string::npos) written += ".0";
    return written;
}

// The URI of the kind's input or output port group.
std::string groupUri(const PluginKind& kind, bool input) {
    return std::string("<") + kind.lv2Uri + (input ? "#in>" : "#out>");
}

std::string portText(const PluginKind& kind, int index) {
    const PortInfo port = hostglue::portInfo(kind, index);
    const bool audio = port.type == PortType::AudioIn || port.type == PortType::AudioOut;
    const bool input = port.type == PortType::AudioIn || port.type == PortType::Control;
    std::string text = "    [\n        a ";
    text += input ? "lv2:InputPort, " : "lv2:OutputPort, ";
    text += audio ? "lv2:AudioPort ;\n" : "lv2:ControlPort ;\n";
    text += "        lv2:index " + std::to_string(index) + " ;\n";
    text += std::string("        lv2:symbol \"") + port.symbol + "\" ;\n";
    text += std::string("        lv2:name \"") + port.name + "\"";
    if (audio && kind.channels == 2) {
        text += " ;\n        pg:group " + groupUri(kind, port.type == PortType::AudioIn) + " ;\n";
        text += port.channel == 0 ? "        lv2:designation pg:left" : "        lv2:designation pg:right";
    }
    if (!audio) {
        const bool whole = port.integer || port.toggled;
        if (port.type == PortType::Latency) {
            text += " ;\n        lv2:designation lv2:latency ;\n        lv2:portProperty lv2:reportsLatency, lv2:integer";
        } else {
            text += " ;\n        lv2:default " + number(port.defaultValue, whole);
        }
        text += " ;\n        lv2:minimum " + number(port.minimum, whole);
        text += " ;\n        lv2:maximum " + number(port.maximum, whole);
        if (port.type == PortType::Control && port.integer) text += " ;\n        lv2:portProperty lv2:integer";
        if (port.toggled) text += " ;\n        lv2:portProperty lv2:toggled";
        if (port.unit) text += std::string(" ;\n        units:unit units:") + port.unit;
    }
    return text + "\n    ]";
}

std::string kindText(const PluginKind& kind) {
    std::string text = std::string("<") + kind.lv2Uri + ">\n";
    text += "    a lv2:Plugin, lv2:FilterPlugin ;\n";
    text += std::string("    doap:name \"") + kind.name + "\" ;\n";
    text += std::string("    rdfs:comment \"") + hostglue::kindComment(kind) + "\" ;\n";
    text += "    lv2:optionalFeature lv2:hardRTCapable ;\n";
    if (kind.channels == 2)
        text += "    pg:mainInput " + groupUri(kind, true) + " ;\n    pg:mainOutput " + groupUri(kind, false) + " ;\n";
    text += "    lv2:port\n";
    const int count = hostglue::portLayout(kind).count;
    for (int index = 0; index < count; ++index) text += portText(kind, index) + (index + 1 < count ? " ,\n" : " .\n");
    if (kind.channels == 2)
        for (bool input : {true, false}) {
            text += "\n" + groupUri(kind, input) + "\n";
            text += input ? "    a pg:InputGroup, pg:StereoGroup ;\n" : "    a pg:OutputGroup, pg:StereoGroup ;\n";
            text += input ? "    lv2:symbol \"in\" ;\n    rdfs:label \"In\" .\n"
                          : "    lv2:symbol \"out\" ;\n    rdfs:label \"Out\" .\n";
        }
    return text;
}

bool writeFile(const char* path, const std::string& text) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: write_description MANIFEST QORTA_TTL\n");
        return 2;
    }
    std::string manifest =
        "# The four plug-ins of the bundle; their ports are described in qorta.ttl.\n"
        "# Written by the build from hostglue/plugin_kinds.cpp.\n"
        "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
        "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n";
    std::string description =
        "# The bass correctors as LV2 plug-ins, written by the build from the port\n"
        "# descriptions in hostglue/plugin_kinds.cpp, which the LADSPA plug-ins share:\n"
        "# audio inputs, audio outputs, Effect, Gain, Quality (FIR), DC removal,\n"
        "# latency (FIR).\n"
        "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
        "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
        "@prefix pg:    <http://lv2plug.in/ns/ext/port-groups#> .\n"
        "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
        "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n";
    for (const PluginKind& kind : hostglue::PLUGIN_KINDS) {
        manifest += std::string("\n<") + kind.lv2Uri + ">\n    a lv2:Plugin ;\n    lv2:binary <qorta.so> ;\n" +
                    "    rdfs:seeAlso <qorta.ttl> .\n";
        description += "\n" + kindText(kind);
    }
    if (!writeFile(argv[1], manifest) || !writeFile(argv[2], description)) {
        std::fprintf(stderr, "write_description: cannot write %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
