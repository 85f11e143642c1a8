#include "console/file_result.h"

namespace console {

namespace {

// One line per code, in the order of the enumeration.
const char* const MESSAGES[] = {
    "",                                     // Ok
    "ERROR! cannot open file to read\n",    // CannotOpenToRead
    "ERROR! illegal wav format\n",          // IllegalFormat
    "ERROR! quality out of range\n",        // QualityOutOfRange
    "ERROR! cannot read file\n",            // CannotRead
    "ERROR! cannot open file to write\n",   // CannotOpenToWrite
    "ERROR! cannot write file\n",           // CannotWrite
    "ERROR! out of memory\n",               // OutOfMemory
    "",                                     // Declined
};
static_assert(sizeof MESSAGES / sizeof MESSAGES[0] == static_cast<int>(FileResult::Declined) + 1,
              "one message per result");

}  // namespace

const char* fileResultMessage(FileResult result) { return MESSAGES[static_cast<int>(result)]; }

}  // namespace console
