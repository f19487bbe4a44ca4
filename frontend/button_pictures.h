#pragma once

// The pictures of the six buttons and the program's icon, drawn in code.

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace tambelo::frontend {

enum class ButtonPicture { prev10, prev, stop, play, next, next10 };

// Size of every button picture, in logical pixels.
inline constexpr int picture_width = 31;
inline constexpr int picture_height = 13;

// The figure in black on white, before white is made transparent.
QImage button_figure(ButtonPicture picture);

// The button's picture: the figure in black, everything white transparent.
QPixmap button_picture(ButtonPicture picture);

// The window's 32 x 32 icon, in sixteen colours.
QIcon program_icon();

}  // namespace tambelo::frontend
