// icon_resource_check PROGRAM.exe: reads the first icon resource of the
// program, as Explorer does, and checks that it holds the program's icon at
// 16, 32, 48 and 256 pixels, each image pixel for pixel the drawing the
// running window shows, scaled. Prints "FAIL: ..." or what it found.

#include "frontend/window_logic/icon_file.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace tambelo::frontend;

#pragma pack(push, 2)
struct GroupEntry {
    BYTE width;
    BYTE height;
    BYTE colours;
    BYTE reserved;
    WORD planes;
    WORD bits;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

// RT_ICON and RT_GROUP_ICON, as wide names.
const LPCWSTR icon_type = MAKEINTRESOURCEW(3);
const LPCWSTR icon_group_type = MAKEINTRESOURCEW(14);

BOOL CALLBACK take_first(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR found)
{
    *reinterpret_cast<LPWSTR*>(found) = name;
    return FALSE;
}

const BYTE* resource_bytes(HMODULE module, LPCWSTR name, LPCWSTR type, DWORD* size)
{
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr)
        return nullptr;
    *size = SizeofResource(module, found);
    return static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
}

// Empty when the image is the drawing at `side` pixels, else what differs.
std::string compare_image(const BYTE* image, DWORD size, int side)
{
    BITMAPINFOHEADER header;
    if (size < sizeof header)
        return "a truncated image";
    std::memcpy(&header, image, sizeof header);
    if (header.biWidth != side || header.biHeight != 2 * side || header.biBitCount != 32)
        return "a " + std::to_string(header.biWidth) + " px image of " + std::to_string(header.biBitCount) +
               " bits";
    if (size < sizeof header + static_cast<DWORD>(side * side * 4))
        return "a truncated image";
    const Pixels expected = scaled_picture(program_icon(), side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            std::uint32_t pixel;
            std::memcpy(&pixel, image + sizeof header + ((side - 1 - y) * side + x) * 4, 4);
            if (pixel != expected.at(x, y))
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + " differs from the drawing";
        }
    return {};
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("FAIL: usage: icon_resource_check PROGRAM.exe\n");
        return 2;
    }
    HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        std::printf("FAIL: cannot load %s\n", argv[1]);
        return 1;
    }
    LPWSTR first = nullptr;
    EnumResourceNamesW(module, icon_group_type, take_first, reinterpret_cast<LONG_PTR>(&first));
    DWORD size = 0;
    const BYTE* group = first ? resource_bytes(module, first, icon_group_type, &size) : nullptr;
    if (group == nullptr || size < 6) {
        std::printf("FAIL: %s has no icon resource\n", argv[1]);
        return 1;
    }
    WORD count;
    std::memcpy(&count, group + 4, 2);
    std::vector<int> sides;
    for (WORD i = 0; i < count && 6 + (i + 1) * sizeof(GroupEntry) <= size; ++i) {
        GroupEntry entry;
        std::memcpy(&entry, group + 6 + i * sizeof entry, sizeof entry);
        const int side = entry.width == 0 ? 256 : entry.width;
        sides.push_back(side);
        DWORD image_size = 0;
        const BYTE* image = resource_bytes(module, MAKEINTRESOURCEW(entry.id), icon_type, &image_size);
        const std::string problem = image ? compare_image(image, image_size, side) : "no image";
        if (!problem.empty()) {
            std::printf("FAIL: the %d px icon is %s\n", side, problem.c_str());
            return 1;
        }
    }
    if (sides != icon_file_sides) {
        std::printf("FAIL: the first icon resource holds %u images, not 16, 32, 48 and 256 px\n",
                    static_cast<unsigned>(sides.size()));
        return 1;
    }
    std::printf("the first icon resource is the program's icon at 16, 32, 48 and 256 px\n");
    return 0;
}
