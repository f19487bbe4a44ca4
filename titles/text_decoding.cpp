#include "titles/text_decoding.h"

#include <cstdint>

namespace tambelo {

namespace {

// The number of continuation bytes after a lead byte, and the smallest and
// largest second byte that keep the sequence canonical; 0 continuation
// bytes with a range of 0..0 means the byte is no lead byte at all.
struct LeadByte {
    int continuation_bytes;
    std::uint8_t second_min;
    std::uint8_t second_max;
};

LeadByte classify_lead_byte(std::uint8_t byte)
{
    if (byte < 0x80)
        return {0, 1, 1};
    if (byte >= 0xC2 && byte <= 0xDF)
        return {1, 0x80, 0xBF};
    if (byte == 0xE0)
        return {2, 0xA0, 0xBF};  // below 0xA0 would be overlong
    if (byte == 0xED)
        return {2, 0x80, 0x9F};  // above 0x9F would be a surrogate
    if (byte >= 0xE1 && byte <= 0xEF)
        return {2, 0x80, 0xBF};
    if (byte == 0xF0)
        return {3, 0x90, 0xBF};  // below 0x90 would be overlong
    if (byte >= 0xF1 && byte <= 0xF3)
        return {3, 0x80, 0xBF};
    if (byte == 0xF4)
        return {3, 0x80, 0x8F};  // above 0x8F would pass U+10FFFF
    return {0, 0, 0};
}

}  // namespace

bool is_valid_utf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const LeadByte lead = classify_lead_byte(static_cast<std::uint8_t>(bytes[i]));
        if (lead.continuation_bytes == 0) {
            if (lead.second_min == 0)
                return false;
            ++i;
            continue;
        }
        if (bytes.size() - i <= static_cast<std::size_t>(lead.continuation_bytes))
            return false;
        const auto second = static_cast<std::uint8_t>(bytes[i + 1]);
        if (second < lead.second_min || second > lead.second_max)
            return false;
        for (int k = 2; k <= lead.continuation_bytes; ++k) {
            const auto next = static_cast<std::uint8_t>(bytes[i + static_cast<std::size_t>(k)]);
            if (next < 0x80 || next > 0xBF)
                return false;
        }
        i += static_cast<std::size_t>(lead.continuation_bytes) + 1;
    }
    return true;
}

}  // namespace tambelo
