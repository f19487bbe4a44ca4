#include "frontend/window_logic/icon_file.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace tambelo::frontend {
namespace {

void put_u16(std::string& out, unsigned value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>((value >> 8) & 0xFF);
}

void put_u32(std::string& out, std::uint32_t value)
{
    put_u16(out, value & 0xFFFF);
    put_u16(out, value >> 16);
}

// One image of an icon file: a BITMAPINFOHEADER whose height counts the
// colour rows and the mask rows, the colours bottom row first as BGRA, then
// the 1-bit mask (set where transparent), rows padded to 4 bytes.
std::string icon_image(const Pixels& picture)
{
    std::string out;
    const int side = picture.width;
    put_u32(out, 40);
    put_u32(out, static_cast<std::uint32_t>(side));
    put_u32(out, static_cast<std::uint32_t>(side * 2));
    put_u16(out, 1);   // planes
    put_u16(out, 32);  // bits per pixel
    for (int i = 0; i < 6; ++i)
        put_u32(out, 0);  // no compression, sizes and palette left to the reader
    for (int y = side - 1; y >= 0; --y)
        for (int x = 0; x < side; ++x)
            put_u32(out, picture.at(x, y));
    const int mask_row_bytes = (side + 31) / 32 * 4;
    for (int y = side - 1; y >= 0; --y) {
        std::vector<unsigned char> row(static_cast<std::size_t>(mask_row_bytes), 0);
        for (int x = 0; x < side; ++x)
            if ((picture.at(x, y) >> 24) == 0)
                row[static_cast<std::size_t>(x / 8)] |= static_cast<unsigned char>(0x80 >> (x % 8));
        out.append(row.begin(), row.end());
    }
    return out;
}

}  // namespace

Pixels scaled_picture(const Pixels& drawing, int side)
{
    Pixels out{side, side, std::vector<std::uint32_t>(static_cast<std::size_t>(side * side))};
    // Target pixel t covers drawing columns [t * w / side, (t + 1) * w / side);
    // in units of 1 / side of a drawing pixel, so that all sums are whole.
    for (int ty = 0; ty < side; ++ty) {
        for (int tx = 0; tx < side; ++tx) {
            std::uint64_t sum[4] = {0, 0, 0, 0};  // alpha, then red, green, blue times alpha
            std::uint64_t area = 0;
            const int x0 = tx * drawing.width, x1 = (tx + 1) * drawing.width;
            const int y0 = ty * drawing.height, y1 = (ty + 1) * drawing.height;
            for (int sy = y0 / side; sy * side < y1; ++sy) {
                const int cover_y = std::min(y1, (sy + 1) * side) - std::max(y0, sy * side);
                for (int sx = x0 / side; sx * side < x1; ++sx) {
                    const int cover_x = std::min(x1, (sx + 1) * side) - std::max(x0, sx * side);
                    const auto weight = static_cast<std::uint64_t>(cover_x * cover_y);
                    const std::uint32_t pixel = drawing.at(sx, sy);
                    const std::uint64_t alpha = pixel >> 24;
                    sum[0] += weight * alpha;
                    for (int c = 1; c < 4; ++c)
                        sum[c] += weight * alpha * ((pixel >> (8 * (3 - c))) & 0xFF);
                    area += weight;
                }
            }
            std::uint32_t pixel = 0;
            if (sum[0] > 0) {
                pixel = static_cast<std::uint32_t>((sum[0] + area / 2) / area) << 24;
                for (int c = 1; c < 4; ++c)
                    pixel |= static_cast<std::uint32_t>((sum[c] + sum[0] / 2) / sum[0]) << (8 * (3 - c));
            }
            out.argb[static_cast<std::size_t>(ty * side + tx)] = pixel;
        }
    }
    return out;
}

std::string icon_file_bytes(const Pixels& drawing, const std::vector<int>& sides)
{
    std::vector<std::string> images;
    for (const int side : sides)
        images.push_back(icon_image(scaled_picture(drawing, side)));
    std::string out;
    put_u16(out, 0);
    put_u16(out, 1);  // an icon, not a cursor
    put_u16(out, static_cast<unsigned>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int side = sides[i];
        out += static_cast<char>(side >= 256 ? 0 : side);  // 0 stands for 256
        out += static_cast<char>(side >= 256 ? 0 : side);
        out += '\0';  // not a palette image
        out += '\0';
        put_u16(out, 1);
        put_u16(out, 32);
        put_u32(out, static_cast<std::uint32_t>(images[i].size()));
        put_u32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const std::string& image : images)
        out += image;
    return out;
}

}  // namespace tambelo::frontend
