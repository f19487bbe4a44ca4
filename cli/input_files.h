#pragma once

// Checking the files a user names before anything reads them. A path may
// be too long, lie behind a folder without permission, loop through
// symbolic links, or name a folder, a device or a named pipe (which would
// block the first read); each is told apart from a plain missing file and
// reported in one line that names the real cause.

#include <cstddef>
#include <optional>
#include <string>

namespace tambelo::cli {

enum class InputKind {
    readable,  // an ordinary file this process may read
    missing,   // nothing at the path
    unusable,  // something is there, or in the way, that cannot be read as a file
};

struct InputCheck {
    InputKind kind = InputKind::missing;
    std::string reason;  // one line naming the path; empty when readable
};

// Looks at `path` without ever blocking: opened for reading without
// waiting on a pipe or device, then examined, then closed again.
InputCheck check_input_file(const std::string& path);

// The whole of the ordinary file at `path`, read without blocking on
// anything else; nothing when it is not one, cannot be read or holds more
// than `max_bytes`, with a one-line reason in `why`.
std::optional<std::string> read_whole_file(const std::string& path, std::size_t max_bytes, std::string* why);

// Ends the command with the reason unless `path` is a readable file.
void require_input_file(const std::string& path);

// For a file that may be absent (the voice archive or title list beside a
// score archive): true when it is readable, false when nothing is there;
// ends the command with the reason when something unusable is.
bool input_file_if_present(const std::string& path);

}  // namespace tambelo::cli
