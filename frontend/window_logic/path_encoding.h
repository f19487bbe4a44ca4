#pragma once

// Paths as the playback library and people read them.

#include <filesystem>
#include <optional>
#include <string>

namespace tambelo::frontend {

// The path as the library's open_file takes it: bytes in the file system's
// encoding, which on Windows is the ANSI code page (UTF-8 where the
// program's manifest makes it so, from Windows 10 version 1903 on). Where
// the code page cannot hold a character of the path, its short (8.3) form,
// where the volume keeps one; for a file not yet there, its folder's short
// form and its own name. Nothing when neither reaches the file intact.
std::optional<std::string> library_path_argument(const std::filesystem::path& path);

// The path in UTF-8, for messages.
std::string display_text(const std::filesystem::path& path);

}  // namespace tambelo::frontend
