#pragma once

// The pictures of the six buttons and the program's icon, drawn pixel by
// pixel without any toolkit, so that every window toolkit shows the same.

#include <cstdint>
#include <string>
#include <vector>

namespace tambelo::frontend {

enum class ButtonPicture { prev10, prev, stop, play, next, next10 };

// Size of every button picture, in pixels.
inline constexpr int picture_width = 31;
inline constexpr int picture_height = 13;
// Size of the icon, in pixels.
inline constexpr int icon_side = 32;

// Pixels as 0xAARRGGBB, row by row from the top-left corner.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb;

    std::uint32_t at(int x, int y) const
    {
        return argb[static_cast<std::size_t>(y * width + x)];
    }
};

inline constexpr std::uint32_t opaque_black = 0xFF000000;
inline constexpr std::uint32_t opaque_white = 0xFFFFFFFF;
inline constexpr std::uint32_t transparent = 0x00000000;

// The figure in opaque black on opaque white. The buttons show it with white
// as the transparent colour.
Pixels button_figure(ButtonPicture picture);

// The drawing of the program's icon on its 32 x 32 grid, painted in order:
// rectangles and ellipses fill the box between their two corner points (top
// left, bottom right), polygons the area inside their points. The window's
// icon, the SVG icon and the smooth large icons are all made from it.
struct IconPoint {
    double x = 0, y = 0;
};
struct IconShape {
    enum class Kind { rectangle, ellipse, polygon };
    Kind kind;
    std::uint32_t colour;
    std::vector<IconPoint> points;
};
std::vector<IconShape> program_icon_shapes();

// The window's 32 x 32 icon, the drawing in pixels: colours of the
// sixteen-colour palette on a transparent background.
Pixels program_icon();

// The drawing as a scalable SVG image.
std::string program_icon_svg();

}  // namespace tambelo::frontend
