#pragma once

// The bidirectional embedding, override and isolate controls (U+202A to
// U+202E, U+2066 to U+2069) make a text display in an order other than the
// one it is written in: "\u202Egnp.exe" shows as "exe.png", and one that is
// never closed reorders whatever follows it on the line. A title list may
// hold them, so text from files is shown with each of them spelt out.

#include <string>
#include <string_view>

namespace tambelo {

// True for the nine controls above.
bool is_direction_control(char32_t code);

// `text` (UTF-8) with each direction control replaced by its name in ASCII,
// "<U+202E>", and everything else as it is: the characters show in the
// order written. Bytes that are not UTF-8 are left alone.
std::string with_direction_controls_shown(std::string_view text);

}  // namespace tambelo
