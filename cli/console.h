#pragma once

#include <string>
#include <vector>

namespace tambelo::cli {

// Makes the standard streams carry the tool's output as it is written: on
// Windows the console shows UTF-8 (titles and paths are UTF-8 inside the
// tool) and escape sequences, and "\n" is not turned into "\r\n", so that
// output piped to a file is byte for byte the same on both platforms; the
// files the tool names are opened by their Unicode names. On Linux a
// file-size limit makes a write fail (EFBIG) rather than end the program.
// Called once, first thing in main.
void prepare_console();

// The command line, program name first, each word in UTF-8: on Windows
// taken as UTF-16 from the system, so that names in any script arrive
// whole whatever the code page; on Linux `argv` as it is.
std::vector<std::string> command_line_words(int argc, char** argv);

// True when the tool was started with a console of its own, as a double
// click in the file manager starts it (the console closes when the tool
// ends), rather than from a command prompt that stays. Always false on
// Linux.
bool has_console_of_its_own();

// Waits until the user presses Enter (or the input ends).
void wait_for_enter();

}  // namespace tambelo::cli
