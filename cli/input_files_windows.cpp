#include "cli/input_files.h"

#include "cli/safe_text.h"
#include "cli/utf8_path.h"
#include "files/regular_file.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace tambelo::cli {

// Windows has no named pipes in the file system's folders, so looking
// before opening cannot block.
InputCheck check_input_file(const std::string& path)
{
    namespace fs = std::filesystem;
    const std::string shown = shown_path(path);
    std::error_code error;
    const fs::file_status status = fs::status(path_from_utf8(path), error);
    if (status.type() == fs::file_type::not_found)
        return {InputKind::missing, "no such file: " + shown};
    if (error)
        return {InputKind::unusable, "cannot open " + shown + ": " + error.message()};
    if (status.type() == fs::file_type::directory)
        return {InputKind::unusable, shown + " is a folder, not a file"};
    if (status.type() != fs::file_type::regular)
        return {InputKind::unusable, shown + " is not an ordinary file"};
    if (std::FILE* file = open_regular_file(path.c_str(), "rb")) {
        std::fclose(file);
        return {InputKind::readable, {}};
    }
    return {InputKind::unusable, "cannot read " + shown};
}

}  // namespace tambelo::cli
