#include "cli/console.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <initializer_list>

namespace tambelo::cli {

void prepare_console()
{
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE console = GetStdHandle(which);
        DWORD mode = 0;
        if (GetConsoleMode(console, &mode))
            SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
}

}  // namespace tambelo::cli
