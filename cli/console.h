#pragma once

namespace tambelo::cli {

// Makes the standard streams carry the tool's output as it is written: on
// Windows the console shows UTF-8 (titles are decoded to UTF-8) and escape
// sequences, and "\n" is not turned into "\r\n", so that output piped to a
// file is byte for byte the same on both platforms. On Linux a file-size
// limit makes a write fail (EFBIG) rather than end the program.
// Called once, first thing in main.
void prepare_console();

}  // namespace tambelo::cli
