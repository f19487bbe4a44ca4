#pragma once

// The program's icon as a Windows icon file (.ico), for the icon resource
// that Explorer, shortcuts and the taskbar show; written at build time from
// the same drawing the running window shows.

#include "frontend/window_logic/pictures.h"

#include <string>
#include <vector>

namespace tambelo::frontend {

// The sizes the icon file holds, in pixels, smallest first.
inline const std::vector<int> icon_file_sides{16, 32, 48, 256};

// `drawing` at `side` x `side` pixels: each pixel the area-weighted mean of
// the drawing's pixels it covers (colours weighted by their opacity), so
// that whole-number enlargements keep the drawing's pixels crisp.
Pixels scaled_picture(const Pixels& drawing, int side);

// The bytes of an .ico file holding `drawing` at each of `sides`, each as a
// 32-bit image with its transparency mask.
std::string icon_file_bytes(const Pixels& drawing, const std::vector<int>& sides);

}  // namespace tambelo::frontend
