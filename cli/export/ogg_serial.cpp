#include "cli/export/ogg_serial.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace tambelo {
namespace {

// Ogg page header: "OggS", version, type, granule position (8 bytes),
// serial number at 14, sequence number, checksum at 22, segment count at
// 26, then the segment sizes.
constexpr std::size_t header_bytes = 27;
constexpr std::size_t serial_at = 14;
constexpr std::size_t checksum_at = 22;
constexpr std::size_t segments_at = 26;

// The page checksum: CRC-32 with polynomial 0x04C11DB7, not reflected,
// starting from 0, over the page with its checksum field zeroed.
std::uint32_t page_checksum(const std::uint8_t* page, std::size_t size)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    std::uint32_t crc = 0;
    for (std::size_t i = 0; i < size; ++i)
        crc = (crc << 8) ^ table[((crc >> 24) ^ page[i]) & 0xFF];
    return crc;
}

void put_le32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::string set_ogg_serial_number(const std::string& path, std::uint32_t serial)
{
    std::vector<std::uint8_t> bytes;
    {
        std::ifstream in(path, std::ios::binary);
        if (!in)
            return "cannot read " + path + ": " + std::strerror(errno);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    for (std::size_t at = 0; at < bytes.size();) {
        if (bytes.size() - at < header_bytes || std::memcmp(&bytes[at], "OggS", 4) != 0)
            return path + " is not a whole Ogg file";
        const std::size_t segments = bytes[at + segments_at];
        if (bytes.size() - at < header_bytes + segments)
            return path + " is not a whole Ogg file";
        std::size_t size = header_bytes + segments;
        for (std::size_t i = 0; i < segments; ++i)
            size += bytes[at + header_bytes + i];
        if (bytes.size() - at < size)
            return path + " is not a whole Ogg file";
        put_le32(&bytes[at + serial_at], serial);
        put_le32(&bytes[at + checksum_at], 0);
        put_le32(&bytes[at + checksum_at], page_checksum(&bytes[at], size));
        at += size;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        return "cannot write " + path + ": " + std::strerror(errno);
    return {};
}

}  // namespace tambelo
