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

// `wide` in the ANSI code page, when every character survives: no
// replacement characters and no "best fit" look-alikes, which would name
// another file.
std::optional<std::string> ansi_text(const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    const int length = static_cast<int>(wide.size());
    if (GetACP() == CP_UTF8) {
        const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), length, nullptr, 0,
                                             nullptr, nullptr);
        if (size <= 0)
            return std::nullopt;
        return narrow(wide, CP_UTF8);
    }
    BOOL lost = FALSE;
    const int size =
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &lost);
    if (size <= 0 || lost)
        return std::nullopt;
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), length, text.data(), size, nullptr, nullptr);
    return text;
}

// The short form of `path`, which must exist; else its folder's short form
// with its own name.
std::optional<std::wstring> short_form(const std::filesystem::path& path)
{
    const DWORD size = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (size > 0) {
        std::wstring shortened(size, L'\0');
        const DWORD length = GetShortPathNameW(path.c_str(), shortened.data(), size);
        if (length > 0 && length < size) {
            shortened.resize(length);
            return shortened;
        }
    }
    if (!path.has_relative_path() || !path.has_filename())
        return std::nullopt;
    const std::optional<std::wstring> folder = short_form(path.parent_path());
    if (!folder)
        return std::nullopt;
    return (std::filesystem::path(*folder) / path.filename()).native();
}

}  // namespace

std::optional<std::string> library_path_argument(const std::filesystem::path& path)
{
    if (std::optional<std::string> text = ansi_text(path.native()))
        return text;
    if (const std::optional<std::wstring> shortened = short_form(path))
        return ansi_text(*shortened);
    return std::nullopt;
}

std::string display_text(const std::filesystem::path& path) { return narrow(path.native(), CP_UTF8); }

}  // namespace tambelo::frontend
