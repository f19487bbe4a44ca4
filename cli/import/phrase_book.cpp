#include "cli/import/phrase_book.h"

#include <algorithm>

namespace tambelo {
namespace {

constexpr std::size_t max_repeat = 255;

}  // namespace

void PhraseBook::add(const std::string& text)
{
    auto [at, added] = names_.try_emplace(text, "");
    if (added) {
        at->second = channel_name_ + "-" + std::to_string(defined_.size() + 1);
        defined_.emplace_back(at->second, text);
    }
    entries_.push_back(at->second);
}

std::string PhraseBook::definitions() const
{
    std::string text;
    for (const auto& [name, body] : defined_)
        text += "phrase " + name + " {\n    " + body + "\n}\n";
    return text;
}

std::string PhraseBook::list() const
{
    std::string text;
    for (std::size_t k = 0; k < entries_.size();) {
        std::size_t run = 1;
        // A run does not reach over the loop start, which stands before a
        // phrase, nor beyond the 255 repeats a count may say.
        while (k + run < entries_.size() && entries_[k + run] == entries_[k] && k + run != loop_at_ &&
               run < max_repeat)
            ++run;
        if (k == loop_at_ && k > 0)
            text += "| ";
        text += entries_[k] + (run > 1 ? "*" + std::to_string(run) : "") + " ";
        k += run;
    }
    if (!text.empty())
        text.pop_back();
    return text;
}

std::vector<Segment> split_at_bars(const Segment& segment, int bar_ticks)
{
    // The notes by their start; a bar line is crossed when a note begun
    // before it ends after it.
    std::vector<std::pair<std::int64_t, std::int64_t>> notes;
    for (const LaneAction& a : segment.actions)
        if (a.kind == LaneAction::Kind::note)
            notes.emplace_back(a.tick, a.end);
    std::ranges::sort(notes);
    std::vector<std::int64_t> cuts{segment.from};
    std::size_t next_note = 0;
    std::int64_t latest_end = segment.from;
    for (std::int64_t cut = (segment.from / bar_ticks + 1) * bar_ticks; cut < segment.to; cut += bar_ticks) {
        for (; next_note < notes.size() && notes[next_note].first < cut; ++next_note)
            latest_end = std::max(latest_end, notes[next_note].second);
        if (latest_end <= cut)
            cuts.push_back(cut);
    }
    cuts.push_back(segment.to);
    std::vector<Segment> pieces;
    for (std::size_t k = 0; k + 1 < cuts.size(); ++k)
        pieces.push_back(Segment{cuts[k], cuts[k + 1], {}});
    for (const LaneAction& action : segment.actions) {
        auto piece = std::ranges::upper_bound(cuts, action.tick) - cuts.begin() - 1;
        piece = std::clamp<std::ptrdiff_t>(piece, 0, static_cast<std::ptrdiff_t>(pieces.size()) - 1);
        pieces[static_cast<std::size_t>(piece)].actions.push_back(action);
    }
    return pieces;
}

}  // namespace tambelo
