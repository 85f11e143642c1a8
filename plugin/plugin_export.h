// The one symbol a plug-in library makes visible to its host.
#ifndef QORTA_PLUGIN_PLUGIN_EXPORT_H
#define QORTA_PLUGIN_PLUGIN_EXPORT_H

#include "plugin/filter_records.h"

#if defined(_WIN32)
#define QORTA_PLUGIN_EXPORT __declspec(dllexport)
#else
#define QORTA_PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

// Returns the address of the plug-in's static filter table, the same on
// every call; no other effect. Exported with C linkage under its plain name.
extern "C" QORTA_PLUGIN_EXPORT FilterTable* GetFilterTable(void);

#endif
