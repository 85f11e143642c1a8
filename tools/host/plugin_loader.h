// Loading an audio filter plug-in file the way the host editor does: open
// the shared library and ask its only export for the filter table.
#ifndef QORTA_TOOLS_HOST_PLUGIN_LOADER_H
#define QORTA_TOOLS_HOST_PLUGIN_LOADER_H

#include <string>

#include "plugin/filter_records.h"

namespace host {

struct LoadedPlugin {
    void* library = nullptr;       // the open shared library (module handle on Windows)
    FilterTable* table = nullptr;  // what GetFilterTable returned
};

// Opens the plug-in file `path` (a name without a directory is taken from
// the current directory) and calls its GetFilterTable. Returns 0 and fills
// `*plugin` on success; returns -1 and describes the fault in `*error` when
// the file does not load, has no GetFilterTable, or that returns no table.
int loadPlugin(const char* path, LoadedPlugin* plugin, std::string* error);

// The address of the export `name` of a loaded plug-in, or null when it has
// none.
void* findExport(const LoadedPlugin& plugin, const char* name);

// Closes the library; the table must not be used afterwards. Does nothing
// for a plug-in that is not loaded.
void unloadPlugin(LoadedPlugin* plugin);

}  // namespace host

#endif
