#pragma once

// frmMain drawn with the plain Win32 API: six picture buttons with tooltips,
// the sunken status label, File > Open, a fixed client area of 258 x 58. It
// only draws and forwards clicks; the behaviour is MainForm's, which this
// window serves as its WindowView.

#include "frontend/window_logic/main_form.h"
#include "frontend/window_logic/window_view.h"

#include <windows.h>
#include <commctrl.h>

#include <array>
#include <string>

namespace tambelo::frontend {

class Win32MainWindow : public WindowView {
public:
    Win32MainWindow(HINSTANCE instance, PlaybackLibrary& library,
                    const std::filesystem::path& program_folder);
    ~Win32MainWindow() override;
    Win32MainWindow(const Win32MainWindow&) = delete;
    Win32MainWindow& operator=(const Win32MainWindow&) = delete;

    // Creates the window, hidden. False when the system refused.
    bool create();
    HWND handle() const { return window_; }
    MainForm& form() { return form_; }

    void set_caption(const std::string& text) override;
    void set_status(const std::string& text) override;
    std::filesystem::path ask_for_file() override;
    void show_error(const std::string& message) override;
    void show_notice(const std::string& message) override;
    void sleep_ms(int milliseconds) override;

private:
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
    void build_controls();
    void on_command(int id);

    HINSTANCE instance_;
    MainForm form_;
    HWND window_ = nullptr;
    HWND tooltips_ = nullptr;
    HWND lblStatus = nullptr;
    std::array<HWND, 6> buttons_{};
    HFONT font_ = nullptr;
    HICON icon_ = nullptr;
    std::array<HIMAGELIST, 6> pictures_{};
};

// UTF-8 to UTF-16 and back, for the system's wide-character functions.
std::wstring widen(const std::string& text);

}  // namespace tambelo::frontend
