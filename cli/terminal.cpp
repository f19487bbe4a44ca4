#include "cli/terminal.h"

#include <csignal>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <termios.h>
#include <unistd.h>

namespace tambelo::cli {

bool on_terminal()
{
    return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO);
}

struct InterruptFlag::Source {
    sigset_t signals;
    sigset_t previous_mask;
    // Readable while one of the signals is pending; -1 when it could not be
    // made, and waits then end only by their time-out.
    int wake_fd = -1;
    bool raised = false;

    // Takes the pending signals out of the kernel's queue.
    void take_pending()
    {
        const timespec no_wait{};
        while (sigtimedwait(&signals, nullptr, &no_wait) > 0)
            raised = true;
    }
};

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

std::optional<char> RawKeys::read_key(int timeout_ms, const InterruptFlag& interrupt)
{
    pollfd inputs[2] = {{STDIN_FILENO, POLLIN, 0}, {interrupt.source_->wake_fd, POLLIN, 0}};
    const nfds_t count = inputs[1].fd >= 0 ? 2 : 1;
    if (poll(inputs, count, timeout_ms) <= 0 || !(inputs[0].revents & POLLIN))
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

InterruptFlag::InterruptFlag() : source_(new Source)
{
    sigemptyset(&source_->signals);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the program was started to ignore (nohup, a job started
        // in the background) stays ignored.
        struct sigaction current {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            sigaddset(&source_->signals, signal);
    }
    pthread_sigmask(SIG_BLOCK, &source_->signals, &source_->previous_mask);
    source_->wake_fd = signalfd(-1, &source_->signals, SFD_NONBLOCK | SFD_CLOEXEC);
}

InterruptFlag::~InterruptFlag()
{
    // What came meanwhile is answered by the tidy exit already under way;
    // left pending, it would end the program once the block is lifted.
    source_->take_pending();
    if (source_->wake_fd >= 0)
        close(source_->wake_fd);
    pthread_sigmask(SIG_SETMASK, &source_->previous_mask, nullptr);
    delete source_;
}

bool InterruptFlag::raised() const
{
    source_->take_pending();
    return source_->raised;
}

bool InterruptFlag::wait(int timeout_ms) const
{
    if (raised())
        return true;
    if (source_->wake_fd >= 0) {
        pollfd input{source_->wake_fd, POLLIN, 0};
        poll(&input, 1, timeout_ms);
    } else {
        const timespec pause{timeout_ms / 1000, (timeout_ms % 1000) * 1000000L};
        nanosleep(&pause, nullptr);
    }
    return raised();
}

}  // namespace tambelo::cli
