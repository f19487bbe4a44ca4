#pragma once

#include <cstdio>

namespace tambelo {

// Opens `path` as a buffered stream with a standard mode text ("rb", "r+b",
// "wb", ...), but only when it names an ordinary file. Anything else (a
// FIFO, a device, a directory, a socket) is refused at once and never waited
// on: opening a FIFO for reading would otherwise block until a writer comes,
// and a directory would open as an empty stream. Returns null when the path
// cannot be opened or names no ordinary file; the caller closes the stream.
std::FILE* open_regular_file(const char* path, const char* mode_text);

}  // namespace tambelo
