// Fuzz target: the callbacks of qortafir.auf driven by a hostile host.
#include "fuzz/plugin_host.h"
#include "plugin/plugin_export.h"

// Allocations beyond 32 MiB fail instead of ending the run, so that huge
// sampling rates reach the plug-in's handling of a failed allocation.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=32"; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::playPluginScript(GetFilterTable, fuzz::PluginKind::Fir, data, size);
    return 0;
}
