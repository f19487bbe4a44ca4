#pragma once

// Paths as the playback library and people read them.

#include <filesystem>
#include <string>

namespace tambelo::frontend {

// The path as the library's open_file takes it: bytes in the file system's
// encoding, which on Windows is the ANSI code page. A character the code
// page cannot hold becomes the system's replacement, so such a file cannot
// be opened by the library (it fails quietly, as for a missing file).
std::string library_path_argument(const std::filesystem::path& path);

// The path in UTF-8, for messages.
std::string display_text(const std::filesystem::path& path);

}  // namespace tambelo::frontend
