#pragma once

#include <optional>
#include <string>

namespace tambelo::cli {

// Whether the program talks to a person: both stdin and stdout are terminals.
bool on_terminal();

// Puts the terminal (stdin) into raw key mode for its lifetime: keys arrive
// one by one without echo. Ctrl-C still raises SIGINT. The previous mode is
// restored by the destructor.
class RawKeys {
public:
    RawKeys();
    ~RawKeys();
    RawKeys(const RawKeys&) = delete;
    RawKeys& operator=(const RawKeys&) = delete;

    // The next key pressed within `timeout_ms`, or nothing.
    std::optional<char> read_key(int timeout_ms);

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

// Catches SIGINT and SIGTERM for the lifetime of the object: instead of
// ending the program they set a flag that the caller polls, so that it can
// silence the music and restore the terminal first.
class InterruptFlag {
public:
    InterruptFlag();
    ~InterruptFlag();
    InterruptFlag(const InterruptFlag&) = delete;
    InterruptFlag& operator=(const InterruptFlag&) = delete;

    bool raised() const;
};

}  // namespace tambelo::cli
