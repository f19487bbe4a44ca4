#pragma once

#include <optional>
#include <string>

namespace tambelo::cli {

// Whether the program talks to a person: both stdin and stdout are terminals.
bool on_terminal();

class InterruptFlag;

// Puts the terminal (stdin) into raw key mode for its lifetime: keys arrive
// one by one without echo. Ctrl-C still raises SIGINT. The previous mode is
// restored by the destructor.
class RawKeys {
public:
    RawKeys();
    ~RawKeys();
    RawKeys(const RawKeys&) = delete;
    RawKeys& operator=(const RawKeys&) = delete;

    // The next key pressed within `timeout_ms`, or nothing. Returns at once,
    // with nothing, when `interrupt` is raised meanwhile.
    std::optional<char> read_key(int timeout_ms, const InterruptFlag& interrupt);

private:
    bool active_ = false;
    struct Saved;
    Saved* saved_ = nullptr;
};

// Width of the terminal on stdout in columns; 80 when unknown.
int terminal_columns();

// `text` cut to at most `columns` terminal columns (East Asian wide
// characters count two), never inside a UTF-8 sequence.
std::string fit_to_columns(const std::string& text, int columns);

// Takes SIGINT, SIGTERM and SIGHUP for the lifetime of the object: instead
// of ending the program they raise a flag, so that it can silence the music,
// release the player and restore the terminal first. Make it before the
// program starts any thread: the signals are blocked in the calling thread,
// so every thread started after it (the playback thread, and the threads of
// a synthesizer or sound server) inherits the block, and none of them can
// take the signal or have a system call cut short by it. The signals wait
// in the kernel until the flag takes them, and waits on the flag end as
// soon as one arrives.
class InterruptFlag {
public:
    InterruptFlag();
    ~InterruptFlag();
    InterruptFlag(const InterruptFlag&) = delete;
    InterruptFlag& operator=(const InterruptFlag&) = delete;

    bool raised() const;
    // Waits at most `timeout_ms` for an interrupt; whether one came.
    bool wait(int timeout_ms) const;

private:
    friend class RawKeys;
    struct Source;
    Source* source_ = nullptr;
};

}  // namespace tambelo::cli
