// render_icons OUT_DIR NAME SIZE...: writes the program's icon as
// OUT_DIR/SIZExSIZE/apps/NAME.png for each size, and the drawing as
// OUT_DIR/scalable/apps/NAME.svg, the hicolor theme's layout. Sizes up to the
// 32 x 32 drawing use its pixels (exact at 32, scaled smoothly below);
// larger ones paint the drawing's shapes anti-aliased, so their edges stay
// smooth. Run at build time.

#include "frontend/qt/pixels_image.h"
#include "frontend/window_logic/pictures.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPolygonF>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace tambelo::frontend;

QImage painted(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(static_cast<double>(size) / icon_side, static_cast<double>(size) / icon_side);
    painter.setPen(Qt::NoPen);
    for (const IconShape& shape : program_icon_shapes()) {
        painter.setBrush(QColor::fromRgba(shape.colour));
        const QRectF box(QPointF(shape.points.front().x, shape.points.front().y),
                         QPointF(shape.points.back().x, shape.points.back().y));
        switch (shape.kind) {
        case IconShape::Kind::rectangle: painter.drawRect(box); break;
        case IconShape::Kind::ellipse: painter.drawEllipse(box); break;
        case IconShape::Kind::polygon: {
            QPolygonF polygon;
            for (const IconPoint& point : shape.points)
                polygon << QPointF(point.x, point.y);
            painter.drawPolygon(polygon);
            break;
        }
        }
    }
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

bool write_file(const QDir& out, const QString& folder, const QString& file, const QByteArray& bytes)
{
    QFile target(out.filePath(folder + "/" + file));
    return out.mkpath(folder) && target.open(QIODevice::WriteOnly) && target.write(bytes) == bytes.size();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: render_icons OUT_DIR NAME SIZE...\n");
        return 2;
    }
    const QImage drawing = image_of(program_icon());
    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString name = QString::fromLocal8Bit(argv[2]);
    if (!write_file(out, "scalable/apps", name + ".svg", QByteArray::fromStdString(program_icon_svg()))) {
        std::fprintf(stderr, "render_icons: cannot write the SVG icon into %s\n", argv[1]);
        return 1;
    }
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) {
            std::fprintf(stderr, "render_icons: %s is no icon size\n", argv[i]);
            return 2;
        }
        const QImage icon = size > icon_side  ? painted(size)
                            : size == icon_side ? drawing
                                                : drawing.scaled(size, size, Qt::IgnoreAspectRatio,
                                                                 Qt::SmoothTransformation);
        const QString folder = QString("%1x%1/apps").arg(size);
        const QString path = out.filePath(folder + "/" + name + ".png");
        if (!out.mkpath(folder) || !icon.save(path, "PNG")) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
