#include "frontend/win32/win32_pictures.h"

#include <cstring>
#include <vector>

namespace tambelo::frontend {

namespace {

// A 32-bit top-down bitmap holding the pixels as they are.
HBITMAP bitmap_from_pixels(const Pixels& pixels)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr && bits != nullptr)
        std::memcpy(bits, pixels.argb.data(), pixels.argb.size() * sizeof(std::uint32_t));
    return bitmap;
}

}  // namespace

HICON icon_from_pixels(const Pixels& pixels)
{
    // The mask has one bit per pixel, rows padded to 16 bits; a set bit
    // lets the background show through.
    const int row_bytes = (pixels.width + 15) / 16 * 2;
    std::vector<unsigned char> mask(static_cast<std::size_t>(row_bytes * pixels.height), 0);
    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x)
            if ((pixels.at(x, y) >> 24) == 0)
                mask[static_cast<std::size_t>(y * row_bytes + x / 8)] |=
                    static_cast<unsigned char>(0x80 >> (x % 8));
    ICONINFO info = {};
    info.fIcon = TRUE;
    info.hbmColor = bitmap_from_pixels(pixels);
    info.hbmMask = CreateBitmap(pixels.width, pixels.height, 1, 1, mask.data());
    HICON icon = CreateIconIndirect(&info);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return icon;
}

HIMAGELIST put_picture_on_button(HWND button, const Pixels& figure)
{
    HIMAGELIST list = ImageList_Create(figure.width, figure.height, ILC_COLOR24 | ILC_MASK, 1, 0);
    if (list != nullptr) {
        HBITMAP bitmap = bitmap_from_pixels(figure);
        ImageList_AddMasked(list, bitmap, RGB(255, 255, 255));
        DeleteObject(bitmap);
        BUTTON_IMAGELIST image = {};
        image.himl = list;
        image.uAlign = BUTTON_IMAGELIST_ALIGN_CENTER;
        if (SendMessageW(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&image)))
            return list;
        ImageList_Destroy(list);
    }
    // Older common controls: a plain bitmap on the button's face colour.
    Pixels on_face = figure;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const std::uint32_t face_argb = 0xFF000000 | (GetRValue(face) << 16) | (GetGValue(face) << 8) |
                                    GetBValue(face);
    for (std::uint32_t& pixel : on_face.argb)
        if (pixel == opaque_white)
            pixel = face_argb;
    SetWindowLongPtrW(button, GWL_STYLE, GetWindowLongPtrW(button, GWL_STYLE) | BS_BITMAP);
    SendMessageW(button, BM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(bitmap_from_pixels(on_face)));
    return nullptr;
}

}  // namespace tambelo::frontend
