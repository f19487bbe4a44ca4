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
