#include "cli/input_files.h"

#include "cli/safe_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tambelo::cli {

InputCheck check_input_file(const std::string& path)
{
    const std::string shown = shown_path(path);
    // O_NONBLOCK: opening a named pipe for reading would otherwise wait for
    // a writer, and a terminal device might become ours.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0) {
        const int error = errno;
        if (error == ENOENT)
            return {InputKind::missing, "no such file: " + shown};
        if (error == EACCES)
            return {InputKind::unusable, "cannot read " + shown + ": permission denied"};
        return {InputKind::unusable, "cannot open " + shown + ": " + std::strerror(error)};
    }
    struct stat status {};
    const bool examined = ::fstat(descriptor, &status) == 0;
    const int error = errno;
    ::close(descriptor);
    if (!examined)
        return {InputKind::unusable, "cannot examine " + shown + ": " + std::strerror(error)};
    if (S_ISREG(status.st_mode))
        return {InputKind::readable, {}};
    const char* what = S_ISDIR(status.st_mode)                              ? "a folder"
                       : S_ISFIFO(status.st_mode)                           ? "a named pipe"
                       : S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) ? "a device"
                       : S_ISSOCK(status.st_mode)                           ? "a socket"
                                                                            : "not an ordinary file";
    return {InputKind::unusable, shown + " is " + what + ", not a file"};
}

}  // namespace tambelo::cli
