#include "cli/terminal.h"

#include <windows.h>

#include <atomic>

// The Windows console side of the terminal services: keys come as console
// input events, Ctrl-C and closing the window as console control events.
namespace tambelo::cli {
namespace {

bool is_console(DWORD which)
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool on_terminal()
{
    return is_console(STD_INPUT_HANDLE) && is_console(STD_OUTPUT_HANDLE);
}

// A manual-reset event that the control handler sets, so that waits on the
// flag end as soon as Ctrl-C comes.
struct InterruptFlag::Source {
    HANDLE event;
};

struct RawKeys::Saved {
    HANDLE input;
    DWORD mode;
};

RawKeys::RawKeys() : saved_(new Saved{GetStdHandle(STD_INPUT_HANDLE), 0})
{
    if (!GetConsoleMode(saved_->input, &saved_->mode))
        return;
    // Keys one by one, without echo; Ctrl-C still reaches the control handler.
    const DWORD raw = saved_->mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
    active_ = SetConsoleMode(saved_->input, raw | ENABLE_PROCESSED_INPUT) != 0;
}

RawKeys::~RawKeys()
{
    if (active_)
        SetConsoleMode(saved_->input, saved_->mode);
    delete saved_;
}

std::optional<char> RawKeys::read_key(int timeout_ms, const InterruptFlag& interrupt)
{
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
    const HANDLE inputs[2] = {saved_->input, interrupt.source_->event};
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        // The interrupt's event ends the wait at once, like the key itself.
        if (WaitForMultipleObjects(2, inputs, FALSE, wait) != WAIT_OBJECT_0)
            return std::nullopt;
        INPUT_RECORD record{};
        DWORD count = 0;
        if (!ReadConsoleInputW(saved_->input, &record, 1, &count) || count == 0)
            return std::nullopt;
        // Mouse, focus and key-release events wait on; a key press that
        // types an ASCII character is the key.
        if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown)
            continue;
        const wchar_t typed = record.Event.KeyEvent.uChar.UnicodeChar;
        if (typed != 0 && typed < 0x80)
            return static_cast<char>(typed);
    }
}

int terminal_columns()
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0)
            return columns;
    }
    return 80;
}

namespace {

std::atomic<bool> interrupted{false};
std::atomic<HANDLE> interrupt_event{nullptr};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI note_interrupt(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        interrupted = true;
        if (const HANDLE wake = interrupt_event.load())
            SetEvent(wake);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

InterruptFlag::InterruptFlag() : source_(new Source{CreateEventW(nullptr, TRUE, FALSE, nullptr)})
{
    interrupted = false;
    interrupt_event = source_->event;
    SetConsoleCtrlHandler(note_interrupt, TRUE);
}

InterruptFlag::~InterruptFlag()
{
    SetConsoleCtrlHandler(note_interrupt, FALSE);
    interrupt_event = nullptr;
    if (source_->event)
        CloseHandle(source_->event);
    delete source_;
}

bool InterruptFlag::raised() const
{
    return interrupted;
}

bool InterruptFlag::wait(int timeout_ms) const
{
    if (raised())
        return true;
    if (source_->event)
        WaitForSingleObject(source_->event, static_cast<DWORD>(timeout_ms));
    else
        Sleep(static_cast<DWORD>(timeout_ms));
    return raised();
}

}  // namespace tambelo::cli
