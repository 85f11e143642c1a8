#include "tests/support/program_runner.h"

#include <regex>

namespace testsupport {

std::string normaliseElapsed(const std::string& text) {
    static const std::regex elapsed("(^|\n)elapse [0-9]+:[0-9][0-9]\n");
    return std::regex_replace(text, elapsed, "$1elapse M:SS\n");
}

}  // namespace testsupport
