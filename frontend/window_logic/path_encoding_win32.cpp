// Paths on Windows are UTF-16; the library's open_file takes the ANSI code
// page, as every narrow-string file function of the system does.

#include "frontend/window_logic/path_encoding.h"

#include <windows.h>

namespace tambelo::frontend {

namespace {

std::string narrow(const std::wstring& wide, UINT code_page)
{
    if (wide.empty())
        return {};
    const int size = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), text.data(),
                            size, nullptr, nullptr);
    return text;
}

}  // namespace

std::string library_path_argument(const std::filesystem::path& path)
{
    return narrow(path.native(), CP_ACP);
}

std::string display_text(const std::filesystem::path& path) { return narrow(path.native(), CP_UTF8); }

}  // namespace tambelo::frontend
