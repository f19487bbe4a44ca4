// The window's button pictures and the program's icon for the page, drawn
// by the window's own code, through the WebAssembly module.

#include "frontend/window_logic/pictures.h"

#include <emscripten/emscripten.h>

#include <cstdint>
#include <string>

namespace {

tambelo::frontend::Pixels picture;
std::string icon_svg;

}  // namespace

extern "C" {

// The window's button pictures, drawn by the window's own code: 0 to 5 from
// "ten back" to "ten on"; pixels as 0xAARRGGBB words, row by row, black on
// white, valid until the next call. Width and height at web_picture_size().
EMSCRIPTEN_KEEPALIVE const std::uint32_t* web_button_picture(int which)
{
    picture = tambelo::frontend::button_figure(static_cast<tambelo::frontend::ButtonPicture>(which));
    return picture.argb.data();
}

// The program's icon, as the window shows it (32 x 32, same layout as the
// buttons' pictures), for the page's install icons and media artwork.
EMSCRIPTEN_KEEPALIVE const std::uint32_t* web_icon_picture()
{
    picture = tambelo::frontend::program_icon();
    return picture.argb.data();
}

// The icon as a scalable SVG image, NUL-terminated, valid until the next call.
EMSCRIPTEN_KEEPALIVE const char* web_icon_svg()
{
    icon_svg = tambelo::frontend::program_icon_svg();
    return icon_svg.c_str();
}

EMSCRIPTEN_KEEPALIVE int web_picture_size(int height)
{
    return height != 0 ? picture.height : picture.width;
}

}  // extern "C"
