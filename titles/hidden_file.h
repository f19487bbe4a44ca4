#pragma once

// Whether the system treats a file as hidden, so that the search for a
// music set's files passes it over as a directory listing would.

#include <filesystem>

namespace tambelo {

// POSIX: the name begins with "."; Windows: the file has the hidden or the
// system attribute. False when the file cannot be examined.
bool is_hidden_file(const std::filesystem::path& path);

}  // namespace tambelo
