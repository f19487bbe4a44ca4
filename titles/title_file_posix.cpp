#include "titles/title_file.h"

#include "titles/title_read_limit.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tambelo {

TitleFileBytes read_title_file(const std::filesystem::path& path)
{
    TitleFileBytes file;
    // Opening a pipe for reading without O_NONBLOCK waits for a writer;
    // fstat then tells what was opened, with no gap in which the name
    // could change.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return file;
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return file;
    }
    file.opened = true;
    TitleReadLimit limit;
    char buffer[65536];
    while (!limit.reached()) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            file.read_failed = true;
        if (count <= 0)
            break;
        file.bytes.append(buffer, limit.keep({buffer, static_cast<std::size_t>(count)}, file.bytes.size()));
    }
    ::close(descriptor);
    if (limit.reached())
        file.bytes.resize(whole_lines_length(file.bytes));
    return file;
}

}  // namespace tambelo
