#pragma once

// Text from files of unknown origin (title lists, score sources, paths) on
// its way to a terminal or into a file name. A title list or a source file
// may hold escape sequences, C1 controls (U+0080..U+009F, CSI among them)
// or bytes that are not UTF-8; printed raw they move the cursor, retitle the
// terminal or garble the line. Every message and file name the tool makes
// from such text goes through here.

#include <cstddef>
#include <string>
#include <string_view>

namespace tambelo {

// Length of the well-formed UTF-8 sequence that starts at `at` (1 to 4),
// or 0 when the bytes there are not one (a stray continuation byte, an
// overlong form, a surrogate, a value above U+10FFFF, a cut-off sequence).
std::size_t utf8_sequence_length(std::string_view text, std::size_t at);

// The code point of the sequence of `length` bytes (as measured above,
// not 0) that starts at `at`.
char32_t utf8_code_at(std::string_view text, std::size_t at, std::size_t length);

// True for the control characters: C0 (below U+0020), DEL and C1.
bool is_control_character(char32_t code);

// `text` for display: control characters become blanks, bytes that are not
// UTF-8 become U+FFFD and the direction controls are spelt out ("<U+202E>"),
// so that it shows as written and does nothing else.
std::string printable_text(std::string_view text);

// `text` quoted exactly: control characters and bytes that are not UTF-8
// appear as \xNN escapes (C1 controls as their two UTF-8 bytes), a
// backslash as "\\". For messages that show the bytes a file holds.
std::string escaped_text(std::string_view text);

// A path for a one-line message, as the user wrote it: controls and bytes
// that are not UTF-8 escaped as above but backslashes left single, and,
// when longer than about 100 bytes, shortened in the middle with "...".
std::string shown_path(std::string_view path);

}  // namespace tambelo
