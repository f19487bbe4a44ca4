#pragma once

// Reading the bytes of a title list. A title list is a file named by the
// user (or found beside a set), so whatever stands at that name must not
// block or mislead the reader: a named pipe would block the first read and
// a folder opens on some systems. Only ordinary files are read, and they
// are opened without waiting, and read no further than can matter
// (title_read_limit.h). One implementation per platform.

#include <filesystem>
#include <string>

namespace tambelo {

struct TitleFileBytes {
    bool opened = false;       // an ordinary file was opened
    bool read_failed = false;  // a read failed part-way; `bytes` holds what came before
    std::string bytes;
};

TitleFileBytes read_title_file(const std::filesystem::path& path);

}  // namespace tambelo
