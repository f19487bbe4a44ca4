#pragma once

#include <cstdint>

namespace tambelo {

// The playback thread's sense of time: an unsigned 32-bit millisecond count
// that wraps after about 49.7 days, and a way to pause the calling thread.
// The Player takes one of these at construction so that tests and offline
// tools can run the real playback code on a virtual clock.
class Clock {
public:
    virtual ~Clock() = default;

    // Milliseconds since an arbitrary start, modulo 2^32.
    virtual std::uint32_t now_ms() = 0;

    // The same count with its fraction and without the wrap: the floor of
    // the result, taken modulo 2^32, is what now_ms() reads at that moment.
    // For placing messages within a millisecond; a clock that knows no
    // finer time answers now_ms(). Any thread may call it.
    virtual double precise_ms() { return now_ms(); }

    // Pauses the calling thread until the reading has moved on by
    // `duration_ms`: at least until the reading's `duration_ms`-th change
    // from now, and about as long as that takes.
    virtual void sleep_ms(std::uint32_t duration_ms) = 0;
};

// The system's monotonic clock; readings never go backwards. A sleep ends
// just after a millisecond boundary of the reading, not a whole number of
// milliseconds after the call: a wake-up meant for the millisecond at which
// the next tick falls due then comes at its start, not somewhere within it.
class SystemClock final : public Clock {
public:
    std::uint32_t now_ms() override;
    double precise_ms() override;
    void sleep_ms(std::uint32_t duration_ms) override;
};

// A clock that moves only when someone sleeps on it: each sleep advances the
// reading by exactly the time asked for. Not thread-safe; meant for a Player
// whose passes are run by hand on one thread.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(std::uint32_t start_ms = 0) : now_(start_ms) {}

    std::uint32_t now_ms() override { return now_; }
    void sleep_ms(std::uint32_t duration_ms) override { now_ += duration_ms; }

    // Moves the reading forward without a sleep (wraps modulo 2^32).
    void advance_ms(std::uint32_t duration_ms) { now_ += duration_ms; }

private:
    std::uint32_t now_;
};

// The process-wide system clock.
Clock& system_clock();

}  // namespace tambelo
