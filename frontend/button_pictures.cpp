#include "frontend/button_pictures.h"

#include <QBitmap>
#include <QPainter>

#include <array>
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

class Figure {
public:
    Figure() : image_(picture_width, picture_height, QImage::Format_RGB32)
    {
        image_.fill(Qt::white);
    }

    void put(int x, int y) { image_.setPixel(x, y, qRgb(0, 0, 0)); }

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

    void square(int left, int side)
    {
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                put(left + x, triangle_top + y);
    }

    QImage image() const { return image_; }

private:
    QImage image_;
};

constexpr int centred(int width) { return (picture_width - width) / 2; }

}  // namespace

QImage button_figure(ButtonPicture picture)
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
        figure.square(centred(9), 9);
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
    return figure.image();
}

QPixmap button_picture(ButtonPicture picture)
{
    QPixmap pixmap = QPixmap::fromImage(button_figure(picture));
    pixmap.setMask(pixmap.createMaskFromColor(Qt::white, Qt::MaskInColor));
    return pixmap;
}

QIcon program_icon()
{
    // Colours of the sixteen-colour palette only, drawn without smoothing.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QColor(0, 0, 0));
    painter.setBrush(QColor(0, 0, 128));
    painter.drawRect(1, 1, 29, 29);
    // Two beamed eighth notes.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 0));
    painter.drawEllipse(QRect(6, 20, 7, 5));
    painter.drawEllipse(QRect(18, 18, 7, 5));
    painter.drawRect(11, 7, 2, 16);
    painter.drawRect(23, 5, 2, 16);
    QPolygon beam;
    beam << QPoint(11, 7) << QPoint(25, 5) << QPoint(25, 9) << QPoint(11, 11);
    painter.drawPolygon(beam);
    painter.end();
    return QIcon(pixmap);
}

}  // namespace tambelo::frontend
