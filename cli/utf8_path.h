#pragma once

// The tool keeps every path as UTF-8 text (on Windows its command line is
// taken as UTF-16 and converted), so that a name in any script survives on
// any code page. These turn such text into the file system's paths and
// back; a plain std::filesystem::path(std::string) would read the bytes in
// the ANSI code page on Windows and lose what that cannot hold.

#include <filesystem>
#include <string>
#include <string_view>

namespace tambelo {

inline std::filesystem::path path_from_utf8(std::string_view text)
{
    return std::filesystem::path(std::u8string_view(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

inline std::string utf8_from_path(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace tambelo
