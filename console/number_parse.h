// The lenient number parsing of option values: never an error, text that is
// not a number gives 0.
#ifndef QORTA_CONSOLE_NUMBER_PARSE_H
#define QORTA_CONSOLE_NUMBER_PARSE_H

#include <cstdint>

namespace console {

// Skips leading white space, reads an optional sign and the decimal digits up
// to the first other character. No digits give 0; a value beyond the 32-bit
// range gives the nearest bound, -2147483648 or 2147483647.
std::int32_t parseInteger(const char* text);

// Skips leading white space and reads the longest prefix of the form
// [sign] digits [. digits] [(e|E) [sign] digits] with at least one digit
// before the exponent, correctly rounded to a double. Text that does not
// begin with such a number gives 0.0; a value beyond the double range gives
// the largest finite double of its sign, as whole numbers saturate at the
// 32-bit range, so that every setting stays finite.
double parseReal(const char* text);

}  // namespace console

#endif
