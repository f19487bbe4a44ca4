#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tambelo {

// What an import could not carry over into the score, or changed on the way:
// each kind counted once with the first place it happened, so a long song
// gives a short report.
class ImportReport {
public:
    // Places are stream ticks; bars follow the song's first time signature.
    void set_meter(int beats_per_bar, int beat_ticks);

    // Counts one occurrence of `what` at stream tick `tick` (no place when negative).
    void count(const std::string& what, std::int64_t tick = -1);
    // Counts a time shift of `shift_ms`, keeping the largest.
    void count_shift(const std::string& what, double shift_ms, std::int64_t tick);
    // A remark that stands on its own.
    void say(const std::string& line);

    bool empty() const { return entries_.empty() && remarks_.empty(); }
    std::vector<std::string> lines() const;
    // "bar 3 beat 2"
    std::string place(std::int64_t tick) const;

private:
    struct Entry {
        int order = 0;
        std::int64_t count = 0;
        std::int64_t first_tick = -1;
        double largest_shift_ms = -1.0;
    };
    std::map<std::string, Entry> entries_;
    std::vector<std::string> remarks_;
    int beats_per_bar_ = 4;
    int beat_ticks_ = 48;
};

}  // namespace tambelo
