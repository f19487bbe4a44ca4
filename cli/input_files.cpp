#include "cli/input_files.h"

#include "cli/commands.h"

namespace tambelo::cli {

void require_input_file(const std::string& path)
{
    const InputCheck check = check_input_file(path);
    if (check.kind != InputKind::readable)
        fail(check.reason);
}

bool input_file_if_present(const std::string& path)
{
    const InputCheck check = check_input_file(path);
    if (check.kind == InputKind::unusable)
        fail(check.reason);
    return check.kind == InputKind::readable;
}

}  // namespace tambelo::cli
