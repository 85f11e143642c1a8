#include "tools/host/plugin_loader.h"

#include <dlfcn.h>

namespace host {

int loadPlugin(const char* path, LoadedPlugin* plugin, std::string* error) {
    std::string file = path;
    if (file.find('/') == std::string::npos) file = "./" + file;
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        *error = "cannot load plug-in " + std::string(path) + ": " + (reason != nullptr ? reason : "unknown error");
        return -1;
    }
    auto getFilterTable = reinterpret_cast<GetFilterTableFunction>(dlsym(library, "GetFilterTable"));
    if (getFilterTable == nullptr) {
        dlclose(library);
        *error = std::string(path) + " is not a filter plug-in: it has no GetFilterTable";
        return -1;
    }
    FilterTable* table = getFilterTable();
    if (table == nullptr) {
        dlclose(library);
        *error = std::string(path) + ": GetFilterTable returned no table";
        return -1;
    }
    plugin->library = library;
    plugin->table = table;
    return 0;
}

void unloadPlugin(LoadedPlugin* plugin) {
    if (plugin->library != nullptr) dlclose(plugin->library);
    plugin->library = nullptr;
    plugin->table = nullptr;
}

}  // namespace host
