#pragma once

// The shared drawings (button pictures, the program's icon) as Qt images,
// for the window and for the icons the build renders.

#include "frontend/window_logic/pictures.h"

#include <QImage>

namespace tambelo::frontend {

inline QImage image_of(const Pixels& pixels)
{
    QImage image(pixels.width, pixels.height, QImage::Format_ARGB32);
    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x)
            image.setPixel(x, y, pixels.at(x, y));
    return image;
}

}  // namespace tambelo::frontend
