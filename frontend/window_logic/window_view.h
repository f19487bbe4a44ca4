#pragma once

// What the window's behaviour (MainForm) needs from a window toolkit. A view
// draws the window, forwards clicks to the MainForm's handlers and carries
// out these requests; it holds no behaviour of its own. All calls come from
// the user-interface thread. Texts are UTF-8.

#include <filesystem>
#include <string>

namespace tambelo::frontend {

// The open-file dialog of File > Open. The filter names one kind of file;
// a toolkit that wants a pattern part takes "*.dat".
inline constexpr const char* open_dialog_title = "Open Tambelo Music Data";
inline constexpr const char* open_dialog_filter = "Tambelo Music Data (*.dat)";
inline constexpr const char* open_dialog_pattern = "*.dat";
inline constexpr const char* open_dialog_initial_name = "*.dat";

class WindowView {
public:
    virtual ~WindowView() = default;

    // The window's caption.
    virtual void set_caption(const std::string& text) = 0;

    // The status label's text. A view too narrow for a long text cuts it and
    // offers the whole text another way (a tooltip).
    virtual void set_status(const std::string& text) = 0;

    // Shows the modal open-file dialog (open_dialog_* above). Returns the
    // chosen file's full path, or an empty path when the user cancels.
    virtual std::filesystem::path ask_for_file() = 0;

    // The program cannot go on: tells the user why, in one line, then closes
    // the window so that the program ends with a non-zero status. The form
    // makes no library call after this.
    virtual void show_error(const std::string& message) = 0;

    // Tells the user something went wrong that the window goes on without
    // (a file that is not a music set), in one line, without blocking.
    virtual void show_notice(const std::string& message) = 0;

    // Pauses the user-interface thread.
    virtual void sleep_ms(int milliseconds) = 0;
};

}  // namespace tambelo::frontend
