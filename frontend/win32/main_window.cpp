#include "frontend/win32/main_window.h"

#include "frontend/win32/win32_pictures.h"
#include "frontend/window_logic/path_encoding.h"
#include "frontend/window_logic/form_layout.h"
#include "frontend/window_logic/pictures.h"

#include <commctrl.h>
#include <commdlg.h>

namespace tambelo::frontend {

namespace {

constexpr const wchar_t* window_class = L"TambeloMainWindow";

using namespace form_layout;

// Command identifiers: the six buttons in tab order, then File > Open.
constexpr int first_button_id = 100;
constexpr int mnuOpen_id = 200;

constexpr std::array<const wchar_t*, 6> button_tooltips = {
    L"prev * 10", L"prev", L"stop", L"play", L"next", L"next * 10"};

constexpr DWORD window_style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

}  // namespace

std::wstring widen(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

Win32MainWindow::Win32MainWindow(HINSTANCE instance, PlaybackLibrary& library,
                                 const std::filesystem::path& program_folder)
    : instance_(instance), form_(library, *this, program_folder)
{
}

Win32MainWindow::~Win32MainWindow()
{
    if (window_ != nullptr)
        DestroyWindow(window_);
    for (HIMAGELIST list : pictures_)
        if (list != nullptr)
            ImageList_Destroy(list);
    if (icon_ != nullptr)
        DestroyIcon(icon_);
    if (font_ != nullptr)
        DeleteObject(font_);
}

bool Win32MainWindow::create()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    icon_ = icon_from_pixels(program_icon());
    WNDCLASSEXW type = {};
    type.cbSize = sizeof type;
    type.lpfnWndProc = window_procedure;
    type.hInstance = instance_;
    type.hIcon = icon_;
    type.hIconSm = icon_;
    type.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    type.lpszClassName = window_class;
    RegisterClassExW(&type);

    HMENU menu = CreateMenu();
    HMENU mnuFile = CreatePopupMenu();
    AppendMenuW(mnuFile, MF_STRING, mnuOpen_id, L"Open");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(mnuFile), L"File");

    RECT frame = {0, 0, client_width, client_height};
    AdjustWindowRectEx(&frame, window_style, TRUE, 0);
    window_ = CreateWindowExW(0, window_class, L"TAMBELO", window_style, CW_USEDEFAULT,
                              CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                              nullptr, menu, instance_, this);
    if (window_ == nullptr)
        return false;
    // A long menu bar may wrap; the client area is what has to be exact.
    RECT client = {};
    GetClientRect(window_, &client);
    if (client.right != client_width || client.bottom != client_height) {
        RECT outer = {};
        GetWindowRect(window_, &outer);
        SetWindowPos(window_, nullptr, 0, 0,
                     outer.right - outer.left + client_width - client.right,
                     outer.bottom - outer.top + client_height - client.bottom,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    build_controls();
    return true;
}

void Win32MainWindow::build_controls()
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        font_ = CreateFontIndirectW(&metrics.lfMessageFont);

    tooltips_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                window_, nullptr, instance_, nullptr);

    // Created in tab order.
    for (int i = 0; i < 6; ++i) {
        HWND button = CreateWindowExW(
            0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
            button_left + i * button_pitch, button_top, button_width, button_height, window_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(first_button_id + i)), instance_, nullptr);
        buttons_[static_cast<std::size_t>(i)] = button;
        const Pixels figure = button_figure(static_cast<ButtonPicture>(i));
        pictures_[static_cast<std::size_t>(i)] = put_picture_on_button(button, figure);

        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(button);
        tool.lpszText = const_cast<wchar_t*>(button_tooltips[static_cast<std::size_t>(i)]);
        SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }

    // Titles come from a file: no "&" may turn into an underlined key, and
    // a line too long for the label ends in an ellipsis.
    lblStatus = CreateWindowExW(0, L"STATIC", L"",
                                WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX | SS_SUNKEN |
                                    SS_ENDELLIPSIS | SS_CENTERIMAGE,
                                0, status_top, status_width, status_height, window_, nullptr,
                                instance_, nullptr);
    if (font_ != nullptr)
        SendMessageW(lblStatus, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
}

LRESULT CALLBACK Win32MainWindow::window_procedure(HWND window, UINT message, WPARAM wparam,
                                                   LPARAM lparam)
{
    if (message == WM_NCCREATE) {
        const auto* creation = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
    }
    auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr || self->window_ == nullptr)
        return DefWindowProcW(window, message, wparam, lparam);
    return self->handle_message(message, wparam, lparam);
}

LRESULT Win32MainWindow::handle_message(UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_COMMAND:
        on_command(LOWORD(wparam));
        return 0;
    case WM_CLOSE:
        form_.Form_Unload();
        DestroyWindow(window_);
        return 0;
    case WM_DESTROY:
        window_ = nullptr;
        PostQuitMessage(form_.ended_by_failure() ? 1 : 0);
        return 0;
    default:
        return DefWindowProcW(window_, message, wparam, lparam);
    }
}

void Win32MainWindow::on_command(int id)
{
    switch (id) {
    case mnuOpen_id: form_.mnuOpen_Click(); break;
    case first_button_id + 0: form_.cmdPrev10_Click(); break;
    case first_button_id + 1: form_.cmdPrev_Click(); break;
    case first_button_id + 2: form_.cmdStop_Click(); break;
    case first_button_id + 3: form_.cmdPlay_Click(); break;
    case first_button_id + 4: form_.cmdNext_Click(); break;
    case first_button_id + 5: form_.cmdNext10_Click(); break;
    default: break;
    }
}

void Win32MainWindow::set_caption(const std::string& text)
{
    SetWindowTextW(window_, widen(text).c_str());
}

void Win32MainWindow::set_status(const std::string& text)
{
    SetWindowTextW(lblStatus, widen(text).c_str());
}

std::filesystem::path Win32MainWindow::ask_for_file()
{
    // The filter is pairs of description and pattern, ended by an empty one.
    std::wstring filter = widen(open_dialog_filter);
    filter += L'\0';
    filter += widen(open_dialog_pattern);
    filter += L'\0';
    const std::wstring title = widen(open_dialog_title);
    std::wstring name = widen(open_dialog_initial_name);
    name.resize(32768, L'\0');

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = window_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&dialog))
        return {};
    return std::filesystem::path(name.c_str());
}

void Win32MainWindow::show_error(const std::string& message)
{
    MessageBoxW(window_, widen(message).c_str(), L"TAMBELO", MB_OK | MB_ICONERROR);
    if (window_ != nullptr)
        DestroyWindow(window_);
    else
        PostQuitMessage(1);
}

void Win32MainWindow::show_notice(const std::string& message)
{
    MessageBoxW(window_, widen(message).c_str(), L"TAMBELO", MB_OK | MB_ICONWARNING);
}

void Win32MainWindow::sleep_ms(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

}  // namespace tambelo::frontend
