#include "tools/host/plugin_loader.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace host {
namespace {

#ifdef _WIN32
// LoadLibraryA searches the program's folder and the system folders for a
// bare name; the host takes a bare name from the current folder instead.
std::string localName(const char* path) {
    std::string file = path;
    if (file.find_first_of("\\/:") == std::string::npos) file = ".\\" + file;
    return file;
}

void* openLibrary(const char* path, std::string* reason) {
    HMODULE library = LoadLibraryA(localName(path).c_str());
    if (library == nullptr) *reason = "error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(library);
}

void closeLibrary(void* library) { FreeLibrary(reinterpret_cast<HMODULE>(library)); }
#else
std::string localName(const char* path) {
    std::string file = path;
    if (file.find('/') == std::string::npos) file = "./" + file;
    return file;
}

void* openLibrary(const char* path, std::string* reason) {
    void* library = dlopen(localName(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* text = dlerror();
        *reason = text != nullptr ? text : "unknown error";
    }
    return library;
}

void closeLibrary(void* library) { dlclose(library); }
#endif

}  // namespace

void* findExport(const LoadedPlugin& plugin, const char* name) {
    if (plugin.library == nullptr) return nullptr;
#ifdef _WIN32
    return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(plugin.library), name));
#else
    return dlsym(plugin.library, name);
#endif
}

int loadPlugin(const char* path, LoadedPlugin* plugin, std::string* error) {
    std::string reason;
    LoadedPlugin loaded;
    loaded.library = openLibrary(path, &reason);
    if (loaded.library == nullptr) {
        *error = "cannot load plug-in " + std::string(path) + ": " + reason;
        return -1;
    }
    auto getFilterTable = reinterpret_cast<GetFilterTableFunction>(findExport(loaded, "GetFilterTable"));
    if (getFilterTable == nullptr) {
        closeLibrary(loaded.library);
        *error = std::string(path) + " is not a filter plug-in: it has no GetFilterTable";
        return -1;
    }
    FilterTable* table = getFilterTable();
    if (table == nullptr) {
        closeLibrary(loaded.library);
        *error = std::string(path) + ": GetFilterTable returned no table";
        return -1;
    }
    plugin->library = loaded.library;
    plugin->table = table;
    return 0;
}

void unloadPlugin(LoadedPlugin* plugin) {
    if (plugin->library != nullptr) closeLibrary(plugin->library);
    plugin->library = nullptr;
    plugin->table = nullptr;
}

}  // namespace host
