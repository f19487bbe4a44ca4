#include "cli/console.h"

#include "files/regular_file.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <initializer_list>
#include <iostream>

namespace tambelo::cli {
namespace {

std::string utf8_of(const wchar_t* wide)
{
    const int length = static_cast<int>(std::char_traits<wchar_t>::length(wide));
    if (length == 0)
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide, length, text.data(), size, nullptr, nullptr);
    return text;
}

}  // namespace

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
    use_utf8_narrow_paths();
}

std::vector<std::string> command_line_words(int argc, char** argv)
{
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> result;
    for (int i = 0; i < count; ++i)
        result.push_back(utf8_of(words[i]));
    LocalFree(words);
    return result;
}

// A console that a command prompt shares lists the prompt too; one made for
// this program alone lists only it.
bool has_console_of_its_own()
{
    DWORD processes[2];
    return GetConsoleProcessList(processes, 2) == 1;
}

void wait_for_enter()
{
    std::string line;
    std::getline(std::cin, line);
}

}  // namespace tambelo::cli
