#include "cli/console.h"

#include <iostream>

namespace tambelo::cli {

void prepare_console() {}

std::vector<std::string> command_line_words(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

bool has_console_of_its_own() { return false; }

void wait_for_enter()
{
    std::string line;
    std::getline(std::cin, line);
}

}  // namespace tambelo::cli
