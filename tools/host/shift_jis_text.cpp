#include "tools/host/shift_jis_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cstdio>
#include <cstring>
#include <vector>

namespace host {

#ifdef _WIN32
// Through UTF-16 with the system's code page 932, which refuses invalid
// sequences.
bool shiftJisToUtf8(const char* text, std::string* utf8) {
    utf8->clear();
    const int length = static_cast<int>(std::strlen(text));
    if (length == 0) return true;
    std::vector<wchar_t> wide(static_cast<std::size_t>(length));
    const int units = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, text, length, wide.data(), length);
    if (units <= 0) return false;
    std::vector<char> output(static_cast<std::size_t>(units) * 3);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, output.data(),
                                          static_cast<int>(output.size()), nullptr, nullptr);
    if (bytes <= 0) return false;
    utf8->assign(output.data(), static_cast<std::size_t>(bytes));
    return true;
}
#else
bool shiftJisToUtf8(const char* text, std::string* utf8) {
    utf8->clear();
    iconv_t converter = iconv_open("UTF-8", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) converter = iconv_open("UTF-8", "SHIFT_JIS");
    if (converter == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> input(text, text + std::strlen(text));
    // A Shift-JIS character of one or two bytes is at most three in UTF-8.
    std::vector<char> output(input.size() * 3 + 1);
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    const bool converted = iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
                           iconv(converter, nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1);
    iconv_close(converter);
    if (!converted || inLeft != 0) return false;
    utf8->assign(output.data(), out);
    return true;
}
#endif

std::string displayShiftJis(const char* text) {
    std::string shown;
    if (shiftJisToUtf8(text, &shown)) return shown;
    for (const char* p = text; *p != '\0'; ++p) {
        const auto byte = static_cast<unsigned char>(*p);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += static_cast<char>(byte);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

}  // namespace host
