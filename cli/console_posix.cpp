#include "cli/console.h"

#include <signal.h>

namespace tambelo::cli {

void prepare_console()
{
    // A file-size limit (ulimit -f) would end the program by SIGXFSZ in the
    // middle of a write, leaving unfinished files and saying nothing.
    // Ignored, the write fails with EFBIG instead, and the writers handle
    // that as they handle a full disk.
    signal(SIGXFSZ, SIG_IGN);
}

}  // namespace tambelo::cli
