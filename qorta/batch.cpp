#include "qorta/batch.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <utility>

namespace qorta {

namespace {

struct Found {
    std::string path;
    std::string relative;  // below the folder argument, for -o DIR; the base name for files
    bool fromFolder = false;
};

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string baseOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string join(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// The audio files of `folder` sorted by name, then with -r those of its
// sub-folders, each sorted the same way. Hidden entries (names starting
// with a dot, the temporary files among them) are skipped.
void listFolder(const std::string& folder, const std::string& relative, bool recursive, std::vector<Found>* found) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> files, folders;
    while (dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;
        const std::string path = join(folder, name);
        if (isFolder(path)) folders.push_back(name);
        else if (audioFileName(name)) files.push_back(name);
    }
    closedir(dir);
    std::sort(files.begin(), files.end());
    std::sort(folders.begin(), folders.end());
    for (const std::string& name : files) found->push_back({join(folder, name), join(relative, name), true});
    if (recursive)
        for (const std::string& name : folders) listFolder(join(folder, name), join(relative, name), true, found);
}

struct Identity {
    dev_t device;
    ino_t inode;
    bool operator<(const Identity& o) const { return device != o.device ? device < o.device : inode < o.inode; }
};

bool identityOf(const std::string& path, Identity* id) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    *id = {st.st_dev, st.st_ino};
    return true;
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string replaceExtension(const std::string& name, const std::string& extension) {
    if (extension.empty()) return name;
    const std::size_t dot = name.rfind('.');
    const std::size_t slash = name.rfind('/');
    const bool has = dot != std::string::npos && (slash == std::string::npos || dot > slash) && dot > 0 &&
                     (slash == std::string::npos || dot > slash + 1);
    return (has ? name.substr(0, dot) : name) + "." + extension;
}

}  // namespace

bool audioFileName(const std::string& name) {
    static const char* const EXTENSIONS[] = {"wav", "wave", "bwf", "rf64", "w64", "aif", "aiff", "aifc", "flac",
                                             "ogg", "oga",  "opus", "caf", "au",  "snd"};
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    const std::string extension = lower(name.substr(dot + 1));
    for (const char* e : EXTENSIONS)
        if (extension == e) return true;
    return false;
}

std::string besideName(const std::string& path, const std::string& extension) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    const bool has = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string stem = has ? path.substr(0, dot) : path;
    const std::string ending = !extension.empty() ? "." + extension : has ? path.substr(dot) : ".wav";
    return stem + "_b" + ending;
}

std::vector<PlannedPair> planBatch(const BatchRequest& request, std::string* problem) {
    std::vector<Found> found;
    bool anyFolder = false;
    for (const std::string& argument : request.arguments) {
        if (argument != "-" && isFolder(argument)) {
            anyFolder = true;
            std::vector<Found> listed;
            listFolder(argument, "", request.recursive, &listed);
            // The outputs of an earlier run (NAME_b.EXT next to NAME.EXT,
            // of any extension) are not inputs again.
            for (const Found& f : listed) {
                {
                    const std::size_t dot = f.path.rfind('.');
                    const std::string stem = f.path.substr(0, dot);
                    if (stem.size() > 2 && stem.compare(stem.size() - 2, 2, "_b") == 0) {
                        const std::string original = stem.substr(0, stem.size() - 2) + f.path.substr(dot);
                        bool sibling = false;
                        for (const Found& g : listed)
                            if (g.path == original ||
                                (g.path.rfind('.') != std::string::npos &&
                                 g.path.substr(0, g.path.rfind('.')) == stem.substr(0, stem.size() - 2)))
                                sibling = true;
                        if (sibling) continue;
                    }
                }
                found.push_back(f);
            }
        } else {
            found.push_back({argument, argument == "-" ? "-" : baseOf(argument), false});
        }
    }
    if (request.arguments.empty()) {
        *problem = "no input: name files or folders (see qorta --help)";
        return {};
    }
    const bool toFolder = !request.output.empty() && request.output != "-" &&
                          (isFolder(request.output) || request.output.back() == '/' || found.size() > 1 || anyFolder);
    if (!request.output.empty() && request.output != "-" && (found.size() > 1 || anyFolder) &&
        !isFolder(request.output) && exists(request.output)) {
        *problem = "-o " + request.output + " is not a folder, but there are several inputs";
        return {};
    }
    if (request.output == "-" && found.size() > 1) {
        *problem = "-o - writes one output to standard output, but there are " + std::to_string(found.size()) +
                   " inputs";
        return {};
    }

    std::vector<PlannedPair> pairs;
    std::map<Identity, std::string> inputIds;
    for (const Found& f : found) {
        Identity id;
        if (f.path != "-" && identityOf(f.path, &id)) inputIds.emplace(id, f.path);
    }
    std::map<std::string, std::string> outputs;  // output path -> the input that has it
    for (const Found& f : found) {
        PlannedPair pair;
        pair.input = f.path;
        if (request.output.empty()) {
            pair.output = f.path == "-" ? "-" : besideName(f.path, request.extension);
        } else if (toFolder) {
            const std::string relative = f.path == "-" ? "stdin.wav" : f.relative;
            pair.output = join(request.output, replaceExtension(relative, request.extension));
            if (relative.find('/') != std::string::npos) pair.outputRoot = request.output;
        } else {
            pair.output = request.output;
        }
        if (pair.output != "-") {
            Identity id;
            if (identityOf(pair.output, &id) && inputIds.count(id) != 0) {
                pair.refusal = "the output " + pair.output + " is an input of this run (" + inputIds[id] + ")";
            } else if (outputs.count(pair.output) != 0) {
                pair.refusal = "the output " + pair.output + " is already the output of " + outputs[pair.output];
            } else if (!request.overwrite && exists(pair.output)) {
                pair.refusal = pair.output + " exists and is kept (use --overwrite to replace it)";
            }
            if (pair.refusal.empty()) outputs.emplace(pair.output, f.path);
        }
        pairs.push_back(pair);
    }
    return pairs;
}

}  // namespace qorta
