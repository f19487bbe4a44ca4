#include "cli/console.h"

#include <signal.h>

#include <iostream>

namespace tambelo::cli {

void prepare_console()
{
    // A file-size limit (ulimit -f) would end the program by SIGXFSZ in the
    // middle of a write, leaving unfinished files and saying nothing.
    // Ignored, the write fails with EFBIG instead, and the writers handle
    // that as they handle a full disk.
    signal(SIGXFSZ, SIG_IGN);
}

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
