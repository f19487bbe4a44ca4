#include "cli/import/import_report.h"

#include <algorithm>
#include <cstdio>

namespace tambelo {

void ImportReport::set_meter(int beats_per_bar, int beat_ticks)
{
    beats_per_bar_ = std::max(1, beats_per_bar);
    beat_ticks_ = std::max(1, beat_ticks);
}

void ImportReport::count(const std::string& what, std::int64_t tick)
{
    auto [entry, added] = entries_.try_emplace(what);
    if (added)
        entry->second.order = static_cast<int>(entries_.size());
    if (entry->second.count++ == 0)
        entry->second.first_tick = tick;
}

void ImportReport::count_shift(const std::string& what, double shift_ms, std::int64_t tick)
{
    count(what, tick);
    auto& entry = entries_[what];
    entry.largest_shift_ms = std::max(entry.largest_shift_ms, shift_ms);
}

void ImportReport::say(const std::string& line) { remarks_.push_back(line); }

std::string ImportReport::place(std::int64_t tick) const
{
    const std::int64_t beat = tick / beat_ticks_;
    return "bar " + std::to_string(beat / beats_per_bar_ + 1) + " beat " + std::to_string(beat % beats_per_bar_ + 1);
}

std::vector<std::string> ImportReport::lines() const
{
    std::vector<std::pair<int, std::string>> ordered;
    for (const auto& [what, entry] : entries_) {
        std::string line = what + ": " + std::to_string(entry.count);
        if (entry.largest_shift_ms >= 0.0) {
            char shift[32];
            std::snprintf(shift, sizeof shift, "%.2f", entry.largest_shift_ms);
            line += std::string(", by at most ") + shift + " ms";
        }
        if (entry.first_tick >= 0)
            line += ", the first at " + place(entry.first_tick);
        ordered.emplace_back(entry.order, std::move(line));
    }
    std::sort(ordered.begin(), ordered.end());
    std::vector<std::string> out = remarks_;
    for (auto& [order, line] : ordered)
        out.push_back(std::move(line));
    return out;
}

}  // namespace tambelo
