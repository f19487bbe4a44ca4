#include "files/regular_file.h"

#include <windows.h>

#include <string>

namespace tambelo {
namespace {

UINT narrow_path_code_page = CP_ACP;

// The path as Windows names files, in UTF-16; nothing when its bytes are
// not text in `code_page` (a UTF-8 path with a stray byte).
bool widen(const char* text, UINT code_page, std::wstring& wide)
{
    const int length = static_cast<int>(std::char_traits<char>::length(text));
    if (length == 0) {
        wide.clear();
        return true;
    }
    const DWORD flags = code_page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int size = MultiByteToWideChar(code_page, flags, text, length, nullptr, 0);
    if (size <= 0)
        return false;
    wide.assign(static_cast<std::size_t>(size), L'\0');
    return MultiByteToWideChar(code_page, flags, text, length, wide.data(), size) == size;
}

}  // namespace

// The wide open serves every code page alike. This file system has no FIFOs
// whose open would wait for a writer, and the open refuses a directory.
std::FILE* open_regular_file(const char* path, const char* mode_text)
{
    if (path == nullptr || mode_text == nullptr)
        return nullptr;
    std::wstring wide_path;
    std::wstring wide_mode;
    if (!widen(path, narrow_path_code_page, wide_path) || !widen(mode_text, CP_UTF8, wide_mode))
        return nullptr;
    return _wfopen(wide_path.c_str(), wide_mode.c_str());
}

void use_utf8_narrow_paths() { narrow_path_code_page = CP_UTF8; }

}  // namespace tambelo
