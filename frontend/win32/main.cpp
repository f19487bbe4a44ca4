// tambelo.exe: the window program on Windows. Plays the music set that lies
// beside it and switches to others with File > Open; the music itself comes
// from tambelo.dll in the same folder.

#include "frontend/win32/main_window.h"
#include "frontend/window_logic/common.h"

#include <windows.h>

#include <filesystem>
#include <string>

namespace {

std::filesystem::path program_folder()
{
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        name.resize(name.size() * 2);
    }
    return std::filesystem::path(name).parent_path();
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    using namespace tambelo::frontend;
    const std::filesystem::path folder = program_folder();
    PlaybackLibrary library(folder / playback_library_file_name());
    Win32MainWindow window(instance, library, folder);
    if (!window.create()) {
        MessageBoxW(nullptr, L"cannot create the window", L"TAMBELO", MB_OK | MB_ICONERROR);
        return 1;
    }
    if (!window.form().Form_Load())
        return 1;
    ShowWindow(window.handle(), show);
    UpdateWindow(window.handle());

    MSG message;
    int status = 0;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            status = static_cast<int>(message.wParam);
            break;
        }
        if (got == -1) {
            status = 1;
            break;
        }
        // Tab and the arrow keys move between the buttons.
        if (window.handle() != nullptr && IsDialogMessageW(window.handle(), &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return status;
}
