#pragma once

#include "cli/import/import_model.h"

#include <map>
#include <string>
#include <vector>

namespace tambelo {

// A channel's phrases: each text once under a name of its own, and the list
// that plays them, repeats written as name*N.
class PhraseBook {
public:
    explicit PhraseBook(std::string channel_name) : channel_name_(std::move(channel_name)) {}

    void add(const std::string& text);
    // The loop begins at the next phrase added.
    void start_loop() { loop_at_ = entries_.size(); }

    std::string definitions() const;
    std::string list() const;

private:
    std::string channel_name_;
    std::map<std::string, std::string> names_;  // text -> name
    std::vector<std::pair<std::string, std::string>> defined_;  // (name, text) in first use
    std::vector<std::string> entries_;
    std::size_t loop_at_ = 0;
};

// `segment` cut at the multiples of `bar_ticks` inside it that no note
// sounds across; actions at a cut begin the next piece.
std::vector<Segment> split_at_bars(const Segment& segment, int bar_ticks);

}  // namespace tambelo
