#pragma once

// The number a title list line begins with, which decides the track the
// line names.

#include <string_view>

namespace tambelo {

// Reads a number from the start of `text`:
// - blanks, tabs and line feeds are skipped wherever they occur in the
//   number, also between digits ("1 2nd movement" reads as 12);
// - an optional sign, decimal digits with at most one decimal point, and an
//   optional exponent (E or D, an optional sign, digits);
// - or "&H" and hexadecimal digits, or "&O" and octal digits;
// - letters are taken in either case; reading stops at the first character
//   that cannot continue the number.
// Returns 0 when no digit was read. A number too large for a double is
// infinite, which equals no track number.
double leading_number(std::string_view text);

}  // namespace tambelo
