#include "titles/hidden_file.h"

namespace tambelo {

bool is_hidden_file(const std::filesystem::path& path)
{
    const std::string name = path.filename().native();
    return !name.empty() && name.front() == '.';
}

}  // namespace tambelo
