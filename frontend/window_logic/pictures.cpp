#include "frontend/window_logic/pictures.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace tambelo::frontend {

namespace {

// Seven-row glyphs of the two digits, '#' for a black pixel.
constexpr std::array<std::string_view, 7> digit_one = {
    ".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###",
};
constexpr std::array<std::string_view, 7> digit_zero = {
    ".##.", "#..#", "#..#", "#..#", "#..#", "#..#", ".##.",
};

// Triangles are 5 pixels wide and 9 high, centred in the 13 rows.
constexpr int triangle_width = 5;
constexpr int triangle_top = 2;
constexpr int glyph_top = 3;
// "10": a 3-wide one, a blank column, a 4-wide zero.
constexpr int ten_width = 8;
constexpr int gap = 3;

class Canvas {
public:
    Canvas(int width, int height, std::uint32_t background)
    {
        pixels_.width = width;
        pixels_.height = height;
        pixels_.argb.assign(static_cast<std::size_t>(width * height), background);
    }

    void put(int x, int y, std::uint32_t colour = opaque_black)
    {
        if (x >= 0 && y >= 0 && x < pixels_.width && y < pixels_.height)
            pixels_.argb[static_cast<std::size_t>(y * pixels_.width + x)] = colour;
    }

    void fill_rect(int left, int top, int width, int height, std::uint32_t colour = opaque_black)
    {
        for (int y = top; y < top + height; ++y)
            for (int x = left; x < left + width; ++x)
                put(x, y, colour);
    }

    const Pixels& pixels() const { return pixels_; }

private:
    Pixels pixels_;
};

class Figure : public Canvas {
public:
    Figure() : Canvas(picture_width, picture_height, opaque_white) {}

    void triangle(int left, bool pointing_right)
    {
        for (int row = 0; row < 2 * triangle_width - 1; ++row) {
            const int length = std::min(row, 2 * triangle_width - 2 - row) + 1;
            for (int i = 0; i < length; ++i)
                put(pointing_right ? left + i : left + triangle_width - 1 - i, triangle_top + row);
        }
    }

    template <std::size_t Rows>
    void glyph(int left, const std::array<std::string_view, Rows>& rows)
    {
        for (std::size_t row = 0; row < Rows; ++row) {
            for (std::size_t column = 0; column < rows[row].size(); ++column) {
                if (rows[row][column] == '#')
                    put(left + static_cast<int>(column), glyph_top + static_cast<int>(row));
            }
        }
    }

    void ten(int left)
    {
        glyph(left, digit_one);
        glyph(left + 4, digit_zero);
    }
};

constexpr int centred(int width) { return (picture_width - width) / 2; }

// Colours of the sixteen-colour palette used by the icon.
constexpr std::uint32_t navy = 0xFF000080;
constexpr std::uint32_t yellow = 0xFFFFFF00;

// Fills the ellipse inside the box left..left+width-1, top..top+height-1.
void fill_ellipse(Canvas& canvas, int left, int top, int width, int height, std::uint32_t colour)
{
    const double rx = width / 2.0;
    const double ry = height / 2.0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double dx = (x + 0.5 - rx) / rx;
            const double dy = (y + 0.5 - ry) / ry;
            if (dx * dx + dy * dy <= 1.0)
                canvas.put(left + x, top + y, colour);
        }
    }
}

}  // namespace

Pixels button_figure(ButtonPicture picture)
{
    Figure figure;
    const int pair = 2 * triangle_width;
    const int with_ten = ten_width + gap + pair;
    switch (picture) {
    case ButtonPicture::prev10: {
        const int left = centred(with_ten);
        figure.ten(left);
        figure.triangle(left + ten_width + gap, false);
        figure.triangle(left + ten_width + gap + triangle_width, false);
        break;
    }
    case ButtonPicture::prev:
        figure.triangle(centred(pair), false);
        figure.triangle(centred(pair) + triangle_width, false);
        break;
    case ButtonPicture::stop:
        figure.fill_rect(centred(9), triangle_top, 9, 9);
        break;
    case ButtonPicture::play:
        figure.triangle(centred(triangle_width), true);
        break;
    case ButtonPicture::next:
        figure.triangle(centred(pair) + 1, true);
        figure.triangle(centred(pair) + 1 + triangle_width, true);
        break;
    case ButtonPicture::next10: {
        const int left = centred(with_ten);
        figure.triangle(left, true);
        figure.triangle(left + triangle_width, true);
        figure.ten(left + pair + gap);
        break;
    }
    }
    return figure.pixels();
}

std::vector<IconShape> program_icon_shapes()
{
    using Kind = IconShape::Kind;
    return {
        // A navy tile with a black border.
        {Kind::rectangle, opaque_black, {{1, 1}, {31, 31}}},
        {Kind::rectangle, navy, {{2, 2}, {30, 30}}},
        // Two beamed eighth notes: heads, stems, and a beam rising to the right.
        {Kind::ellipse, yellow, {{6, 20}, {13, 25}}},
        {Kind::ellipse, yellow, {{18, 18}, {25, 23}}},
        {Kind::rectangle, yellow, {{11, 7}, {13, 22}}},
        {Kind::rectangle, yellow, {{23, 5}, {25, 20}}},
        {Kind::polygon, yellow, {{11, 7}, {25, 5}, {25, 9}, {11, 11}}},
    };
}

namespace {

// Even-odd rule, tested at the pixel's centre.
bool inside_polygon(const std::vector<IconPoint>& points, double x, double y)
{
    bool inside = false;
    for (std::size_t i = 0, j = points.size() - 1; i < points.size(); j = i++) {
        const IconPoint& a = points[i];
        const IconPoint& b = points[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x)
            inside = !inside;
    }
    return inside;
}

std::string svg_colour(std::uint32_t argb)
{
    constexpr char digits[] = "0123456789abcdef";
    std::string text = "#";
    for (int shift = 20; shift >= 0; shift -= 4)
        text += digits[(argb >> shift) & 0xF];
    return text;
}

std::string svg_number(double value)
{
    std::string text = std::to_string(value);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text;
}

}  // namespace

Pixels program_icon()
{
    Canvas icon(icon_side, icon_side, transparent);
    for (const IconShape& shape : program_icon_shapes()) {
        const IconPoint& from = shape.points.front();
        const IconPoint& to = shape.points.back();
        const auto left = static_cast<int>(from.x), top = static_cast<int>(from.y);
        const auto width = static_cast<int>(to.x - from.x), height = static_cast<int>(to.y - from.y);
        switch (shape.kind) {
        case IconShape::Kind::rectangle:
            icon.fill_rect(left, top, width, height, shape.colour);
            break;
        case IconShape::Kind::ellipse:
            fill_ellipse(icon, left, top, width, height, shape.colour);
            break;
        case IconShape::Kind::polygon:
            for (int y = 0; y < icon_side; ++y)
                for (int x = 0; x < icon_side; ++x)
                    if (inside_polygon(shape.points, x + 0.5, y + 0.5))
                        icon.put(x, y, shape.colour);
            break;
        }
    }
    return icon.pixels();
}

std::string program_icon_svg()
{
    const std::string side = std::to_string(icon_side);
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + side + "\" height=\"" + side +
                      "\" viewBox=\"0 0 " + side + " " + side + "\">\n";
    for (const IconShape& shape : program_icon_shapes()) {
        const IconPoint& from = shape.points.front();
        const IconPoint& to = shape.points.back();
        const std::string fill = " fill=\"" + svg_colour(shape.colour) + "\"/>\n";
        switch (shape.kind) {
        case IconShape::Kind::rectangle:
            svg += "  <rect x=\"" + svg_number(from.x) + "\" y=\"" + svg_number(from.y) + "\" width=\"" +
                   svg_number(to.x - from.x) + "\" height=\"" + svg_number(to.y - from.y) + "\"" + fill;
            break;
        case IconShape::Kind::ellipse:
            svg += "  <ellipse cx=\"" + svg_number((from.x + to.x) / 2) + "\" cy=\"" + svg_number((from.y + to.y) / 2) +
                   "\" rx=\"" + svg_number((to.x - from.x) / 2) + "\" ry=\"" + svg_number((to.y - from.y) / 2) + "\"" +
                   fill;
            break;
        case IconShape::Kind::polygon: {
            std::string points;
            for (const IconPoint& point : shape.points)
                points += (points.empty() ? "" : " ") + svg_number(point.x) + "," + svg_number(point.y);
            svg += "  <polygon points=\"" + points + "\"" + fill;
            break;
        }
        }
    }
    return svg + "</svg>\n";
}

}  // namespace tambelo::frontend
