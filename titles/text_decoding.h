#pragma once

// Turning the bytes of a title list into UTF-8 text. Title lists were
// written in the Japanese Windows code page (CP932, a superset of
// Shift-JIS); newer ones may be UTF-8. Nothing here depends on Qt.

#include <string>
#include <string_view>

namespace tambelo {

// True when `bytes` is well-formed UTF-8: no stray continuation bytes, no
// overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view bytes);

// Decodes CP932 text to UTF-8. A byte that starts no valid character
// becomes U+FFFD and decoding goes on with the next byte; NUL bytes pass
// through. Never fails.
std::string decode_cp932(std::string_view bytes);

}  // namespace tambelo
