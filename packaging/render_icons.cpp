// render_icons OUT_DIR NAME SIZE...: writes the program's icon as
// OUT_DIR/SIZExSIZE/apps/NAME.png for each size, the hicolor theme's layout.
// Sizes that are multiples of the 32 x 32 drawing repeat its pixels so that
// it stays crisp; others are scaled smoothly. Run at build time.

#include "frontend/window_logic/pictures.h"

#include <QDir>
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: render_icons OUT_DIR NAME SIZE...\n");
        return 2;
    }
    const tambelo::frontend::Pixels pixels = tambelo::frontend::program_icon();
    QImage drawing(pixels.width, pixels.height, QImage::Format_ARGB32);
    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x)
            drawing.setPixel(x, y, pixels.at(x, y));

    const QDir out(QString::fromLocal8Bit(argv[1]));
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) {
            std::fprintf(stderr, "render_icons: %s is no icon size\n", argv[i]);
            return 2;
        }
        const auto mode = size % drawing.width() == 0 ? Qt::FastTransformation
                                                      : Qt::SmoothTransformation;
        const QImage icon = drawing.scaled(size, size, Qt::IgnoreAspectRatio, mode);
        const QString folder = QString("%1x%1/apps").arg(size);
        const QString path = out.filePath(folder + "/" + name + ".png");
        if (!out.mkpath(folder) || !icon.save(path, "PNG")) {
            std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
