// The button pictures and the icon, which both window toolkits show as drawn
// here.

#include "frontend/window_logic/pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <set>

using namespace tambelo::frontend;

namespace {

Pixels mirrored(const Pixels& pixels, bool horizontally)
{
    Pixels result = pixels;
    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x)
            result.argb[static_cast<std::size_t>(y * pixels.width + x)] =
                horizontally ? pixels.at(pixels.width - 1 - x, y) : pixels.at(x, pixels.height - 1 - y);
    return result;
}

TEST(ButtonPictures, AreBlackFiguresOnWhiteThatPointTheRightWay)
{
    for (int i = 0; i < 6; ++i) {
        const Pixels figure = button_figure(static_cast<ButtonPicture>(i));
        ASSERT_EQ(figure.width, picture_width);
        ASSERT_EQ(figure.height, picture_height);
        ASSERT_EQ(figure.argb.size(), static_cast<std::size_t>(picture_width * picture_height));
        const auto black = std::count(figure.argb.begin(), figure.argb.end(), opaque_black);
        const auto white = std::count(figure.argb.begin(), figure.argb.end(), opaque_white);
        EXPECT_EQ(black + white, static_cast<std::ptrdiff_t>(figure.argb.size())) << "picture " << i;
        EXPECT_GT(black, 20) << "picture " << i << " is nearly empty";
    }
    // The step buttons point both ways from the middle of the row.
    EXPECT_EQ(button_figure(ButtonPicture::next).argb,
              mirrored(button_figure(ButtonPicture::prev), true).argb);
    EXPECT_EQ(button_figure(ButtonPicture::play).argb,
              mirrored(button_figure(ButtonPicture::play), false).argb);
    // The play triangle points right: its widest column is its left one.
    const Pixels play = button_figure(ButtonPicture::play);
    auto column_height = [&](int x) {
        int count = 0;
        for (int y = 0; y < play.height; ++y)
            count += play.at(x, y) == opaque_black ? 1 : 0;
        return count;
    };
    int left = 0;
    while (column_height(left) == 0)
        ++left;
    EXPECT_GT(column_height(left), column_height(left + 2));
}

TEST(ProgramIcon, Is32PixelsSquareInSixteenColours)
{
    const Pixels icon = program_icon();
    ASSERT_EQ(icon.width, icon_side);
    ASSERT_EQ(icon.height, icon_side);
    // The sixteen colours of the standard palette.
    const std::set<std::uint32_t> palette = {
        0xFF000000, 0xFF800000, 0xFF008000, 0xFF808000, 0xFF000080, 0xFF800080,
        0xFF008080, 0xFFC0C0C0, 0xFF808080, 0xFFFF0000, 0xFF00FF00, 0xFFFFFF00,
        0xFF0000FF, 0xFFFF00FF, 0xFF00FFFF, 0xFFFFFFFF};
    std::set<std::uint32_t> used;
    for (const std::uint32_t pixel : icon.argb) {
        if (pixel != transparent) {
            EXPECT_TRUE(palette.count(pixel)) << std::hex << pixel;
            used.insert(pixel);
        }
    }
    EXPECT_GE(used.size(), 3u);
    EXPECT_EQ(icon.at(0, 0), transparent);
}

}  // namespace
