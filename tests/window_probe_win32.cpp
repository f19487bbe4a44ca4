// window_probe.exe: looks at the running tambelo.exe from outside, as a
// person would, for the window test under Wine. Without an argument it
// prints the window's client size, the client area's top-left corner on the
// screen, the caption and the status line (UTF-8), one per line; with
// "close" it closes the window as its close box does; with "error" it prints
// the text of tambelo.exe's error box and presses its OK button. Ends with
// status 1 when no such window is there.

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string utf8_text_of(HWND window)
{
    wchar_t text[4096] = {};
    const int length = GetWindowTextW(window, text, 4096);
    char bytes[16384] = {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, bytes, sizeof bytes - 1, nullptr, nullptr);
    return std::string(bytes, static_cast<std::size_t>(size > 0 ? size : 0));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "error") == 0) {
        HWND box = FindWindowW(L"#32770", L"TAMBELO");
        if (box == nullptr)
            return 1;
        // The message box shows its text in the static control 0xFFFF.
        std::printf("error %s\n", utf8_text_of(GetDlgItem(box, 0xFFFF)).c_str());
        std::fflush(stdout);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return 0;
    }
    HWND window = FindWindowW(L"TambeloMainWindow", nullptr);
    if (window == nullptr || !IsWindowVisible(window))
        return 1;
    if (argc > 1 && std::strcmp(argv[1], "close") == 0) {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    RECT client = {};
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    HWND status = FindWindowExW(window, nullptr, L"Static", nullptr);
    std::printf("client %ld %ld\n", client.right, client.bottom);
    std::printf("origin %ld %ld\n", origin.x, origin.y);
    std::printf("caption %s\n", utf8_text_of(window).c_str());
    std::printf("status %s\n", status ? utf8_text_of(status).c_str() : "");
    return 0;
}
