// The filter table a plug-in hands to its host: the values both plug-ins
// share, filled in around the ones that make each plug-in itself.
#ifndef QORTA_PLUGIN_FILTER_TABLE_H
#define QORTA_PLUGIN_FILTER_TABLE_H

#include <cstdint>

#include "plugin/filter_records.h"

namespace plugin {

// What differs between the plug-ins' tables.
struct FilterIdentity {
    const char* name;               // display name
    std::int32_t trackCount;
    const char* const* trackNames;  // trackCount names
    const std::int32_t* trackDefaults;
    const char* informationText;    // Shift-JIS
    ProcessCallback processCallback;
    ExitCallback exitCallback;
    SaveStartCallback saveStartCallback;
    SaveEndCallback saveEndCallback;
};

// The table for `identity`: flags 0x00240800 (bits 11, 18 and 21), no
// track bounds, and every slot not named 0. The host's track values and
// services stay 0 here; the host sets them in the record it hands over.
constexpr FilterTable makeFilterTable(const FilterIdentity& identity) {
    FilterTable table = {};
    table.flags = 0x00240800;
    table.name = identity.name;
    table.trackCount = identity.trackCount;
    table.trackNames = identity.trackNames;
    table.trackDefaults = identity.trackDefaults;
    table.processCallback = identity.processCallback;
    table.exitCallback = identity.exitCallback;
    table.informationText = identity.informationText;
    table.saveStartCallback = identity.saveStartCallback;
    table.saveEndCallback = identity.saveEndCallback;
    return table;
}

}  // namespace plugin

#endif
