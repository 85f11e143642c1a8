#include "tests/support/program_runner.h"

#include <sys/stat.h>

#include <cstdlib>
#include <regex>

namespace testsupport {

std::string findTool(const std::string& tool) {
    const char* path = std::getenv("PATH");
    std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = dirs.substr(start, end - start) + "/" + tool;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0111) != 0)
            return candidate;
        start = end + 1;
    }
    return "";
}

std::string normaliseElapsed(const std::string& text) {
    static const std::regex elapsed("(^|\n)elapse [0-9]+:[0-9][0-9]\n");
    return std::regex_replace(text, elapsed, "$1elapse M:SS\n");
}

}  // namespace testsupport
