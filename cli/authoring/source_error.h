#pragma once

#include <stdexcept>
#include <string>

namespace tambelo {

// A place in a source file, counted from 1. Column counts bytes.
struct SourceLocation {
    int line = 0;
    int column = 0;
};

// A mistake in a music set's sources: where it is and what is wrong. what()
// gives the whole one-line text "file:line:column: message" (line and column
// left out when unknown).
class SourceError : public std::runtime_error {
public:
    SourceError(std::string file, SourceLocation where, std::string message);

    const std::string& file() const { return file_; }
    SourceLocation where() const { return where_; }
    const std::string& message() const { return message_; }

private:
    std::string file_;
    SourceLocation where_;
    std::string message_;
};

}  // namespace tambelo
