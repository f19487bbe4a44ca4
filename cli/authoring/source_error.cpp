#include "cli/authoring/source_error.h"

namespace tambelo {
namespace {

std::string describe(const std::string& file, SourceLocation where, const std::string& message)
{
    std::string text = file;
    if (where.line > 0) {
        text += ':' + std::to_string(where.line);
        if (where.column > 0)
            text += ':' + std::to_string(where.column);
    }
    return text + ": " + message;
}

}  // namespace

SourceError::SourceError(std::string file, SourceLocation where, std::string message)
    : std::runtime_error(describe(file, where, message)),
      file_(std::move(file)),
      where_(where),
      message_(std::move(message))
{
}

}  // namespace tambelo
