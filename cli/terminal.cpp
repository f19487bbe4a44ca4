#include "cli/terminal.h"

#include <csignal>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace tambelo::cli {

bool on_terminal()
{
    return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
}

struct RawKeys::Saved {
    termios mode;
};

RawKeys::RawKeys() : saved_(new Saved)
{
    if (tcgetattr(STDIN_FILENO, &saved_->mode) != 0)
        return;
    termios raw = saved_->mode;
    raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    active_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
}

RawKeys::~RawKeys()
{
    if (active_)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved_->mode);
    delete saved_;
}

std::optional<char> RawKeys::read_key(int timeout_ms)
{
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, timeout_ms) <= 0 || !(input.revents & POLLIN))
        return std::nullopt;
    char key = 0;
    if (read(STDIN_FILENO, &key, 1) != 1)
        return std::nullopt;
    return key;
}

int terminal_columns()
{
    winsize size{};
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

namespace {

// Columns a code point takes: two for the East Asian wide and full-width
// ranges (kanji, kana, hangul, full-width forms), one otherwise. Half-width
// katakana, common in old titles, stay one column.
int column_width(char32_t c)
{
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

}  // namespace

std::string fit_to_columns(const std::string& text, int columns)
{
    int used = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (i + length > text.size())
            length = text.size() - i;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k)
            c = c << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        const int width = column_width(c);
        if (used + width > columns)
            break;
        used += width;
        i += length;
    }
    return text.substr(0, i);
}

namespace {

volatile std::sig_atomic_t interrupted = 0;

void note_interrupt(int)
{
    interrupted = 1;
}

struct sigaction previous_int, previous_term;

}  // namespace

InterruptFlag::InterruptFlag()
{
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = note_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no restart: a wait in progress ends at once
    sigaction(SIGINT, &action, &previous_int);
    sigaction(SIGTERM, &action, &previous_term);
}

InterruptFlag::~InterruptFlag()
{
    sigaction(SIGINT, &previous_int, nullptr);
    sigaction(SIGTERM, &previous_term, nullptr);
}

bool InterruptFlag::raised() const
{
    return interrupted != 0;
}

}  // namespace tambelo::cli
