#include "titles/text_decoding.h"

#include <windows.h>

#include <cstdint>

// CP932 decoding on Windows, with the system's own code page 932 tables. It
// decodes one character at a time so that a bad byte costs only itself, as
// on Linux: it becomes U+FFFD and decoding goes on with the next byte.
namespace tambelo {
namespace {

constexpr UINT cp932 = 932;
constexpr wchar_t replacement_character = L'\xFFFD';

// Bytes 0x81..0x9F and 0xE0..0xFC start a two-byte character.
bool is_lead_byte(std::uint8_t byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Bytes that start no character. Windows maps some of them to private-use
// characters; they are treated as errors so that both platforms agree.
bool is_unused_byte(std::uint8_t byte)
{
    return byte == 0x80 || byte == 0xA0 || byte >= 0xFD;
}

std::string utf8_of(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), size, nullptr, nullptr);
    return result;
}

}  // namespace

std::string decode_cp932(std::string_view bytes)
{
    std::wstring text;
    text.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto byte = static_cast<std::uint8_t>(bytes[i]);
        const std::size_t length = is_lead_byte(byte) && i + 1 < bytes.size() ? 2 : 1;
        wchar_t decoded[2] = {};
        const int count = is_unused_byte(byte) || (is_lead_byte(byte) && length == 1)
                              ? 0
                              : MultiByteToWideChar(cp932, MB_ERR_INVALID_CHARS, bytes.data() + i,
                                                    static_cast<int>(length), decoded, 2);
        if (count <= 0) {
            text += replacement_character;
            ++i;
            continue;
        }
        text.append(decoded, static_cast<std::size_t>(count));
        i += length;
    }
    return utf8_of(text);
}

}  // namespace tambelo
