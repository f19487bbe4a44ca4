#include "frontend/qt/quit_signals.h"

#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace tambelo::frontend {

namespace {

// A signal handler may do almost nothing safely: it writes one byte into a
// socket whose other end the event loop watches.
int signal_socket[2] = {-1, -1};

extern "C" void on_quit_signal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(signal_socket[0], &byte, 1);
}

}  // namespace

void close_on_quit_signals(QWidget& window)
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signal_socket) != 0)
        return;
    auto* notifier = new QSocketNotifier(signal_socket[1], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read_bytes = read(signal_socket[1], &byte, 1);
        window.close();
    });
    struct sigaction action = {};
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal_number, &action, nullptr);
}

}  // namespace tambelo::frontend
