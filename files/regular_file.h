#pragma once

#include <cstdio>

namespace tambelo {

// Opens `path` as a buffered stream with a standard mode text ("rb", "r+b",
// "wb", "wbx", ...), but only when it names an ordinary file. Anything else
// (a FIFO, a device, a directory, a socket) is refused at once and never
// waited on: opening a FIFO for reading would otherwise block until a writer
// comes, and a directory would open as an empty stream. Returns null when
// the path cannot be opened or names no ordinary file; the caller closes the
// stream.
//
// The path's bytes are the process's narrow path encoding: on Linux the
// file system's bytes; on Windows the ANSI code page, which the library's
// callers hand it, unless the program chose UTF-8 below.
std::FILE* open_regular_file(const char* path, const char* mode_text);

// Makes every narrow path this process hands to open_regular_file UTF-8
// (Windows only; Linux paths are bytes already). For programs that take
// their paths as Unicode, such as the command-line tool; the library's
// exports keep the ANSI code page. Called once, before any thread starts.
void use_utf8_narrow_paths();

}  // namespace tambelo
