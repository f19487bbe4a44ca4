#include "cli/input_files.h"

#include "cli/safe_text.h"
#include "files/regular_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tambelo::cli {

std::optional<std::string> read_whole_file(const std::string& path, std::size_t max_bytes, std::string* why)
{
    const auto failed = [why](std::string reason) -> std::optional<std::string> {
        if (why)
            *why = std::move(reason);
        return std::nullopt;
    };
    if (const InputCheck check = check_input_file(path); check.kind != InputKind::readable)
        return failed(check.reason);
    // Opened again, still without waiting: the path may have been replaced
    // by a pipe since it was looked at.
    std::FILE* file = open_regular_file(path.c_str(), "rb");
    if (!file)
        return failed("cannot read " + shown_path(path));
    std::string bytes;
    char buffer[65536];
    errno = 0;
    for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        bytes.append(buffer, count);
        if (bytes.size() > max_bytes) {
            std::fclose(file);
            return failed(shown_path(path) + " is larger than " + std::to_string(max_bytes) + " bytes");
        }
    }
    const int error = errno;
    const bool read_failed = std::ferror(file) != 0;
    std::fclose(file);
    if (read_failed)
        return failed("cannot read " + shown_path(path) + (error ? std::string(": ") + std::strerror(error) : ""));
    return bytes;
}

}  // namespace tambelo::cli
