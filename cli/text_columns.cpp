#include "cli/terminal.h"

namespace tambelo::cli {

namespace {

// Columns a code point takes: two for the East Asian wide and full-width
// ranges (kanji, kana, hangul, full-width forms), one otherwise. Half-width
// katakana, common in old titles, stay one column.
int column_width(char32_t c)
{
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

}  // namespace

std::string fit_to_columns(const std::string& text, int columns)
{
    int used = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (i + length > text.size())
            length = text.size() - i;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k)
            c = c << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        const int width = column_width(c);
        if (used + width > columns)
            break;
        used += width;
        i += length;
    }
    return text.substr(0, i);
}

}  // namespace tambelo::cli
