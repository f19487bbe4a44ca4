#include "library/platform/regular_file.h"

namespace tambelo {

// The plain open serves here: this file system has no FIFOs whose open
// would wait for a writer, and fopen refuses a directory.
std::FILE* open_regular_file(const char* path, const char* mode_text)
{
    if (path == nullptr || mode_text == nullptr)
        return nullptr;
    return std::fopen(path, mode_text);
}

}  // namespace tambelo
