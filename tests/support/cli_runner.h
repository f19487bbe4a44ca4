#pragma once

#include <string>
#include <vector>

namespace tambelo::testing {

// What one run of a command-line program left behind.
struct CliRun {
    int status = -1;  // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;

    std::vector<std::string> out_lines() const;
    std::string first_err_line() const;
};

// Runs `program` with `arguments` (each passed as one word, whatever it
// holds) and collects its standard output and standard error.
CliRun run_program(const std::string& program, const std::vector<std::string>& arguments);

// The words of `text`, split at blanks.
std::vector<std::string> split_words(const std::string& text);

}  // namespace tambelo::testing
