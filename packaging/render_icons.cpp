// render_icons OUT_DIR NAME SIZE...: writes the program's icon as
// OUT_DIR/SIZExSIZE/apps/NAME.png for each size, the hicolor theme's layout.
// Larger sizes repeat each pixel of the 32 x 32 drawing so that it stays
// crisp; smaller ones are scaled down smoothly. Run at build time.

#include "frontend/button_pictures.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: render_icons OUT_DIR NAME SIZE...\n");
        return 2;
    }
    // No display is needed to draw the icon.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QImage drawing = tambelo::frontend::program_icon().pixmap(32, 32).toImage();
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
