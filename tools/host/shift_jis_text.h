// Shift-JIS text, as plug-ins carry their information string, made
// readable on a UTF-8 terminal.
#ifndef QORTA_TOOLS_HOST_SHIFT_JIS_TEXT_H
#define QORTA_TOOLS_HOST_SHIFT_JIS_TEXT_H

#include <string>

namespace host {

// Converts the NUL-terminated Shift-JIS (code page 932) `text` to UTF-8 in
// `*utf8`. Returns false, leaving `*utf8` empty, when the system has no
// such conversion or `text` is not valid Shift-JIS.
bool shiftJisToUtf8(const char* text, std::string* utf8);

// The text for display: its UTF-8 form, or, when it cannot be converted,
// its ASCII characters with every other byte written as \xHH.
std::string displayShiftJis(const char* text);

}  // namespace host

#endif
