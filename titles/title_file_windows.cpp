#include "titles/title_file.h"

#include "titles/title_read_limit.h"

#include <fstream>
#include <system_error>

namespace tambelo {

// Windows has no named pipes among a folder's files; looking before
// opening is enough to pass over folders and devices.
TitleFileBytes read_title_file(const std::filesystem::path& path)
{
    TitleFileBytes file;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return file;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return file;
    file.opened = true;
    TitleReadLimit limit;
    char buffer[65536];
    while (!limit.reached() && (in.read(buffer, sizeof buffer) || in.gcount() > 0))
        file.bytes.append(buffer, limit.keep({buffer, static_cast<std::size_t>(in.gcount())}, file.bytes.size()));
    file.read_failed = in.bad();
    if (limit.reached())
        file.bytes.resize(whole_lines_length(file.bytes));
    return file;
}

}  // namespace tambelo
