#pragma once

// The toolkit-free pictures (window_logic/pictures.h) as Win32 objects.

#include "frontend/window_logic/pictures.h"

#include <windows.h>
#include <commctrl.h>

namespace tambelo::frontend {

// An icon of the pixels; fully transparent pixels stay transparent.
HICON icon_from_pixels(const Pixels& pixels);

// Puts the figure on a push button with white as the transparent colour.
// With version 6 of the common controls the button draws it from an image
// list, which is returned and must live as long as the button; otherwise it
// shows a bitmap whose white is the button's face colour, and null is
// returned.
HIMAGELIST put_picture_on_button(HWND button, const Pixels& figure);

}  // namespace tambelo::frontend
