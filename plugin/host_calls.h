// Calls into the host's service table, tolerant of a record that carries
// no table or no entry.
#ifndef QORTA_PLUGIN_HOST_CALLS_H
#define QORTA_PLUGIN_HOST_CALLS_H

#include "plugin/filter_records.h"

namespace plugin {

// Asks the host for the file information of the edit `editHandle`. Returns
// true when the host filled `*info`; false when it reported failure or when
// `filter` carries no service table or no query service.
inline bool queryFileInfo(const FilterTable& filter, void* editHandle, FileInfoRecord* info) {
    const HostServices* services = filter.hostServices;
    if (services == nullptr || services->queryFileInfo == nullptr) return false;
    return services->queryFileInfo(editHandle, info) != 0;
}

// True when `frame` describes audio the plug-ins can rewrite: one or two
// channels. A frame with more channels than the state holds is left as it is.
inline bool channelsSupported(const FrameAudioRecord& frame) {
    return frame.channelCount >= 1 && frame.channelCount <= 2;
}

}  // namespace plugin

#endif
