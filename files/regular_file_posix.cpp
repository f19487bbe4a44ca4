#include "files/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace tambelo {
namespace {

// The open(2) flags that the stream's mode text stands for; -1 for a text
// that names no mode.
int open_flags(const char* mode_text)
{
    const bool update = std::strchr(mode_text, '+') != nullptr;
    switch (mode_text[0]) {
    case 'r': return update ? O_RDWR : O_RDONLY;
    case 'w':
        // "x": created anew or not at all.
        return (update ? O_RDWR : O_WRONLY) | O_CREAT |
               (std::strchr(mode_text, 'x') != nullptr ? O_EXCL : O_TRUNC);
    case 'a': return (update ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
    default: return -1;
    }
}

}  // namespace

std::FILE* open_regular_file(const char* path, const char* mode_text)
{
    const int flags = open_flags(mode_text);
    if (path == nullptr || flags < 0)
        return nullptr;
    // O_NONBLOCK makes the open of a FIFO return at once instead of waiting
    // for its other end; the file's kind is then checked on what was opened,
    // so that nothing can be swapped in between a check and the open.
    const int descriptor = ::open(path, flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return nullptr;
    struct stat info {};
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(descriptor);
        return nullptr;
    }
    // Back to ordinary blocking reads (the flag means nothing for an
    // ordinary file, but the stream should not depend on that).
    const int status = ::fcntl(descriptor, F_GETFL);
    if (status >= 0)
        ::fcntl(descriptor, F_SETFL, status & ~O_NONBLOCK);
    std::FILE* stream = ::fdopen(descriptor, mode_text);
    if (stream == nullptr)
        ::close(descriptor);
    return stream;
}

void use_utf8_narrow_paths() {}

}  // namespace tambelo
