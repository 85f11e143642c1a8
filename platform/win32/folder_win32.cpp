// Folder names and listings on Win32: paths are resolved and listed by the
// system, whose name matching ignores letter case.
#include "platform/platform.h"
#include "platform/wav_name.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>

namespace platform {

void addSeparator(std::string& folder) {
    char buffer[MAX_PATH];
    if (folder.size() < MAX_PATH) {
        std::memcpy(buffer, folder.c_str(), folder.size() + 1);
        if (PathAddBackslashA(buffer) != nullptr) {
            folder = buffer;
            return;
        }
    }
    // Too long for a path buffer; the system refuses the joined paths later.
    if (folder.empty() || folder.back() != '\\') folder += '\\';
}

bool fileNamePart(const std::string& path, std::string* name) {
    char full[MAX_PATH];
    char* part = nullptr;
    DWORD length = GetFullPathNameA(path.c_str(), MAX_PATH, full, &part);
    if (length == 0 || length >= MAX_PATH || part == nullptr || *part == '\0') return false;
    *name = part;
    return true;
}

bool listWavEntries(const std::string& folder, std::vector<FolderEntry>* entries) {
    entries->clear();
    char pattern[MAX_PATH];
    if (folder.size() + std::strlen("*.wav") >= MAX_PATH) return false;
    wsprintfA(pattern, "%s*.wav", folder.c_str());
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        // No match in a folder that exists is an empty listing.
        if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
        DWORD attributes = GetFileAttributesA(folder.empty() ? "." : folder.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    do {
        // The wildcard "*.wav" also matches the generated short name of a
        // longer extension ("a.wave" as "A~1.WAV"); only names that really
        // end in ".wav" are kept.
        if (!hasWavEnding(found.cFileName)) continue;
        bool isDirectory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entries->push_back(FolderEntry{found.cFileName, isDirectory});
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return true;
}

}  // namespace platform
