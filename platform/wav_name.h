// The rule that makes a name a WAV file name, shared by the command line
// and every platform's folder listing: its last four characters are ".wav"
// in any ASCII letter case.
#ifndef QORTA_PLATFORM_WAV_NAME_H
#define QORTA_PLATFORM_WAV_NAME_H

#include <cstring>

namespace platform {

inline char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

inline bool hasWavEnding(const char* name) {
    const std::size_t length = std::strlen(name);
    if (length < 4) return false;
    const char* tail = name + length - 4;
    return tail[0] == '.' && upperAscii(tail[1]) == 'W' && upperAscii(tail[2]) == 'A' && upperAscii(tail[3]) == 'V';
}

}  // namespace platform

#endif
