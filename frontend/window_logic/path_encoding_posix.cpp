// Paths on POSIX systems are bytes already; names are taken to be UTF-8.

#include "frontend/window_logic/path_encoding.h"

namespace tambelo::frontend {

std::optional<std::string> library_path_argument(const std::filesystem::path& path) { return path.native(); }

std::string display_text(const std::filesystem::path& path) { return path.native(); }

}  // namespace tambelo::frontend
