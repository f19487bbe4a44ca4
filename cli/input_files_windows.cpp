#include "cli/input_files.h"

#include "cli/safe_text.h"

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
    const fs::file_status status = fs::status(fs::path(path), error);
    if (status.type() == fs::file_type::not_found)
        return {InputKind::missing, "no such file: " + shown};
    if (error)
        return {InputKind::unusable, "cannot open " + shown + ": " + error.message()};
    if (status.type() == fs::file_type::directory)
        return {InputKind::unusable, shown + " is a folder, not a file"};
    if (status.type() != fs::file_type::regular)
        return {InputKind::unusable, shown + " is not an ordinary file"};
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
        return {InputKind::readable, {}};
    }
    return {InputKind::unusable, "cannot read " + shown};
}

std::optional<std::string> read_whole_file(const std::string& path, std::size_t max_bytes, std::string* why)
{
    const auto failed = [why](std::string reason) -> std::optional<std::string> {
        if (why)
            *why = std::move(reason);
        return std::nullopt;
    };
    if (const InputCheck check = check_input_file(path); check.kind != InputKind::readable)
        return failed(check.reason);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return failed("cannot read " + shown_path(path));
    std::string bytes;
    char buffer[65536];
    for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        bytes.append(buffer, count);
        if (bytes.size() > max_bytes) {
            std::fclose(file);
            return failed(shown_path(path) + " is larger than " + std::to_string(max_bytes) + " bytes");
        }
    }
    const bool read_failed = std::ferror(file) != 0;
    std::fclose(file);
    if (read_failed)
        return failed("cannot read " + shown_path(path));
    return bytes;
}

}  // namespace tambelo::cli
